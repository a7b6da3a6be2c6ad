// The tray icon itself: its record and shell calls, the shell's
// notifications, click separation, the leave check, animation, notices and
// loading.
#include "tray/TrayIcon.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "common/Ansi.h"
#include "res/resource.h"
#include "tests/tray/TraySupport.h"
#include "tray/ImageList.h"

namespace pwg::test {
namespace {

std::string Repeat(const std::string& text, int times) {
    std::string out;
    while (times-- > 0) out += text;
    return out;
}

using TrayIconTest = TrayTest;

TEST_F(TrayIconTest, IconsShareOneHandlerWindowThatFindsThemByIdentifier) {
    RecordingTrayIcon& a = NewTray();
    TTrayIconHandler* handler = TTrayIconHandler::Instance();
    const HWND window = handler->Handle();
    auto b = std::make_unique<RecordingTrayIcon>(form);
    EXPECT_EQ(handler->IconUsers(), 2);
    EXPECT_EQ(handler->IconOf(a.Identifier()), &a);
    EXPECT_EQ(handler->IconOf(b->Identifier()), b.get());
    EXPECT_EQ(TSimpleTimerHandler::Instance()->TimerUsers(), 6);

    const IconRecord& r = a.IconData();
    EXPECT_EQ(r.cbSize, static_cast<DWORD>(NOTIFYICONDATAA_V2_SIZE));
    EXPECT_EQ(r.hWnd, window);
    EXPECT_EQ(r.uID, a.Identifier());
    EXPECT_EQ(r.uFlags, 7u);
    EXPECT_EQ(r.uCallbackMessage, 0x0800u);

    // Close and end-of-session messages are answered, not obeyed.
    for (UINT message : {WM_CLOSE, WM_QUERYENDSESSION, WM_ENDSESSION, WM_DESTROY, WM_QUIT})
        EXPECT_EQ(SendMessageA(window, message, TRUE, 0), 1) << message;
    EXPECT_TRUE(IsWindow(window));

    b.reset();
    delete &a;
    EXPECT_EQ(TTrayIconHandler::Instance(), nullptr);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(TSimpleTimerHandler::Instance(), nullptr);

    // Destroyed from outside after all, its window object lets go of it.
    NewTray();
    DestroyWindow(TTrayIconHandler::Instance()->Handle());
    EXPECT_EQ(TTrayIconHandler::Instance()->Handle(), nullptr);
}

TEST_F(TrayIconTest, EachNotificationRaisesItsEventsAndDisabledOnlyBalloonOnes) {
    struct Case {
        LPARAM notification;
        NotifyStyle style;
        Log events;
    };
    const auto v3 = NotifyStyle::Version3, classic = NotifyStyle::Classic;
    const std::vector<Case> cases = {
        {WM_MOUSEMOVE, classic, {"move"}},          {WM_LBUTTONDOWN, classic, {"down L"}},
        {WM_LBUTTONUP, classic, {"up L"}},          {WM_LBUTTONDBLCLK, classic, {"dblclick"}},
        {WM_RBUTTONDOWN, classic, {"down R"}},      {WM_RBUTTONUP, classic, {"up R"}},
        {WM_RBUTTONUP, v3, {}},                     {WM_MBUTTONDOWN, classic, {"down M"}},
        {WM_MBUTTONUP, classic, {"up M"}},          {WM_CONTEXTMENU, classic, {}},
        {WM_CONTEXTMENU, v3, {"up R"}},             {NIN_SELECT, classic, {}},
        {NIN_SELECT, v3, {"up R"}},                 {NIN_KEYSELECT, v3, {"up R"}},
        {WM_RBUTTONDBLCLK, classic, {}},            {NIN_BALLOONSHOW, classic, {"balloon show"}},
        {NIN_BALLOONHIDE, v3, {"balloon hide"}},    {NIN_BALLOONTIMEOUT, classic, {"balloon timeout"}},
        {NIN_BALLOONUSERCLICK, classic, {"balloon click"}},
    };
    for (const Case& c : cases) {
        for (bool enabled : {true, false}) {
            RecordingTrayIcon tray(form);
            Log log;
            LogEvents(tray, log);
            tray.SetNotifyStyle(c.style);
            tray.SetEnabled(enabled);
            Notify(tray, c.notification);
            const bool balloon = c.notification >= NIN_BALLOONSHOW && c.notification <= NIN_BALLOONUSERCLICK;
            EXPECT_EQ(log, enabled || balloon ? c.events : Log{})
                << "notification 0x" << std::hex << c.notification << (enabled ? "" : " disabled");
        }
    }
}

TEST_F(TrayIconTest, MouseEventsCarryThePointerPositionButtonAndKeys) {
    RecordingTrayIcon& tray = NewTray();
    std::vector<std::pair<ShiftState, POINT>> seen;
    tray.OnMouseDown = tray.OnMouseUp = [&](TTrayIcon&, MouseButton, ShiftState s, int x, int y) {
        seen.push_back({s, {x, y}});
    };
    ASSERT_TRUE(SetCursorPos(321, 234));
    for (LPARAM n : {WM_LBUTTONDOWN, WM_RBUTTONUP, WM_MBUTTONDOWN}) Notify(tray, n);
    keybd_event(VK_SHIFT, 0, 0, 0);
    Notify(tray, WM_LBUTTONUP);
    keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);

    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].first, ShiftState(ShiftState::Left));
    EXPECT_EQ(seen[0].second.x, 321);
    EXPECT_EQ(seen[0].second.y, 234);
    EXPECT_EQ(seen[1].first, ShiftState(ShiftState::Right));
    EXPECT_EQ(seen[2].first, ShiftState(ShiftState::Middle));
    EXPECT_EQ(seen[3].first, ShiftState(ShiftState::Left | ShiftState::Shift));
}

