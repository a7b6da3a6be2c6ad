#pragma once
// The notification-area icon: puts an icon and its tooltip into the tray,
// turns the shell's mouse notifications on the icon into events, opens a
// popup menu at the pointer, shows balloon notices, and moves the main
// window between the screen and the tray.
#include <windows.h>
#include <shellapi.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/framework/Component.h"
#include "app/framework/Window.h"
#include "tray/Icon.h"
#include "tray/SimpleTimer.h"

namespace pwg {

class Form;
class ImageList;
class PopupMenu;
class TTrayIcon;

// The message the shell sends about a tray icon of ours: wParam is the
// icon's identifier, lParam the notification.
inline constexpr UINT TrayCallbackMessage = WM_USER + 0x400;

// The icon record handed to Shell_NotifyIconA, in the layout that ends with
// dwInfoFlags (the shell's second version of it).
struct IconRecord {
    DWORD cbSize{};
    HWND hWnd{};
    UINT uID{};
    UINT uFlags{};
    UINT uCallbackMessage{};
    HICON hIcon{};
    CHAR szTip[128]{};
    DWORD dwState{};
    DWORD dwStateMask{};
    CHAR szInfo[256]{};
    union {
        UINT uTimeout{};
        UINT uVersion;
    };
    CHAR szInfoTitle[64]{};
    DWORD dwInfoFlags{};
};
#if defined(_WIN64)
static_assert(sizeof(IconRecord) == 504);
#else
static_assert(sizeof(IconRecord) == 488);
#endif
static_assert(sizeof(IconRecord) == NOTIFYICONDATAA_V2_SIZE);
static_assert(offsetof(IconRecord, hWnd) == offsetof(NOTIFYICONDATAA, hWnd));
static_assert(offsetof(IconRecord, uID) == offsetof(NOTIFYICONDATAA, uID));
static_assert(offsetof(IconRecord, uCallbackMessage) == offsetof(NOTIFYICONDATAA, uCallbackMessage));
static_assert(offsetof(IconRecord, hIcon) == offsetof(NOTIFYICONDATAA, hIcon));
static_assert(offsetof(IconRecord, szTip) == offsetof(NOTIFYICONDATAA, szTip));
static_assert(offsetof(IconRecord, szInfo) == offsetof(NOTIFYICONDATAA, szInfo));
static_assert(offsetof(IconRecord, uTimeout) == offsetof(NOTIFYICONDATAA, uTimeout));
static_assert(offsetof(IconRecord, szInfoTitle) == offsetof(NOTIFYICONDATAA, szInfoTitle));
static_assert(offsetof(IconRecord, dwInfoFlags) == offsetof(NOTIFYICONDATAA, dwInfoFlags));

enum class NoticeIcon : std::uint8_t { None = 0, Info = 1, Warning = 2, Error = 3 };
// Classic notifications, or those of the shell's version 3 (right button
// release comes as WM_CONTEXTMENU, selection as NIN_SELECT / NIN_KEYSELECT).
enum class NotifyStyle { Classic = 0, Version3 = 1 };
enum class MouseButton { Left, Right, Middle };

// Keys and buttons held during a mouse event.
class ShiftState {
public:
    enum Flag : unsigned { Shift = 1, Alt = 2, Ctrl = 4, Left = 8, Right = 16, Middle = 32 };

    constexpr ShiftState() = default;
    constexpr explicit ShiftState(unsigned flags) : flags_(flags) {}
    // Shift, Alt and Ctrl as they are now (GetAsyncKeyState).
    static ShiftState FromKeyboard();

    constexpr bool Has(Flag flag) const { return (flags_ & flag) != 0; }
    constexpr ShiftState With(Flag flag) const { return ShiftState(flags_ | flag); }
    constexpr unsigned Flags() const { return flags_; }
    constexpr bool operator==(const ShiftState&) const = default;

private:
    unsigned flags_ = 0;
};

// The one hidden window that receives the shell's messages for every tray
// icon of the process. An icon's identifier is its slot here, so a message
// reaches its icon by index. Created with the first icon, freed with the last.
class TTrayIconHandler : public Window {
public:
    static constexpr std::size_t kMaxIcons = 64;

