#include "app/framework/Form.h"

#include <commctrl.h>

#include "app/framework/Application.h"
#include "app/framework/Menu.h"
#include "common/Ansi.h"
#include "common/Error.h"

namespace pwg {
namespace {

const char kFormClass[] = "PwgForm";
// Every form shows the module's own icon, the one Explorer shows for the
// file: the icon resource numbered 1.
constexpr WORD kModuleIcon = 1;
// Posted by Release; destroys the form when dispatched.
constexpr UINT kReleaseMessage = WM_APP + 1;

HBRUSH FormBrush() { return GetSysColorBrush(COLOR_BTNFACE); }

HBRUSH EntryBrush() {
    static BrushHandle brush(CreateSolidBrush(kEntryColor));
    return brush.get();
}

HFONT FormFont() {
    // MS Sans Serif 8 pt; the font mapper supplies the Chinese glyphs.
    static FontHandle font(CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                       DEFAULT_PITCH | FF_SWISS, "MS Sans Serif"));
    return font.get();
}

// Disables the visible, enabled top-level windows of this thread except one,
// remembering exactly which, and notes whether a visible one is topmost.
struct DisabledWindows {
    HWND except;
    std::vector<HWND> windows;
    bool topmostShown = false;
};

bool IsTopmost(HWND hwnd) { return (GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

void SetTopmost(HWND hwnd, bool topmost) {
    SetWindowPos(hwnd, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

BOOL CALLBACK FindTopmost(HWND hwnd, LPARAM found) {
    if (!IsWindowVisible(hwnd) || !IsTopmost(hwnd)) return TRUE;
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
}

BOOL CALLBACK DisableOne(HWND hwnd, LPARAM param) {
    auto* list = reinterpret_cast<DisabledWindows*>(param);
    if (hwnd == list->except || !IsWindowVisible(hwnd)) return TRUE;
    if (IsTopmost(hwnd)) list->topmostShown = true;
    if (IsWindowEnabled(hwnd)) {
        // Nothing may unwind through Windows: a window that cannot be noted stays enabled.
        try {
            list->windows.push_back(hwnd);
        } catch (...) {
            return FALSE;
        }
        EnableWindow(hwnd, FALSE);
    }
    return TRUE;
}

}  // namespace

bool TopmostWindowShown() {
    bool found = false;
    EnumThreadWindows(GetCurrentThreadId(), FindTopmost, reinterpret_cast<LPARAM>(&found));
    return found;
}

RECT WorkArea() {
    RECT area{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

Form::Form(Component* owner, std::string_view utf8Caption, int clientWidth, int clientHeight, Border border,
           HMENU menu)
    : Component(owner) {
    RegisterWindowClass(kFormClass, CS_DBLCLKS, FormBrush(),
                        LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kModuleIcon)));
    // No WS_CLIPCHILDREN: group boxes leave their inside to the form to paint.
    DWORD style = WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    if (border == Border::Single) {
        style |= WS_OVERLAPPED | WS_MINIMIZEBOX;
    } else {
        style |= WS_POPUP | DS_MODALFRAME;
        exStyle |= WS_EX_DLGMODALFRAME;
    }
    RECT r{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&r, style, menu != nullptr, exStyle);
    // Creation takes the text without a WM_SETTEXT: kept here.
    caption_ = ToAnsi(utf8Caption);
    CreateHandle(kFormClass, caption_.c_str(), style, exStyle, 0, 0, r.right - r.left, r.bottom - r.top,
                 Application::Instance().Handle(), menu);
    SendMessageA(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(FormFont()), FALSE);
}

Form::~Form() {
    // Owned components may still talk to the window while they go.
    DestroyComponents();
    if (Application::Instance().MainForm() == this) Application::Instance().SetMainForm(nullptr);
    DestroyHandle();
}

void Form::SetVisible(bool visible) {
    visible_ = visible;
    if (visible) {
        shown_ = true;
        ShowWindow(Handle(), state_ == WindowState::Minimized ? SW_SHOWMINIMIZED : SW_SHOWNORMAL);
    } else {
        ShowWindow(Handle(), SW_HIDE);
    }
}

void Form::SetWindowState(WindowState state) {
    if (state_ == state) return;
    state_ = state;
    if (shown_ && visible_) ShowWindow(Handle(), state == WindowState::Minimized ? SW_MINIMIZE : SW_RESTORE);
}

void Form::SetCaption(std::string_view ansiCaption) {
    if (caption_ != ansiCaption) SetWindowTextA(Handle(), std::string(ansiCaption).c_str());
}

void Form::SetBounds(int left, int top) {
    SetWindowPos(Handle(), nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::AttachMenuBar(HMENU menuBar) {
    RECT client;
    GetClientRect(Handle(), &client);
    SetMenu(Handle(), menuBar);
    RECT r = client;
    AdjustWindowRectEx(&r, GetWindowLongA(Handle(), GWL_STYLE), menuBar != nullptr, GetWindowLongA(Handle(), GWL_EXSTYLE));
    SetWindowPos(Handle(), nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::PlaceBottomRight() {
    const RECT area = WorkArea();
    RECT r;
    GetWindowRect(Handle(), &r);
    SetBounds((area.right - area.left) - (r.right - r.left), (area.bottom - area.top) - (r.bottom - r.top));
}

int Form::ShowModal() {
    if (visible_ || modalDepth_ > 0 || !IsWindowEnabled(Handle()))
        throw Error("Cannot make a visible window modal");
    Application& app = Application::Instance();
    ReleaseCapture();
    DisabledWindows disabled{Handle(), {}};
    EnumThreadWindows(GetCurrentThreadId(), DisableOne, reinterpret_cast<LPARAM>(&disabled));
    // The newer dialog goes in front of the older ones. Over a topmost one
    // (the unlock dialog) only a topmost window is in front: this one is
    // made so while its loop runs, and the older keeps its place.
    const bool raised = disabled.topmostShown && !IsTopmost(Handle());
    if (raised) SetTopmost(Handle(), true);
    ++modalDepth_;
    modalResult_ = kModalNone;
    bool freeAfter = false;
    struct Restore {
        Form* form;
        DisabledWindows& disabled;
        bool raised;
        ~Restore() {
            --form->modalDepth_;
            for (HWND w : disabled.windows)
                if (IsWindow(w)) EnableWindow(w, TRUE);
            if (form->Handle()) {
                form->Hide();
                if (raised) SetTopmost(form->Handle(), false);
            }
            form->EndOfModalLoop();
        }
    } restore{this, disabled, raised};

    Show();
    // A dialog may open on its own (the unlock dialog, from a timer) while
    // another program is in front: it asks for the foreground too. Where
    // Windows refuses that to a background process, the dialog is still the
    // active window of this program and takes the keyboard with the first click.
    SetActiveWindow(Handle());
    SetForegroundWindow(Handle());
    do {
        app.HandleMessage();
        if (app.Terminated()) {
            modalResult_ = kModalCancel;
        } else if (modalResult_ != kModalNone) {
            CloseAction action = CloseAction::None;
            if (OnCloseQuery()) {
                action = CloseAction::Hide;
                OnClose(action);
            }
            if (action == CloseAction::None) modalResult_ = kModalNone;
            freeAfter = action == CloseAction::Free;
        }
    } while (modalResult_ == kModalNone);
    const int result = modalResult_;
    if (freeAfter) Release();
    return result;
}

void Form::EndOfModalLoop() {
    // A release request that came while the loop still ran waited for this.
    if (releaseAfterModal_ && Handle()) {
        releaseAfterModal_ = false;
        PostMessageA(Handle(), kReleaseMessage, 0, 0);
    }
}

void Form::Close() {
    if (modalDepth_ > 0) {
        modalResult_ = kModalCancel;
        return;
    }
    if (!OnCloseQuery()) return;
    CloseAction action = CloseAction::Hide;
    OnClose(action);
    if (action == CloseAction::None) return;
    Application& app = Application::Instance();
    if (app.MainForm() == this)
        app.Terminate();
    else if (action == CloseAction::Hide)
        Hide();
    else
        Release();
}

void Form::Release() {
    if (modalDepth_ > 0 && modalResult_ == kModalNone) modalResult_ = kModalCancel;
    if (Handle()) Hide();
    if (!releasePending_ && Handle()) {
        releasePending_ = true;
        PostMessageA(Handle(), kReleaseMessage, 0, 0);
    }
}

void Form::OnRelease() {
    if (modalDepth_ > 0) {
        // Its modal loop ends first, and may end only after a loop nested in
        // it: asking again at once would keep a message always waiting, and
        // timers and input never come then. The loop's end asks again.
        releaseAfterModal_ = true;
        return;
    }
    delete this;
}

bool Form::PreTranslateMessage(MSG& msg) { return IsDialogMessageA(Handle(), &msg) != FALSE; }

LRESULT Form::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE: Close(); return 0;
        case WM_COMMAND:
            // A menu's command names its item; anything else is the form's.
            if (lParam || HIWORD(wParam) != 0 || !MenuItem::DispatchCommand(LOWORD(wParam)))
                OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            return 0;
        case WM_CTLCOLORSTATIC: return OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), false);
        case WM_CTLCOLOREDIT: return OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), true);
        case WM_PRINTCLIENT: OnPrintClient(reinterpret_cast<HDC>(wParam)); return 0;
        case WM_ACTIVATE:
            if (OnActivate(wParam)) return 0;
            break;
        case WM_SETFOCUS: OnSetFocus(); return 0;
        case WM_SETTEXT: {
            const LRESULT set = DefaultHandling(message, wParam, lParam);
            if (set) caption_ = lParam ? reinterpret_cast<const char*>(lParam) : "";
            return set;
        }
        case kReleaseMessage: OnRelease(); return 0;
    }
    return DefaultHandling(message, wParam, lParam);
}

bool Form::OnActivate(WPARAM state) {
    // As a dialog keeps its caret: where the focus was when the form lost
    // the activation is where it goes when the form gets it back.
    if (LOWORD(state) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(Handle(), focus)) activeControl_ = focus;
        return false;
    }
    return !HIWORD(state) && FocusActiveControl();
}

// Someone gave the form itself the focus: it belongs in its active control.
void Form::OnSetFocus() { FocusActiveControl(); }

bool Form::FocusActiveControl() {
    if (!activeControl_ || !IsWindow(activeControl_) || !IsWindowEnabled(activeControl_)) return false;
    SetFocus(activeControl_);
    return true;
}

void Form::FocusEntry(HWND entry) {
    SetFocus(entry);
    SendMessageA(entry, EM_SETSEL, 0, -1);
}

void Form::OnPrintClient(HDC dc) {
    // Themed group boxes and buttons draw their parent's ground through this.
    RECT r;
    GetClientRect(Handle(), &r);
    FillRect(dc, &r, FormBrush());
}

LRESULT Form::OnCtlColor(HDC dc, HWND, bool edit) {
    if (edit) {
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, kEntryColor);
        return reinterpret_cast<LRESULT>(EntryBrush());
    }
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(FormBrush());
}

