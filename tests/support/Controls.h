#pragma once
// A window's text read, an entry typed into and a button pressed, as a user
// would: in this thread's own windows at once, so that the test reads the
// result right after; in another process's through a bounded send (its UI
// thread may be busy for a while), the press posted as a click arrives.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace pwg::test {

std::string ClassName(HWND window);
inline bool Shown(HWND window) { return IsWindowVisible(window) != FALSE; }
// nullopt when the window does not answer.
std::optional<std::string> Text(HWND window);
// Replaces an entry's text; false when it was not taken.
bool Type(HWND entry, std::string_view ansiText);
void Press(HWND button);

// Real input, as the keyboard and the mouse give it: whatever has the focus
// gets the keys. Letters, digits and punctuation as typed; '\r' is Enter,
// '\t' Tab, '\b' Backspace and '\x1b' Esc.
void PressKeys(std::string_view keys);
// A left click in the middle of the window, the pointer moved there first.
void ClickWithMouse(HWND window);

// The program's password dialogs (Dialog gives their control ids): the
// password typed into the prompt or the unlock dialog, or the old and new
// passwords into the change dialog, and the OK button pressed.
template <class Dialog>
bool TypePassword(HWND dialog, std::string_view ansi) {
    if (!Type(GetDlgItem(dialog, Dialog::kEdit1), ansi)) return false;
    Press(GetDlgItem(dialog, Dialog::kBitBtn1));
    return true;
}
template <class Dialog>
bool TypePasswordChange(HWND dialog, std::string_view old, std::string_view next, std::string_view again) {
    if (!Type(GetDlgItem(dialog, Dialog::kEdit1), old) || !Type(GetDlgItem(dialog, Dialog::kEdit2), next) ||
        !Type(GetDlgItem(dialog, Dialog::kEdit3), again))
        return false;
    Press(GetDlgItem(dialog, Dialog::kBitBtn1));
    return true;
}

}  // namespace pwg::test
