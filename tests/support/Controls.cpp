#include "tests/support/Controls.h"

namespace pwg::test {
namespace {

// How long a window of the program may take to answer one message; its UI
// thread may be inside a network time fetch for up to a second.
constexpr UINT kAnswerMs = 3000;

bool Mine(HWND window) { return GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId(); }

}  // namespace

std::string ClassName(HWND window) {
    char name[128] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::optional<std::string> Text(HWND window) {
    DWORD_PTR length = 0, copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kAnswerMs, &length)) return std::nullopt;
    std::string text(length + 1, '\0');
    if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                             kAnswerMs, &copied))
        return std::nullopt;
    text.resize(copied);
    return text;
}

bool Type(HWND entry, std::string_view ansiText) {
    const std::string text(ansiText);
    DWORD_PTR taken = 0;
    return SendMessageTimeoutA(entry, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL, kAnswerMs,
                               &taken) &&
           taken;
}

void Press(HWND button) {
    if (Mine(button))
        SendMessageA(button, BM_CLICK, 0, 0);
    else
        PostMessageA(button, BM_CLICK, 0, 0);
}

}  // namespace pwg::test
