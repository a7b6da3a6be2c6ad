#pragma once
// A top-level window of the program: owned by the application window, laid
// out in pixels, shown modelessly or modally, and discarded late.
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "app/framework/Component.h"
#include "app/framework/Window.h"
#include "common/Handles.h"

namespace pwg {

enum class WindowState { Normal, Minimized };
enum class CloseAction { None, Hide, Free };

// Modal results.
inline constexpr int kModalNone = 0;
inline constexpr int kModalOk = 1;
inline constexpr int kModalCancel = 2;

class Form : public Component, public Window {
public:
    enum class Border { Single, Dialog };

    ~Form() override;

    // Visibility as the program sets it; an owned window hidden with its
    // minimised owner still counts as visible.
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    WindowState GetWindowState() const { return state_; }
    // Before the window is first shown this only records the state.
    void SetWindowState(WindowState state);
    void SetCaption(std::string_view ansiCaption);  // does nothing when unchanged
    const std::string& Caption() const { return caption_; }
    void SetBounds(int left, int top);
    // Gives the window a menu bar, keeping its client size.
    void AttachMenuBar(HMENU menuBar);
    // The control that has the keyboard focus whenever the form becomes
    // active: the first field of a dialog at first, then wherever the user
    // left it. None: the form itself takes the focus.
    void SetActiveControl(HWND control) { activeControl_ = control; }
    // The focus into an entry with all its text selected, so that what is
    // typed next replaces it.
    static void FocusEntry(HWND entry);
    // Top = work-area height - height, left = work-area width - width.
    void PlaceBottomRight();

    // Runs a modal loop until the result is set or the window is closed
    // (cancel). Every visible, enabled top-level window of the thread is
    // disabled meanwhile, and exactly those are enabled again. The window is
    // in front of the thread's other windows: topmost for the loop when a
    // visible one of them is.
    int ShowModal();
    int ModalResult() const { return modalResult_; }
    void SetModalResult(int result) { modalResult_ = result; }
    bool InModalLoop() const { return modalDepth_ > 0; }

    // Asks to close: a modal window ends with cancel; otherwise the close
    // query may refuse, and OnClose decides what closing means.
    void Close();
    // Hides the window now and destroys the object when the posted release
    // request is dispatched; never while its own modal loop is running.
    void Release();

    // Keyboard handling before dispatch, for the keyboard's messages to the
    // form or its controls; true when the message was used.
    virtual bool PreTranslateMessage(MSG& msg);

protected:
    Form(Component* owner, std::string_view utf8Caption, int clientWidth, int clientHeight, Border border,
         HMENU menu = nullptr);

    virtual bool OnCloseQuery() { return true; }
    virtual void OnClose(CloseAction& /*action*/) {}
    virtual void OnCommand(int /*id*/, int /*code*/, HWND /*control*/) {}
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Child controls at client positions. Texts are UTF-8 literals.
    HWND AddLabel(int id, int x, int y, int w, int h, std::string_view utf8Text, bool wordWrap = false);
    HWND AddEdit(int id, int x, int y, int w, int h);
    HWND AddButton(int id, int x, int y, int w, int h, std::string_view utf8Text);
    HWND AddGroupBox(int id, int x, int y, int w, int h, std::string_view utf8Text);
    HWND AddTimePicker(int id, int x, int y, int w, int h, const char* format);

    // Enter pressed in the given control.
    static bool IsEnterIn(const MSG& msg, HWND control) {
        return msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && msg.hwnd == control;
    }
    static std::string ControlText(HWND control);
    static void SetControlText(HWND control, std::string_view ansiText);

private:
    HWND AddControl(const char* className, const char* text, DWORD style, DWORD exStyle, int id, int x, int y,
                    int w, int h);
    LRESULT OnCtlColor(HDC dc, HWND control, bool edit);
    bool OnActivate(WPARAM state);
    void OnSetFocus();
    // True when the focus went there.
    bool FocusActiveControl();
    void OnPrintClient(HDC dc);
    void OnRelease();
    void EndOfModalLoop();

    // The window's text, kept as it is set (WM_SETTEXT): the enforcement sets
    // the caption every second, and asking the window for it would cost a
    // message each time, through every hook on the window.
    std::string caption_;
    HWND activeControl_ = nullptr;
    bool visible_ = false;
    bool shown_ = false;
    WindowState state_ = WindowState::Normal;
    int modalResult_ = kModalNone;
    int modalDepth_ = 0;
    bool releasePending_ = false;
    bool releaseAfterModal_ = false;
};

// The plain rendering: system colours for the window and its labels, which
// stay readable on any scheme, and the pale ground of the entries.
inline constexpr COLORREF kEntryColor = RGB(198, 230, 243);

// The work area, as the placement rules measure it.
RECT WorkArea();

// Whether a visible top-level window of this thread is topmost (the unlock
// dialog while it is open): a newer modal window comes in front of it only
// as a topmost one.
bool TopmostWindowShown();

}  // namespace pwg