// A single click is told from a double-click by the double-click time,
// counted from the press; its tick is driven here.
TEST_F(TrayIconTest, ClickSeparation) {
    constexpr LPARAM tick = -1;
    struct Case {
        const char* what;
        bool doubleClickHandler;
        std::vector<LPARAM> steps;
        Log events;
    };
    const std::vector<Case> cases = {
        {"single click: after the double-click time", true,
         {WM_LBUTTONDOWN, WM_LBUTTONUP, tick, tick}, {"down L", "up L", "click"}},
        {"double-click: no click, and the next click counts again", true,
         {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP, tick, WM_LBUTTONDOWN, WM_LBUTTONUP, tick},
         {"down L", "up L", "dblclick", "up L", "down L", "up L", "click"}},
        {"held past the double-click time: at release", true,
         {WM_LBUTTONDOWN, tick, WM_LBUTTONUP}, {"down L", "click", "up L"}},
        {"no double-click handler: at release", false,
         {WM_LBUTTONDOWN, WM_LBUTTONUP}, {"down L", "click", "up L"}},
    };
    for (const Case& c : cases) {
        RecordingTrayIcon tray(form);
        Log log;
        LogEvents(tray, log);
        if (!c.doubleClickHandler) tray.OnDblClick = nullptr;
        for (LPARAM step : c.steps) {
            if (step == tick) {
                Tick(tray.DoubleClickTimer());
                continue;
            }
            Notify(tray, step);
            if (step == WM_LBUTTONDOWN) {
                EXPECT_EQ(tray.DoubleClickTimer().Running(), c.doubleClickHandler) << c.what;
                EXPECT_EQ(tray.DoubleClickTimer().PeriodMs(), c.doubleClickHandler ? GetDoubleClickTime() : 1000u);
            }
        }
        EXPECT_EQ(log, c.events) << c.what;
        EXPECT_FALSE(tray.DoubleClickTimer().Running()) << c.what;
    }
}

