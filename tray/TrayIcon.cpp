#include "tray/TrayIcon.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "app/framework/Application.h"
#include "app/framework/ErrorReport.h"
#include "app/framework/Form.h"
#include "app/framework/Menu.h"
#include "common/Error.h"
#include "common/OsCalls.h"
#include "tray/ImageList.h"

namespace pwg {
namespace {

const char kHandlerWindowClass[] = "PwgTrayIconHandler";
// Icon, tooltip and callback message: what every refresh of the icon sends.
constexpr UINT kIconFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
constexpr DWORD kDefaultTimerPeriodMs = 1000;
constexpr DWORD kHoverCheckPeriodMs = 20;

std::unique_ptr<TTrayIconHandler>& SharedHandler() {
    static std::unique_ptr<TTrayIconHandler> handler;
    return handler;
}

// Every shell the manifest's comctl32 6 runs with announces a re-created taskbar.
const UINT g_taskbarCreated = RegisterWindowMessageA("TaskbarCreated");

// The longest prefix of at most maxBytes bytes that ends on a character
// boundary of the ANSI code page: a double-byte character is never split.
std::size_t FittingBytes(std::string_view text, std::size_t maxBytes) {
    std::size_t n = 0;
    while (n < text.size()) {
        const std::size_t step = IsDBCSLeadByte(static_cast<BYTE>(text[n])) && n + 1 < text.size() ? 2 : 1;
        if (n + step > maxBytes) break;
        n += step;
    }
    return n;
}

// Zero-fills the field and copies as much of the text as fits before its
// terminating NUL.
template <std::size_t N>
void CopyText(CHAR (&field)[N], std::string_view text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), FittingBytes(text, N - 1));
}

ShiftState::Flag ButtonFlag(MouseButton button) {
    switch (button) {
        case MouseButton::Left: return ShiftState::Left;
        case MouseButton::Right: return ShiftState::Right;
        case MouseButton::Middle: return ShiftState::Middle;
    }
    return ShiftState::Left;
}

POINT CursorPos() {
    POINT p{};
    GetCursorPos(&p);
    return p;
}

// The program runs elevated, the shell does not: User Interface Privilege
// Isolation drops the shell's messages unless the window they go to lets
// them through. A refusal is told nowhere and stops nothing: the icon then
// only misses what the shell would have said.
void AllowFromShell(HWND window, UINT message) {
    if (message) osCalls.changeWindowMessageFilterEx(window, message, MSGFLT_ALLOW, nullptr);
}

}  // namespace

// ---------------------------------------------------------------------------

ShiftState ShiftState::FromKeyboard() {
    auto down = [](int key) { return (GetAsyncKeyState(key) & 0x8000) != 0; };
    unsigned flags = 0;
    if (down(VK_SHIFT)) flags |= Shift;
    if (down(VK_MENU)) flags |= Alt;
    if (down(VK_CONTROL)) flags |= Ctrl;
    return ShiftState(flags);
}

// ---------------------------------------------------------------------------

TTrayIconHandler* TTrayIconHandler::Instance() { return SharedHandler().get(); }

TTrayIconHandler::TTrayIconHandler() {
    // Top-level, unlike the timers' window: the shell takes away the icons of
    // a top-level window that is gone, even when the program could not.
    CreateHiddenWindow(kHandlerWindowClass);
    // Each message on the window that acts on it, and no other: the icons'
    // callbacks here, the new taskbar's announcement on the application
    // window, whose hook puts the icons back.
    AllowFromShell(Handle(), TrayCallbackMessage);
    AllowFromShell(Application::Instance().Handle(), g_taskbarCreated);
}

UINT TTrayIconHandler::AddUser(TTrayIcon* icon) {
    auto& shared = SharedHandler();
    if (!shared) shared.reset(new TTrayIconHandler);
    for (std::size_t slot = 0; slot < kMaxIcons; ++slot) {
        if (!shared->icons_[slot]) {
            shared->icons_[slot] = icon;
            ++shared->iconUsers_;
            return static_cast<UINT>(slot + 1);
        }
    }
    throw Error("Too many tray icons");
}

void TTrayIconHandler::RemoveUser(UINT identifier) {
    auto& shared = SharedHandler();
    if (!shared) return;
    if (identifier >= 1 && identifier <= kMaxIcons) shared->icons_[identifier - 1] = nullptr;
    if (shared->iconUsers_ > 0) --shared->iconUsers_;
    if (shared->iconUsers_ == 0) shared.reset();
}

