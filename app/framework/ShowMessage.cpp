#include "app/framework/ShowMessage.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/framework/Application.h"
#include "app/framework/Form.h"
#include "common/Ansi.h"
#include "common/Handles.h"

namespace pwg {
namespace {

// As the text label draws: a word too long for a line is broken where the
// line ends (DT_EDITCONTROL), as a multi-line entry would break it.
constexpr UINT kTextFormat = DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX | DT_EXPANDTABS;
constexpr int kMargin = 8, kButtonWidth = 75, kButtonHeight = 25, kMinTextHeight = 13;

SIZE Measure(HDC dc, const std::string& text, int width) {
    RECT r{0, 0, width, 0};
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | kTextFormat);
    return {r.right, r.bottom};
}

// Byte offsets at which a character of the ANSI code page ends, in order: a
// cut at any of them leaves no half of a double-byte character behind.
std::vector<size_t> CharacterEnds(const std::string& text) {
    std::vector<size_t> ends;
    for (size_t i = 0; i < text.size();) {
        i += IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < text.size() ? 2 : 1;
        ends.push_back(i);
    }
    return ends;
}

// The longest beginning of the text that fits `height` with "…" after it.
std::string CutToHeight(HDC dc, const std::string& text, int width, int height) {
    static const std::string ellipsis = ToAnsi("…");
    const std::vector<size_t> ends = CharacterEnds(text);
    size_t fits = 0, tooLong = ends.size();  // counts of characters kept
    while (tooLong - fits > 1) {
        const size_t middle = fits + (tooLong - fits) / 2;
        if (Measure(dc, text.substr(0, ends[middle - 1]) + ellipsis, width).cy <= height)
            fits = middle;
        else
            tooLong = middle;
    }
    return text.substr(0, fits == 0 ? 0 : ends[fits - 1]) + ellipsis;
}

class MessageForm : public Form {
public:
    static constexpr int kTextId = 100;

    explicit MessageForm(std::string_view text) : Form(nullptr, "", 10, 10, Border::Dialog) {
        SetCaption(Application::Instance().Title());
        const DWORD style = GetWindowLongA(Handle(), GWL_STYLE), exStyle = GetWindowLongA(Handle(), GWL_EXSTYLE);
        RECT frame{0, 0, 0, 0};
        AdjustWindowRectEx(&frame, style, FALSE, exStyle);
        const int frameWidth = frame.right - frame.left, frameHeight = frame.bottom - frame.top;
        // The whole box at most half the screen wide, and no taller than the work area.
        const RECT area = WorkArea();
        const int maxTextWidth = GetSystemMetrics(SM_CXSCREEN) / 2 - frameWidth - 2 * kMargin;
        const int maxTextHeight = (area.bottom - area.top) - frameHeight - 3 * kMargin - kButtonHeight;

        HWND label = AddLabel(kTextId, kMargin, kMargin, kButtonWidth, kMinTextHeight, "", true);
        SetWindowLongA(label, GWL_STYLE, GetWindowLongA(label, GWL_STYLE) | SS_NOPREFIX | SS_EDITCONTROL);
        // Measured in the font the label draws with.
        std::string body(text);
        SIZE size;
        {
            const WindowDC dc(label);
            const Selected font(dc.get(), reinterpret_cast<HGDIOBJ>(SendMessageA(label, WM_GETFONT, 0, 0)));
            size = Measure(dc.get(), body, maxTextWidth);
            if (size.cy > maxTextHeight) {
                body = CutToHeight(dc.get(), body, maxTextWidth, maxTextHeight);
                size = Measure(dc.get(), body, maxTextWidth);
            }
        }

        const int textWidth = std::max<int>(size.cx, kButtonWidth);
        const int textHeight = std::max<int>(size.cy, kMinTextHeight);
        const int clientWidth = textWidth + 2 * kMargin;
        const int clientHeight = textHeight + 3 * kMargin + kButtonHeight;
        SetWindowPos(label, nullptr, 0, 0, textWidth, textHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        SetControlText(label, body);
        ok_ = AddButton(IDOK, (clientWidth - kButtonWidth) / 2, textHeight + 2 * kMargin, kButtonWidth,
                        kButtonHeight, "OK");
        SetWindowLongA(ok_, GWL_STYLE, GetWindowLongA(ok_, GWL_STYLE) | BS_DEFPUSHBUTTON);

        // Centred on the screen, moved inside the work area where the centre leaves it.
        const int width = clientWidth + frameWidth, height = clientHeight + frameHeight;
        const int left = std::clamp<int>((GetSystemMetrics(SM_CXSCREEN) - width) / 2, area.left,
                                         std::max<int>(area.left, area.right - width));
        const int top = std::clamp<int>((GetSystemMetrics(SM_CYSCREEN) - height) / 2, area.top,
                                        std::max<int>(area.top, area.bottom - height));
        SetWindowPos(Handle(), nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
        SetActiveControl(ok_);
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