TEST_F(TrayIconTest, PointerLeavingTheIconIsNoticedByTheHoverCheck) {
    RecordingTrayIcon& tray = NewTray();
    Log log;
    LogEvents(tray, log);
    ASSERT_TRUE(SetCursorPos(100, 100));
    tray.SetWantEnterExitEvents(true);
    EXPECT_TRUE(tray.HoverTimer().Running());
    EXPECT_EQ(tray.HoverTimer().PeriodMs(), 20u);
    Notify(tray, WM_MOUSEMOVE);
    Notify(tray, WM_MOUSEMOVE);
    Tick(tray.HoverTimer());  // not moved
    SetCursorPos(140, 100);
    Tick(tray.HoverTimer());
    Tick(tray.HoverTimer());
    Notify(tray, WM_MOUSEMOVE);
    EXPECT_EQ(log, (Log{"enter", "move", "move", "exit", "enter", "move"}));

    log.clear();
    tray.SetWantEnterExitEvents(false);
    EXPECT_FALSE(tray.HoverTimer().Running());
    SetCursorPos(100, 100);
    Notify(tray, WM_MOUSEMOVE);
    EXPECT_EQ(log, (Log{"move"}));
}

TEST_F(TrayIconTest, AnimationStepsThroughTheListAndIndexStaysInside) {
    auto* list = new ImageList(form);
    for (int size : {16, 20, 24}) list->Add(MakeIcon(size));
    RecordingTrayIcon& tray = NewTray();
    Log log;
    LogEvents(tray, log);
    tray.SetIconList(list);
    tray.SetIconIndex(7);
    EXPECT_EQ(tray.IconIndex(), 2);
    EXPECT_EQ(IconWidth(tray.Last().record.hIcon), 24);

    tray.SetCycleInterval(150);
    tray.SetCycleIcons(true);
    EXPECT_EQ(tray.IconIndex(), 0);
    EXPECT_EQ(tray.AnimationTimer().PeriodMs(), 150u);
    std::vector<int> shown;
    for (int i = 0; i < 4; ++i) {
        Tick(tray.AnimationTimer());
        shown.push_back(IconWidth(tray.Last().record.hIcon));
    }
    EXPECT_EQ(shown, (std::vector<int>{16, 20, 24, 16}));
    EXPECT_EQ(log, (Log{"cycle 1", "cycle 2", "cycle 0", "cycle 1"}));
    auto armed = [] { return TSimpleTimerHandler::Instance()->TimersRunning(); };
    EXPECT_EQ(armed(), 1);
    tray.SetCycleInterval(0);  // a period of 0 can't tick
    EXPECT_EQ(armed(), 0);
    tray.SetCycleInterval(100);
    EXPECT_EQ(armed(), 1);
    tray.SetCycleIcons(false);
    EXPECT_FALSE(tray.AnimationTimer().Running());
    EXPECT_EQ(armed(), 0);

    tray.SetIconIndex(2);
    delete list;  // the icon hears of it
    EXPECT_EQ(tray.IconList(), nullptr);
    EXPECT_EQ(tray.IconIndex(), 0);
    tray.SetIconIndex(2);
    EXPECT_EQ(tray.IconIndex(), 0);
}