TTrayIcon* TTrayIconHandler::IconOf(UINT identifier) const {
    return identifier >= 1 && identifier <= kMaxIcons ? icons_[identifier - 1] : nullptr;
}

LRESULT TTrayIconHandler::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case TrayCallbackMessage:
            if (TTrayIcon* icon = IconOf(static_cast<UINT>(wParam))) icon->OnTrayNotification(lParam);
            return 0;
        // Never closed from outside, and never in the way of a log-off or shutdown.
        case WM_DESTROY:
        case WM_CLOSE:
        case WM_QUERYENDSESSION:
        case WM_QUIT:
        case WM_ENDSESSION:
        case WM_NCDESTROY: return 1;
    }
    return DefaultHandling(message, wParam, lParam);
}

// ---------------------------------------------------------------------------

UINT TTrayIcon::TaskbarCreatedMessage() { return g_taskbarCreated; }

TTrayIcon::TTrayIcon(Component* owner) : Component(owner), ownerForm_(dynamic_cast<Form*>(owner)) {
    identifier_ = TTrayIconHandler::AddUser(this);
    icon_ = std::make_unique<pwg::Icon>();
    icon_->OnChange = [this] { UpdateTrayIcon(); };

    record_.hWnd = TTrayIconHandler::Instance()->Handle();
    record_.uID = identifier_;
    record_.uFlags = kIconFlags;
    record_.uCallbackMessage = TrayCallbackMessage;

    animationTimer_ = std::make_unique<TSimpleTimer>(kDefaultTimerPeriodMs, [this](TSimpleTimer&) { OnAnimationTick(); });
    doubleClickTimer_ = std::make_unique<TSimpleTimer>(kDefaultTimerPeriodMs, [this](TSimpleTimer&) { OnDoubleClickTick(); });
    hoverTimer_ = std::make_unique<TSimpleTimer>(kHoverCheckPeriodMs, [this](TSimpleTimer&) { OnHoverTick(); });

    appHookId_ = Application::Instance().AddHook([this](UINT message, WPARAM wParam, LPARAM, LRESULT&) {
        AppWindowHook(message, wParam);
        return false;
    });
    // Through comctl32, so that icons on one window may come and go in any order.
    if (ownerForm_)
        SetWindowSubclass(ownerForm_->Handle(), OwnerSubclassProc, identifier_, reinterpret_cast<DWORD_PTR>(this));
}

TTrayIcon::~TTrayIcon() {
    destroying_ = true;
    try {
        DeleteTrayIcon();
    } catch (...) {
        // Going anyway; the hooks and the shared window must still be released.
    }
    animationTimer_.reset();
    doubleClickTimer_.reset();
    hoverTimer_.reset();
    icon_.reset();
    Application::Instance().RemoveHook(appHookId_);
    if (ownerForm_ && ownerForm_->Handle())
        RemoveWindowSubclass(ownerForm_->Handle(), OwnerSubclassProc, identifier_);
    TTrayIconHandler::RemoveUser(identifier_);
}

// --- Properties --------------------------------------------------------------

void TTrayIcon::SetIconList(ImageList* list) {
    if (iconList_ && iconList_ != list) RemoveFreeNotification(iconList_);
    iconList_ = list;
    if (list) FreeNotification(list);
    SetIconIndex(0);
}

void TTrayIcon::SetCycleIcons(bool cycle) {
    cycleIcons_ = cycle;
    if (!Loading()) ApplyCycleIcons();
}

void TTrayIcon::SetCycleInterval(std::uint32_t intervalMs) {
    cycleInterval_ = intervalMs;
    if (!Loading()) ApplyCycleIcons();
}

void TTrayIcon::SetHint(std::string ansiHint) {
    hint_ = std::move(ansiHint);
    UpdateTrayIcon();
}

void TTrayIcon::SetShowHint(bool show) {
    showHint_ = show;
    UpdateTrayIcon();
}

void TTrayIcon::SetIconVisible(bool visible) {
    if (Loading())
        iconVisible_ = visible;
    else if (visible)
        AddTrayIcon();
    else
        DeleteTrayIcon();
}

void TTrayIcon::SetIconIndex(std::int32_t index) {
    if (iconList_) {
        // Past the end means the last image; there is no image before the first.
        iconIndex_ = std::max(0, std::min(index, iconList_->Count() - 1));
        CopyListImage();
    } else {
        iconIndex_ = 0;
    }
    UpdateTrayIcon();
}

void TTrayIcon::SetPopupMenu(pwg::PopupMenu* menu) {
    if (popupMenu_ && popupMenu_ != menu) RemoveFreeNotification(popupMenu_);
    popupMenu_ = menu;
    if (menu) FreeNotification(menu);
}