    // The shared handler, or null while there is no tray icon.
    static TTrayIconHandler* Instance();

    int IconUsers() const { return iconUsers_; }
    // The icon with this identifier, or null.
    TTrayIcon* IconOf(UINT identifier) const;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    friend class TTrayIcon;
    TTrayIconHandler();
    // Registers an icon and returns its identifier; raises when all slots are taken.
    static UINT AddUser(TTrayIcon* icon);
    static void RemoveUser(UINT identifier);

    std::array<TTrayIcon*, kMaxIcons> icons_{};
    int iconUsers_ = 0;
};

class TTrayIcon : public Component {
public:
    using NotifyEvent = std::function<void(TTrayIcon& sender)>;
    using MouseEvent = std::function<void(TTrayIcon& sender, MouseButton button, ShiftState shift, int x, int y)>;
    using MouseMoveEvent = std::function<void(TTrayIcon& sender, ShiftState shift, int x, int y)>;
    using TCycleEvent = std::function<void(TTrayIcon& sender, int nextIndex)>;
    using TStartupEvent = std::function<void(TTrayIcon& sender, bool& showMainForm)>;

    // Owned by the main window. When the owner is a form, its window is
    // subclassed to catch minimising, until this component is destroyed.
    explicit TTrayIcon(Component* owner);
    ~TTrayIcon() override;

    // Properties. While the owner is loading, the setters that start
    // something (IconVisible, CycleIcons, CycleInterval,
    // WantEnterExitEvents, NotifyStyle) only store; loading completed
    // applies them.
    ImageList* IconList() const { return iconList_; }
    void SetIconList(ImageList* list);
    bool CycleIcons() const { return cycleIcons_; }
    void SetCycleIcons(bool cycle);
    std::uint32_t CycleInterval() const { return cycleInterval_; }
    void SetCycleInterval(std::uint32_t intervalMs);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    const std::string& Hint() const { return hint_; }  // ANSI
    void SetHint(std::string ansiHint);
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool show);
    // Changing the icon refreshes it in the tray.
    pwg::Icon& Icon() { return *icon_; }
    const pwg::Icon& Icon() const { return *icon_; }
    void SetIcon(const pwg::Icon& icon) { icon_->Assign(icon); }
    bool IconVisible() const { return iconVisible_; }
    void SetIconVisible(bool visible);
    std::int32_t IconIndex() const { return iconIndex_; }
    void SetIconIndex(std::int32_t index);
    pwg::PopupMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(pwg::PopupMenu* menu);
    bool LeftPopup() const { return leftPopup_; }
    void SetLeftPopup(bool leftPopup) { leftPopup_ = leftPopup; }
    bool WantEnterExitEvents() const { return wantEnterExitEvents_; }
    void SetWantEnterExitEvents(bool want);
    bool MinimizeToTray() const { return minimizeToTray_; }
    void SetMinimizeToTray(bool minimize) { minimizeToTray_ = minimize; }
    pwg::NotifyStyle NotifyStyle() const { return notifyStyle_; }
    void SetNotifyStyle(pwg::NotifyStyle style);

    // The shell calls; each is true when the shell accepted it. None checks
    // whether the icon is in the tray first.
    virtual bool AddTrayIcon();
    virtual bool DeleteTrayIcon();
    virtual bool UpdateTrayIcon();

    // Shows a balloon over the icon (taking down any balloon that shows);
    // false when the shell refused, e.g. while the icon is not in the tray.
    // Text is cut to 255 bytes, the title to 63, never inside a character.
    bool ShowNotice(std::string_view ansiTitle, std::string_view ansiText, NoticeIcon kind,
                    std::uint8_t timeoutSecs);
    // Hides the main window (and the application window), leaving the icon.
    void SendToTray();
    // Shows and activates the main window; the icon stays in the tray.
    void RestoreFromTray();
    void HideAppButton();