TEST_F(TrayIconTest, ShellCallsAndIconChangesReachTheRealNotificationArea) {
    RecordingTrayIcon& tray = NewTray();
    tray.SetHint(ToAnsi("双击我，或者点击右键"));
    EXPECT_FALSE(tray.Last().accepted);  // not in the tray yet
    tray.Icon().LoadFromResource(GetModuleHandleA(nullptr), IDI_TRAY);
    EXPECT_TRUE(tray.AddTrayIcon());
    EXPECT_EQ(tray.Last().record.szTip, ToAnsi("双击我，或者点击右键"));
    EXPECT_EQ(IconWidth(tray.Last().record.hIcon), Icon::StandardSize().cx);
    EXPECT_FALSE(tray.AddTrayIcon());  // already there

    tray.Icon().LoadFromData("damaged");
    EXPECT_EQ(tray.Last().kind, "update");
    EXPECT_EQ(tray.Last().record.hIcon, nullptr);  // sent all the same
    IconHandle small = MakeIcon(16);
    tray.Icon().Assign(small.get());
    EXPECT_EQ(IconWidth(tray.Last().record.hIcon), 16);
    EXPECT_TRUE(tray.Last().accepted);

    const CHAR noTip[128] = {};
    tray.SetShowHint(false);
    EXPECT_EQ(std::memcmp(tray.Last().record.szTip, noTip, sizeof(noTip)), 0);
    tray.SetShowHint(true);
    tray.SetHint("");
    EXPECT_EQ(std::memcmp(tray.Last().record.szTip, noTip, sizeof(noTip)), 0);

    tray.SetIconVisible(false);
    EXPECT_EQ(tray.Last().kind, "delete");
    EXPECT_TRUE(tray.Last().accepted);
    EXPECT_FALSE(tray.UpdateTrayIcon());
    tray.SetIconVisible(true);
    EXPECT_EQ(tray.Last().kind, "add");
    EXPECT_TRUE(tray.Last().accepted);
}

// Limits count bytes of code page 936; a character is never cut in two.
TEST_F(TrayIconTest, LongTextsAreCutToTheirByteLimitsAtCharacterBoundaries) {
    ASSERT_EQ(GetACP(), 936u);
    const std::string han = ToAnsi("汉");
    RecordingTrayIcon& tray = NewTray();
    ASSERT_TRUE(tray.AddTrayIcon());
    tray.SetHint(Repeat(han, 100));
    EXPECT_EQ(std::string(tray.Last().record.szTip), Repeat(han, 63));  // 126: 127 would split one
    tray.SetHint("a" + Repeat(han, 100));
    EXPECT_EQ(std::string(tray.Last().record.szTip), "a" + Repeat(han, 63));
    EXPECT_EQ(tray.Last().record.szTip[127], 0);

    tray.ShowNotice(Repeat(han, 40), Repeat(han, 200), NoticeIcon::Info, 10);
    EXPECT_EQ(std::string(tray.Last().record.szInfo), Repeat(han, 127));
    EXPECT_EQ(std::string(tray.Last().record.szInfoTitle), Repeat(han, 31));
    tray.ShowNotice("a" + Repeat(han, 40), "a" + Repeat(han, 200), NoticeIcon::Info, 10);
    EXPECT_EQ(std::string(tray.Last().record.szInfo), "a" + Repeat(han, 127));
    EXPECT_EQ(std::string(tray.Last().record.szInfoTitle), "a" + Repeat(han, 31));
    EXPECT_TRUE(tray.Last().accepted);
}

TEST_F(TrayIconTest, EachNoticeTakesDownTheOneBeforeAndNoneShowsOutsideTheTray) {
    RecordingTrayIcon& tray = NewTray();
    const std::string title = ToAnsi("提示"), text = ToAnsi("我在这里.\r有事双击我.");
    EXPECT_FALSE(tray.ShowNotice(title, text, NoticeIcon::Info, 10));
    EXPECT_EQ(tray.IconData().uFlags, 7u);
    ASSERT_TRUE(tray.AddTrayIcon());
    tray.calls.clear();
    EXPECT_TRUE(tray.ShowNotice(title, text, NoticeIcon::Info, 10));
    EXPECT_TRUE(tray.ShowNotice("second", "another", NoticeIcon::Error, 255));
    EXPECT_EQ(tray.IconData().uFlags, 7u);

    ASSERT_EQ(tray.calls.size(), 4u);
    for (int clear : {0, 2}) {
        EXPECT_EQ(tray.calls[clear].record.uFlags, 7u | NIF_INFO);
        EXPECT_STREQ(tray.calls[clear].record.szInfo, "");
    }
    const IconRecord& first = tray.calls[1].record;
    EXPECT_EQ(first.uFlags, 7u | NIF_INFO);
    EXPECT_EQ(first.szInfo, text);
    EXPECT_EQ(first.szInfoTitle, title);
    EXPECT_EQ(first.uTimeout, 10000u);
    EXPECT_EQ(first.dwInfoFlags, static_cast<DWORD>(NIIF_INFO));
    EXPECT_EQ(tray.calls[3].record.uTimeout, 255000u);
    EXPECT_EQ(tray.calls[3].record.dwInfoFlags, static_cast<DWORD>(NIIF_ERROR));
    for (const ShellCall& call : tray.calls) EXPECT_TRUE(call.accepted);
    tray.SetHint("after");  // later refreshes send no balloon
    EXPECT_EQ(tray.Last().record.uFlags, 7u);
}