void TTrayIcon::SetWantEnterExitEvents(bool want) {
    wantEnterExitEvents_ = want;
    if (!Loading()) hoverTimer_->SetRunning(want);
}

void TTrayIcon::SetNotifyStyle(pwg::NotifyStyle style) {
    notifyStyle_ = style;
    if (!Loading()) ApplyNotifyStyle();
}

void TTrayIcon::ApplyCycleIcons() {
    if (cycleIcons_) {
        SetIconIndex(0);
        animationTimer_->SetPeriod(cycleInterval_);
        animationTimer_->SetRunning(true);
    } else {
        animationTimer_->SetRunning(false);
    }
}

void TTrayIcon::ApplyNotifyStyle() {
    record_.uVersion = notifyStyle_ == pwg::NotifyStyle::Version3 ? NOTIFYICON_VERSION : 0;
    CallShell(NIM_SETVERSION);
}

void TTrayIcon::CopyListImage() {
    if (HICON image = iconList_ ? iconList_->Get(iconIndex_) : nullptr) icon_->Assign(image);
}

// --- Component notifications -------------------------------------------------

void TTrayIcon::Loaded() {
    Component::Loaded();
    if (ownerForm_) {
        bool showMainForm = true;
        if (TStartupEvent startup = OnStartup) startup(*this, showMainForm);
        if (!showMainForm) {
            Application::Instance().SetShowMainForm(false);
            SendToTray();
        }
    }
    UpdateTrayIcon();
    if (iconVisible_)
        AddTrayIcon();
    else
        DeleteTrayIcon();
    ApplyCycleIcons();
    hoverTimer_->SetRunning(wantEnterExitEvents_);
    ApplyNotifyStyle();
}

void TTrayIcon::Notification(Component* component, Operation operation) {
    Component::Notification(component, operation);
    if (operation != Operation::Remove) return;
    if (component == iconList_) {
        iconList_ = nullptr;
        iconIndex_ = 0;
    }
    if (component == popupMenu_) popupMenu_ = nullptr;
}

// --- Shell calls ---------------------------------------------------------------

void TTrayIcon::FillIconData() {
    record_.hIcon = icon_->Handle();
    if (!hint_.empty() && showHint_)
        CopyText(record_.szTip, hint_);
    else
        std::memset(record_.szTip, 0, sizeof(record_.szTip));
}

bool TTrayIcon::CallShell(DWORD message) {
    return Shell_NotifyIconA(message, reinterpret_cast<NOTIFYICONDATAA*>(&record_)) != FALSE;
}

bool TTrayIcon::AddTrayIcon() {
    iconVisible_ = true;
    FillIconData();
    return CallShell(NIM_ADD);
}

bool TTrayIcon::DeleteTrayIcon() {
    iconVisible_ = false;
    FillIconData();
    return CallShell(NIM_DELETE);
}

bool TTrayIcon::UpdateTrayIcon() {
    FillIconData();
    return CallShell(NIM_MODIFY);
}

void TTrayIcon::ClearNotice() {
    record_.uFlags |= NIF_INFO;
    std::memset(record_.szInfo, 0, sizeof(record_.szInfo));
    UpdateTrayIcon();
}

bool TTrayIcon::ShowNotice(std::string_view ansiTitle, std::string_view ansiText, NoticeIcon kind,
                           std::uint8_t timeoutSecs) {
    ClearNotice();
    record_.uFlags |= NIF_INFO;
    CopyText(record_.szInfo, ansiText);
    CopyText(record_.szInfoTitle, ansiTitle);
    record_.uTimeout = timeoutSecs * 1000u;
    switch (kind) {
        case NoticeIcon::None: record_.dwInfoFlags = NIIF_NONE; break;
        case NoticeIcon::Info: record_.dwInfoFlags = NIIF_INFO; break;
        case NoticeIcon::Warning: record_.dwInfoFlags = NIIF_WARNING; break;
        case NoticeIcon::Error: record_.dwInfoFlags = NIIF_ERROR; break;
    }
    const bool shown = UpdateTrayIcon();
    // Later refreshes of the icon or tooltip must not send the balloon again.
    record_.uFlags = kIconFlags;
    return shown;
}

// --- Moving the main window ------------------------------------------------------

void TTrayIcon::GoToTray() {
    SendToTray();
    SetIconVisible(true);
}

void TTrayIcon::SendToTray() {
    Form* mainForm = Application::Instance().MainForm();
    if (!ownerForm_ || !mainForm) return;
    mainForm->SetVisible(false);
    HideAppButton();
}