    UINT Identifier() const { return identifier_; }
    const IconRecord& IconData() const { return record_; }
    const TSimpleTimer& AnimationTimer() const { return *animationTimer_; }
    const TSimpleTimer& DoubleClickTimer() const { return *doubleClickTimer_; }
    const TSimpleTimer& HoverTimer() const { return *hoverTimer_; }
    // The shell's "TaskbarCreated" message.
    static UINT TaskbarCreatedMessage();

    NotifyEvent OnClick;
    NotifyEvent OnDblClick;
    MouseEvent OnMouseDown;
    MouseEvent OnMouseUp;
    MouseMoveEvent OnMouseMove;
    NotifyEvent OnMouseEnter;
    NotifyEvent OnMouseExit;
    TCycleEvent OnCycle;
    NotifyEvent OnBalloonHintShow;
    NotifyEvent OnBalloonHintHide;
    NotifyEvent OnBalloonHintTimeout;
    NotifyEvent OnBalloonHintClick;
    NotifyEvent OnMinimizeToTray;
    TStartupEvent OnStartup;

protected:
    void Loaded() override;
    void Notification(Component* component, Operation operation) override;

    virtual void DoClick();
    virtual void DoDblClick();
    virtual void DoCycle(int nextIndex);
    virtual void DoMouseDown(MouseButton button, ShiftState shift, int x, int y);
    virtual void DoMouseUp(MouseButton button, ShiftState shift, int x, int y);
    virtual void DoMouseMove(ShiftState shift, int x, int y);
    virtual void DoMouseEnter();
    virtual void DoMouseExit();
    // Hides the main window and puts the icon into the tray.
    virtual void GoToTray();

    void OpenTrayMenu();

private:
    friend class TTrayIconHandler;

    void FillIconData();
    bool CallShell(DWORD message);
    void ClearNotice();
    void ApplyCycleIcons();
    void ApplyNotifyStyle();
    void CopyListImage();

    void OnTrayNotification(LPARAM notification);
    void MouseDownNotified(MouseButton button);
    void MouseUpNotified(MouseButton button);
    void OnAnimationTick();
    void OnDoubleClickTick();
    void OnHoverTick();
    void AppWindowHook(UINT message, WPARAM wParam);
    static LRESULT CALLBACK OwnerSubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                              DWORD_PTR icon);
    LRESULT OwnerWindowHook(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    bool InterceptMinimize();
    static void Raise(const NotifyEvent& event, TTrayIcon& sender);

    Form* ownerForm_;
    UINT identifier_ = 0;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"  // the anonymous union is zeroed too
    IconRecord record_{sizeof(IconRecord)};
#pragma GCC diagnostic pop
    std::unique_ptr<pwg::Icon> icon_;
    std::unique_ptr<TSimpleTimer> animationTimer_;
    std::unique_ptr<TSimpleTimer> doubleClickTimer_;
    std::unique_ptr<TSimpleTimer> hoverTimer_;

    ImageList* iconList_ = nullptr;
    bool cycleIcons_ = false;
    std::uint32_t cycleInterval_ = 0;
    bool enabled_ = true;
    std::string hint_;
    bool showHint_ = true;
    bool iconVisible_ = false;
    std::int32_t iconIndex_ = 0;
    pwg::PopupMenu* popupMenu_ = nullptr;
    bool leftPopup_ = false;
    bool wantEnterExitEvents_ = false;
    bool minimizeToTray_ = false;
    pwg::NotifyStyle notifyStyle_ = pwg::NotifyStyle::Classic;

    bool leftDown_ = false;
    bool clickWaiting_ = false;
    bool doubleClicked_ = false;
    bool pointerOutside_ = true;
    POINT lastPointer_{};

    // From the start of destruction the hooks only pass messages on: the
    // timers and the icon go before the hooks do.
    bool destroying_ = false;
    int appHookId_ = 0;
};

}  // namespace pwg