TEST_F(TrayIconTest, SettingsTakeEffectWhenLoadingCompletes) {
    RecordingTrayIcon& tray = NewTray();
    int startups = 0;
    tray.OnStartup = [&](TTrayIcon&, bool& show) { startups += show ? 1 : 100; };
    form->BeginLoading();
    tray.SetHint("loaded");
    tray.SetIconVisible(true);
    tray.SetWantEnterExitEvents(true);
    tray.SetNotifyStyle(NotifyStyle::Version3);
    EXPECT_FALSE(tray.HoverTimer().Running());
    EXPECT_EQ(tray.IconData().uVersion, 0u);
    tray.calls.clear();
    form->EndLoading();

    EXPECT_EQ(startups, 1);
    ASSERT_EQ(tray.calls.size(), 2u);
    EXPECT_EQ(tray.calls[0].kind, "update");
    EXPECT_EQ(tray.calls[1].kind, "add");
    EXPECT_TRUE(tray.calls[1].accepted);
    EXPECT_STREQ(tray.calls[1].record.szTip, "loaded");
    EXPECT_TRUE(tray.HoverTimer().Running());
    EXPECT_EQ(tray.IconData().uVersion, static_cast<UINT>(NOTIFYICON_VERSION));
    EXPECT_TRUE(app().ShowMainForm());
}

TEST_F(TrayIconTest, StartupHandlerMayKeepTheMainWindowHidden) {
    RecordingTrayIcon& tray = NewTray();
    tray.OnStartup = [](TTrayIcon&, bool& show) { show = false; };
    form->Show();
    form->BeginLoading();
    form->EndLoading();
    EXPECT_FALSE(app().ShowMainForm());
    EXPECT_FALSE(IsWindowVisible(form->Handle()));
    EXPECT_EQ(tray.Last().kind, "delete");  // IconVisible stays false
}

TEST_F(TrayIconTest, TaskbarCreatedPutsBackOnlyAVisibleIcon) {
    const UINT taskbarCreated = TTrayIcon::TaskbarCreatedMessage();
    ASSERT_NE(taskbarCreated, 0u);
    EXPECT_EQ(taskbarCreated, RegisterWindowMessageA("TaskbarCreated"));
    RecordingTrayIcon& tray = NewTray();
    SendMessageA(app().Handle(), taskbarCreated, 0, 0);
    EXPECT_TRUE(tray.calls.empty());

    ASSERT_TRUE(tray.AddTrayIcon());
    IconRecord lost = tray.IconData();  // the shell lost it with the old taskbar
    Shell_NotifyIconA(NIM_DELETE, reinterpret_cast<NOTIFYICONDATAA*>(&lost));
    SendMessageA(app().Handle(), taskbarCreated, 0, 0);
    EXPECT_EQ(tray.Last().kind, "add");
    EXPECT_TRUE(tray.Last().accepted);
}

}  // namespace
}  // namespace pwg::test