void TTrayIcon::HideAppButton() {
    HWND app = Application::Instance().Handle();
    if (IsWindowVisible(app)) ShowWindow(app, SW_HIDE);
}

void TTrayIcon::RestoreFromTray() {
    Application& app = Application::Instance();
    Form* mainForm = app.MainForm();
    if (!ownerForm_ || !mainForm) return;
    app.Restore();
    if (mainForm->GetWindowState() == WindowState::Minimized) mainForm->SetWindowState(WindowState::Normal);
    mainForm->SetVisible(true);
    SetForegroundWindow(app.Handle());
}

// --- The shell's notifications ----------------------------------------------------

void TTrayIcon::OnTrayNotification(LPARAM notification) {
    if (destroying_) return;
    const bool mouse = enabled_;
    const bool version3 = notifyStyle_ == pwg::NotifyStyle::Version3;
    switch (notification) {
        case WM_MOUSEMOVE:
            if (!mouse) break;
            if (wantEnterExitEvents_ && pointerOutside_) {
                DoMouseEnter();
                pointerOutside_ = false;
            }
            {
                const POINT p = CursorPos();
                DoMouseMove(ShiftState::FromKeyboard(), p.x, p.y);
                lastPointer_ = p;
            }
            break;
        case WM_LBUTTONDOWN:
            if (!mouse) break;
            if (OnDblClick) {
                doubleClickTimer_->SetPeriod(GetDoubleClickTime());
                doubleClickTimer_->SetRunning(true);
            }
            MouseDownNotified(MouseButton::Left);
            leftDown_ = true;
            if (leftPopup_) OpenTrayMenu();
            break;
        case WM_LBUTTONUP:
            if (!mouse) break;
            if (leftDown_) {
                clickWaiting_ = true;
                // No double-click to wait for (or the wait is over): the click is now.
                if (!doubleClickTimer_->Running()) {
                    leftDown_ = false;
                    clickWaiting_ = false;
                    DoClick();
                }
            }
            leftDown_ = false;
            MouseUpNotified(MouseButton::Left);
            break;
        case WM_LBUTTONDBLCLK:
            if (!mouse) break;
            clickWaiting_ = false;
            doubleClicked_ = true;
            DoDblClick();
            if (popupMenu_ && popupMenu_->AutoPopup() && !leftPopup_) {
                for (MenuItem* item : popupMenu_->Items().Items()) {
                    if (item->Default()) {
                        item->Click();
                        break;
                    }
                }
            }
            break;
        case WM_RBUTTONDOWN:
            if (!mouse) break;
            MouseDownNotified(MouseButton::Right);
            OpenTrayMenu();
            break;
        case WM_RBUTTONUP:
            if (mouse && !version3) MouseUpNotified(MouseButton::Right);
            break;
        case WM_MBUTTONDOWN:
            if (mouse) MouseDownNotified(MouseButton::Middle);
            break;
        case WM_MBUTTONUP:
            if (mouse) MouseUpNotified(MouseButton::Middle);
            break;
        case WM_CONTEXTMENU:
        case NIN_SELECT:
        case NIN_KEYSELECT:
            if (mouse && version3) MouseUpNotified(MouseButton::Right);
            break;
        case NIN_BALLOONSHOW: Raise(OnBalloonHintShow, *this); break;
        case NIN_BALLOONHIDE: Raise(OnBalloonHintHide, *this); break;
        case NIN_BALLOONTIMEOUT: Raise(OnBalloonHintTimeout, *this); break;
        case NIN_BALLOONUSERCLICK: Raise(OnBalloonHintClick, *this); break;
    }
}

void TTrayIcon::MouseDownNotified(MouseButton button) {
    const POINT p = CursorPos();
    DoMouseDown(button, ShiftState::FromKeyboard().With(ButtonFlag(button)), p.x, p.y);
}

void TTrayIcon::MouseUpNotified(MouseButton button) {
    const POINT p = CursorPos();
    DoMouseUp(button, ShiftState::FromKeyboard().With(ButtonFlag(button)), p.x, p.y);
}

void TTrayIcon::OpenTrayMenu() {
    POINT p{};
    if (!popupMenu_ || !popupMenu_->AutoPopup() || !GetCursorPos(&p)) return;
    Application& app = Application::Instance();
    // Without the foreground the menu would not close on a click elsewhere.
    SetForegroundWindow(app.Handle());
    app.ProcessMessages();
    popupMenu_->SetPopupComponent(this);
    popupMenu_->Popup(p.x, p.y);
    // Lets the menu's owner see the menu has gone before the next click.
    if (ownerForm_) PostMessageA(ownerForm_->Handle(), WM_NULL, 0, 0);
}