HWND Form::AddControl(const char* className, const char* text, DWORD style, DWORD exStyle, int id, int x, int y,
                      int w, int h) {
    HWND control = CreateWindowExA(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, Handle(),
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr),
                                   nullptr);
    if (!control) throw Error("Failed to create control " + std::string(className));
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(FormFont()), FALSE);
    return control;
}

HWND Form::AddLabel(int id, int x, int y, int w, int h, std::string_view utf8Text, bool wordWrap) {
    return AddControl("STATIC", ToAnsi(utf8Text).c_str(), wordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP, 0, id, x, y, w, h);
}

HWND Form::AddEdit(int id, int x, int y, int w, int h) {
    return AddControl("EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, id, x, y, w, h);
}

HWND Form::AddButton(int id, int x, int y, int w, int h, std::string_view utf8Text) {
    return AddControl("BUTTON", ToAnsi(utf8Text).c_str(), WS_TABSTOP | BS_PUSHBUTTON, 0, id, x, y, w, h);
}

HWND Form::AddGroupBox(int id, int x, int y, int w, int h, std::string_view utf8Text) {
    return AddControl("BUTTON", ToAnsi(utf8Text).c_str(), BS_GROUPBOX, 0, id, x, y, w, h);
}

HWND Form::AddTimePicker(int id, int x, int y, int w, int h, const char* format) {
    static const bool registered = [] {
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_DATE_CLASSES};
        return InitCommonControlsEx(&icc) != FALSE;
    }();
    (void)registered;
    HWND picker = AddControl(DATETIMEPICK_CLASSA, "", WS_TABSTOP | DTS_TIMEFORMAT, 0, id, x, y, w, h);
    SendMessageA(picker, DTM_SETFORMATA, 0, reinterpret_cast<LPARAM>(format));
    return picker;
}

std::string Form::ControlText(HWND control) {
    const int n = GetWindowTextLengthA(control);
    std::string text(n + 1, '\0');
    text.resize(GetWindowTextA(control, text.data(), n + 1));
    return text;
}

void Form::SetControlText(HWND control, std::string_view ansiText) {
    SetWindowTextA(control, std::string(ansiText).c_str());
}

}  // namespace pwg
