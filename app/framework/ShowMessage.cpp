#include "app/framework/ShowMessage.h"

#include <algorithm>

#include "app/framework/Application.h"
#include "app/framework/Form.h"

namespace pwg {
namespace {

class MessageForm : public Form {
public:
    static constexpr int kTextId = 100;

    explicit MessageForm(std::string_view text) : Form(nullptr, "", 10, 10, Border::Dialog) {
        SetCaption(Application::Instance().Title());
        const std::string body(text);
        // Measure the text at most half the screen wide.
        HDC dc = GetDC(Handle());
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(Handle(), WM_GETFONT, 0, 0)));
        RECT textRect{0, 0, GetSystemMetrics(SM_CXSCREEN) / 2, 0};
        DrawTextA(dc, body.c_str(), static_cast<int>(body.size()), &textRect,
                  DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
        SelectObject(dc, old);
        ReleaseDC(Handle(), dc);

        const int margin = 8, buttonWidth = 75, buttonHeight = 25;
        const int textWidth = std::max<int>(textRect.right, buttonWidth);
        const int textHeight = std::max<int>(textRect.bottom, 13);
        const int clientWidth = textWidth + 2 * margin;
        const int clientHeight = textHeight + 3 * margin + buttonHeight;

        HWND label = AddLabel(kTextId, margin, margin, textWidth, textHeight, "", true);
        SetWindowLongA(label, GWL_STYLE, GetWindowLongA(label, GWL_STYLE) | SS_NOPREFIX);
        SetControlText(label, body);
        ok_ = AddButton(IDOK, (clientWidth - buttonWidth) / 2, textHeight + 2 * margin, buttonWidth, buttonHeight,
                        "OK");
        SetWindowLongA(ok_, GWL_STYLE, GetWindowLongA(ok_, GWL_STYLE) | BS_DEFPUSHBUTTON);

        RECT r{0, 0, clientWidth, clientHeight};
        AdjustWindowRectEx(&r, GetWindowLongA(Handle(), GWL_STYLE), FALSE, GetWindowLongA(Handle(), GWL_EXSTYLE));
        const int width = r.right - r.left, height = r.bottom - r.top;
        SetWindowPos(Handle(), nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                     (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
        SetFocus(ok_);
    }

private:
    void OnCommand(int id, int, HWND) override {
        if (id == IDOK) SetModalResult(kModalOk);
        if (id == IDCANCEL) SetModalResult(kModalCancel);
    }

    bool PreTranslateMessage(MSG& msg) override {
        // Enter and Esc press the one button, wherever the focus is.
        if (msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE)) {
            SetModalResult(msg.wParam == VK_RETURN ? kModalOk : kModalCancel);
            return true;
        }
        return Form::PreTranslateMessage(msg);
    }

    HWND ok_ = nullptr;
};

}  // namespace

void ShowMessage(std::string_view ansiText) {
    MessageForm form(ansiText);
    form.ShowModal();
}

}  // namespace pwg