// --- Timer ticks ----------------------------------------------------------------

void TTrayIcon::OnAnimationTick() {
    if (!iconList_ || iconList_->Count() == 0) return;
    if (iconIndex_ >= iconList_->Count()) iconIndex_ = 0;
    CopyListImage();
    const int next = iconIndex_ + 1 < iconList_->Count() ? iconIndex_ + 1 : 0;
    DoCycle(next);
    iconIndex_ = next;
}

void TTrayIcon::OnDoubleClickTick() {
    doubleClickTimer_->SetRunning(false);
    if (!doubleClicked_ && clickWaiting_) {
        clickWaiting_ = false;
        DoClick();
    }
    doubleClicked_ = false;
}

void TTrayIcon::OnHoverTick() {
    if (pointerOutside_) return;
    const POINT p = CursorPos();
    if (p.x != lastPointer_.x || p.y != lastPointer_.y) {
        pointerOutside_ = true;
        DoMouseExit();
    }
}

// --- Hooks ----------------------------------------------------------------------

void TTrayIcon::AppWindowHook(UINT message, WPARAM wParam) {
    if (destroying_) return;
    Application& app = Application::Instance();
    switch (message) {
        case WM_SIZE:
            if (wParam == SIZE_MINIMIZED && minimizeToTray_) GoToTray();
            break;
        case WM_SYSCOMMAND:
            if (wParam == SC_RESTORE && app.MainForm()) app.MainForm()->SetVisible(true);
            break;
    }
    // The shell was restarted and has a new taskbar: put the icon back.
    if (g_taskbarCreated && message == g_taskbarCreated && iconVisible_) AddTrayIcon();
}

LRESULT CALLBACK TTrayIcon::OwnerSubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                              UINT_PTR id, DWORD_PTR icon) {
    // A window procedure too: nothing unwinds through it.
    try {
        // A window destroyed under its icon takes the subclass with it.
        if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, OwnerSubclassProc, id);
        return reinterpret_cast<TTrayIcon*>(icon)->OwnerWindowHook(hwnd, message, wParam, lParam);
    } catch (...) {
        ReportCurrentError();
        return 0;
    }
}

LRESULT TTrayIcon::OwnerWindowHook(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (destroying_) return DefSubclassProc(hwnd, message, wParam, lParam);
    switch (message) {
        case WM_SHOWWINDOW:
            if (wParam && lParam == 0) {
                SetForegroundWindow(Application::Instance().Handle());
                SetForegroundWindow(hwnd);
            } else if (!wParam && lParam == SW_PARENTCLOSING && !Application::Instance().Terminated()) {
                if (InterceptMinimize()) return 1;
            }
            break;
        case WM_SYSCOMMAND:
            if (wParam == SC_MINIMIZE && InterceptMinimize()) return 1;
            break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

bool TTrayIcon::InterceptMinimize() {
    if (!minimizeToTray_ || !OnMinimizeToTray) return false;
    Raise(OnMinimizeToTray, *this);
    GoToTray();
    return true;
}

// --- Event raisers ----------------------------------------------------------------

void TTrayIcon::Raise(const NotifyEvent& event, TTrayIcon& sender) {
    // A handler may replace itself: call a copy.
    if (NotifyEvent handler = event) handler(sender);
}

void TTrayIcon::DoClick() { Raise(OnClick, *this); }
void TTrayIcon::DoDblClick() { Raise(OnDblClick, *this); }
void TTrayIcon::DoMouseEnter() { Raise(OnMouseEnter, *this); }
void TTrayIcon::DoMouseExit() { Raise(OnMouseExit, *this); }

void TTrayIcon::DoCycle(int nextIndex) {
    if (TCycleEvent handler = OnCycle) handler(*this, nextIndex);
}

void TTrayIcon::DoMouseDown(MouseButton button, ShiftState shift, int x, int y) {
    if (MouseEvent handler = OnMouseDown) handler(*this, button, shift, x, y);
}

void TTrayIcon::DoMouseUp(MouseButton button, ShiftState shift, int x, int y) {
    if (MouseEvent handler = OnMouseUp) handler(*this, button, shift, x, y);
}

void TTrayIcon::DoMouseMove(ShiftState shift, int x, int y) {
    if (MouseMoveEvent handler = OnMouseMove) handler(*this, shift, x, y);
}

}  // namespace pwg
