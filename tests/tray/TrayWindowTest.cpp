// The tray icon and the windows around it: the application window's hook,
// the main window's subclassing, moving the main window to and from the
// tray, and the popup menu.
#include "tray/TrayIcon.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "app/framework/Menu.h"
#include "tests/support/Table.h"
#include "tests/support/UiDriver.h"
#include "tests/tray/TraySupport.h"

namespace pwg::test {
namespace {

using TrayWindowTest = TrayTest;

// The program's start-up: the main window's state is minimised, so the
// application minimises instead of showing it, and the icon takes over.
TEST_F(TrayWindowTest, MinimisedApplicationGoesToTheTrayAndDoubleClickBringsItBack) {
    RecordingTrayIcon& tray = NewTray();
    tray.SetMinimizeToTray(true);
    form->SetWindowState(WindowState::Minimized);
    app().Minimize();
    EXPECT_FALSE(Shown(form->Handle()));
    EXPECT_FALSE(Shown(app().Handle()));
    ASSERT_FALSE(tray.calls.empty());
    EXPECT_EQ(tray.Last().kind, "add");
    EXPECT_TRUE(tray.Last().accepted);

    tray.OnDblClick = [](TTrayIcon& sender) { sender.RestoreFromTray(); };
    Notify(tray, WM_LBUTTONDBLCLK);
    EXPECT_FALSE(IsIconic(app().Handle()));
    EXPECT_TRUE(Shown(form->Handle()));
    EXPECT_EQ(form->GetWindowState(), WindowState::Normal);
    Notify(tray, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(Shown(form->Handle()));
    EXPECT_EQ(tray.Last().kind, "add");  // the icon stays
}

TEST_F(TrayWindowTest, WithoutMinimizeToTrayMinimisingLeavesTheIconOut) {
    RecordingTrayIcon& tray = NewTray();
    form->Show();
    app().Minimize();
    EXPECT_TRUE(IsIconic(app().Handle()));
    EXPECT_TRUE(tray.calls.empty());
}

TEST_F(TrayWindowTest, SendToTrayAndRestoreAfterACloseBoxHide) {
    RecordingTrayIcon& tray = NewTray();
    form->Show();
    ShowWindow(app().Handle(), SW_SHOWNA);
    tray.SendToTray();
    EXPECT_FALSE(Shown(form->Handle()));
    EXPECT_FALSE(Shown(app().Handle()));
    form->Show();
    tray.SendToTray();  // the application window is hidden already
    EXPECT_FALSE(Shown(form->Handle()));

    // Not minimised: restoring only shows the main window.
    tray.RestoreFromTray();
    EXPECT_TRUE(Shown(form->Handle()));
    EXPECT_FALSE(IsIconic(app().Handle()));
    EXPECT_FALSE(Shown(app().Handle()));
    EXPECT_TRUE(tray.calls.empty());

    tray.SendToTray();
    SendMessageA(app().Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_TRUE(Shown(form->Handle()));
}

TEST_F(TrayWindowTest, MainWindowMinimiseIsInterceptedOnlyWithAHandler) {
    RecordingTrayIcon& tray = NewTray();
    form->Show();
    tray.SetMinimizeToTray(true);
    SendMessageA(form->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_EQ(form->sysCommands, std::vector<WPARAM>{SC_MINIMIZE});  // the window's own handling
    EXPECT_TRUE(tray.calls.empty());

    ShowWindow(form->Handle(), SW_RESTORE);
    int intercepted = 0;
    tray.OnMinimizeToTray = [&](TTrayIcon&) { ++intercepted; };
    EXPECT_EQ(SendMessageA(form->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0), 1);
    EXPECT_EQ(intercepted, 1);
    EXPECT_EQ(form->sysCommands.size(), 1u);
    EXPECT_FALSE(Shown(form->Handle()));
    EXPECT_EQ(tray.Last().kind, "add");

    SendMessageA(form->Handle(), WM_SYSCOMMAND, SC_MINIMIZE | 2, 0);  // compared exactly
    EXPECT_EQ(intercepted, 1);
    EXPECT_EQ(SendMessageA(form->Handle(), WM_SHOWWINDOW, FALSE, SW_PARENTCLOSING), 1);
    EXPECT_EQ(intercepted, 2);
    tray.SetMinimizeToTray(false);
    SendMessageA(form->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_EQ(intercepted, 2);
    EXPECT_EQ(form->sysCommands.size(), 3u);
}

// The owner window's hook is a window procedure too: nothing unwinds through it.
TEST_F(TrayWindowTest, WhateverAHandlerThrowsInTheOwnerHookIsReported) {
    RecordingTrayIcon& tray = NewTray();
    form->Show();
    tray.SetMinimizeToTray(true);
    tray.OnMinimizeToTray = [](TTrayIcon&) { throw 42; };
    WhenMessageBox report;
    SendMessageA(form->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    Pump();
    EXPECT_EQ(report.Text(), "An error of an unknown kind occurred.");
}

// Two icons hook the main window; either may go first.
struct LeavingRow {
    const char* name;
    int first;  // 0: the lower icon (installed first), 1: the upper one
};
const LeavingRow kLeaving[] = {{"UpperFirst", 1}, {"LowerFirst", 0}};

class IconsLeaving : public TrayWindowTest, public ::testing::WithParamInterface<LeavingRow> {};

TEST_P(IconsLeaving, InAnyOrderAndTheMainWindowKeepsItsMessages) {
    const LONG_PTR original = GetWindowLongPtrA(form->Handle(), GWLP_WNDPROC);
    std::unique_ptr<RecordingTrayIcon> icons[2];  // lower, upper
    int took[2] = {};
    for (int i : {0, 1}) {
        icons[i] = std::make_unique<RecordingTrayIcon>(form);
        icons[i]->SetMinimizeToTray(true);
    }
    icons[0]->OnMinimizeToTray = [&](TTrayIcon&) { ++took[0]; };
    EXPECT_EQ(SendMessageA(form->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0), 1);
    EXPECT_EQ(took[0], 1) << "the upper icon passes the minimise on";
    icons[1]->OnMinimizeToTray = [&](TTrayIcon&) { ++took[1]; };

    const int first = GetParam().first, remaining = 1 - first;
    icons[first]->AddTrayIcon();
    ASSERT_TRUE(icons[first]->UpdateTrayIcon()) << "in the tray";
    IconRecord record = icons[first]->IconData();
    icons[first].reset();
    EXPECT_FALSE(Shell_NotifyIconA(NIM_DELETE, reinterpret_cast<NOTIFYICONDATAA*>(&record)));  // gone already
    EXPECT_EQ(SendMessageA(form->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0), 1);
    EXPECT_EQ(took[remaining], remaining == 0 ? 2 : 1) << "the remaining hook still works";
    SendMessageA(form->Handle(), WM_NULL, 0, 0);
    EXPECT_EQ(form->nullMessages, 1);

    icons[remaining].reset();
    EXPECT_EQ(GetWindowLongPtrA(form->Handle(), GWLP_WNDPROC), original);
    SendMessageA(form->Handle(), WM_NULL, 0, 0);
    EXPECT_EQ(form->nullMessages, 2);
}

INSTANTIATE_TEST_SUITE_P(Order, IconsLeaving, ::testing::ValuesIn(kLeaving), RowName);

// Under UIPI the elevated program hears the shell only where it lets it
// through: each message on the window that acts on it, made with the first
// icon. A refusal is told nowhere and changes nothing.
struct FilterRecorder {
    using Call = std::tuple<HWND, UINT, DWORD>;
    static inline std::vector<Call> calls;
    static inline BOOL result = TRUE;
    static BOOL WINAPI Record(HWND window, UINT message, DWORD action, CHANGEFILTERSTRUCT*) {
        calls.emplace_back(window, message, action);
        if (!result) SetLastError(ERROR_ACCESS_DENIED);
        return result;
    }
    StandIn<&OsCalls::changeWindowMessageFilterEx> standIn{Record};
};

TEST_F(TrayWindowTest, ShellMessagesAreLetThroughOnlyToTheWindowsThatActOnThem) {
    ASSERT_NE(TTrayIcon::TaskbarCreatedMessage(), 0u);
    for (BOOL granted : {TRUE, FALSE}) {
        FilterRecorder filter;
        FilterRecorder::calls.clear();
        FilterRecorder::result = granted;
        auto first = std::make_unique<RecordingTrayIcon>(form);
        auto second = std::make_unique<RecordingTrayIcon>(form);
        EXPECT_EQ(FilterRecorder::calls,
                  (std::vector<FilterRecorder::Call>{
                      {TTrayIconHandler::Instance()->Handle(), TrayCallbackMessage, MSGFLT_ALLOW},
                      {app().Handle(), TTrayIcon::TaskbarCreatedMessage(), MSGFLT_ALLOW}}));
        Log log;
        LogEvents(*second, log);
        Notify(*second, WM_LBUTTONDBLCLK);
        EXPECT_EQ(log, Log{"dblclick"}) << granted;
    }
}

// A popup menu runs its own loop: a thread timer looks at it from inside,
// then ends it.
struct MenuProbe {
    static inline bool seen = false;
    static inline RECT rect{};
    static inline int ticks = 0;

    static BOOL CALLBACK FindMenu(HWND hwnd, LPARAM) {
        char name[16] = {};
        GetClassNameA(hwnd, name, sizeof(name));
        if (std::string(name) == "#32768" && IsWindowVisible(hwnd)) {
            seen = true;
            GetWindowRect(hwnd, &rect);
        }
        return TRUE;
    }
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
        EnumThreadWindows(GetCurrentThreadId(), FindMenu, 0);
        if (!seen && ++ticks < 30) return;
        KillTimer(nullptr, id);
        EndMenu();
    }
    static void Notify(TTrayIcon& tray, LPARAM notification) {
        seen = false;
        ticks = 0;
        const UINT_PTR timer = SetTimer(nullptr, 0, 100, OnTimer);
        test::Notify(tray, notification);
        KillTimer(nullptr, timer);
    }
};

class TrayMenuTest : public TrayTest {
protected:
    void SetUp() override {
        TrayTest::SetUp();
        menu = new PopupMenu(form);
        show = menu->Items().Add("show", [this] { clicked += "show;"; });
        exit = menu->Items().Add("exit", [this] { clicked += "exit;"; });
    }
    PopupMenu* menu = nullptr;
    MenuItem* show = nullptr;
    MenuItem* exit = nullptr;
    std::string clicked;
};

TEST_F(TrayMenuTest, RightButtonPressOpensTheMenuAtThePointer) {
    RecordingTrayIcon& tray = NewTray();
    tray.SetPopupMenu(menu);
    ASSERT_TRUE(SetCursorPos(300, 200));
    MenuProbe::Notify(tray, WM_RBUTTONDOWN);
    ASSERT_TRUE(MenuProbe::seen);
    EXPECT_LE(std::abs(MenuProbe::rect.left - 300), 2);
    EXPECT_LE(std::abs(MenuProbe::rect.top - 200), 2);
    EXPECT_EQ(menu->PopupComponent(), &tray);
    app().ProcessMessages();
    EXPECT_EQ(form->nullMessages, 1);  // posted after the menu closed
    // A chosen item arrives as a command to the application window.
    PostMessageA(app().Handle(), WM_COMMAND, exit->Command(), 0);
    app().ProcessMessages();
    EXPECT_EQ(clicked, "exit;");
}

TEST_F(TrayMenuTest, MenuOpensOnlyWhenEnabledWithAutoPopupAndOnTheLeftOnlyWithLeftPopup) {
    RecordingTrayIcon& tray = NewTray();
    tray.SetPopupMenu(menu);
    MenuProbe::Notify(tray, WM_LBUTTONDOWN);
    EXPECT_FALSE(MenuProbe::seen);
    tray.SetLeftPopup(true);
    MenuProbe::Notify(tray, WM_LBUTTONDOWN);
    EXPECT_TRUE(MenuProbe::seen);

    tray.SetEnabled(false);
    MenuProbe::Notify(tray, WM_RBUTTONDOWN);
    EXPECT_FALSE(MenuProbe::seen);
    tray.SetEnabled(true);
    menu->SetAutoPopup(false);
    MenuProbe::Notify(tray, WM_RBUTTONDOWN);
    EXPECT_FALSE(MenuProbe::seen);

    delete menu;
    EXPECT_EQ(tray.PopupMenu(), nullptr);
}

TEST_F(TrayMenuTest, DoubleClickClicksTheFirstDefaultItem) {
    RecordingTrayIcon& tray = NewTray();
    tray.SetPopupMenu(menu);
    Notify(tray, WM_LBUTTONDBLCLK);
    exit->SetDefault(true);
    Notify(tray, WM_LBUTTONDBLCLK);
    show->SetDefault(true);
    Notify(tray, WM_LBUTTONDBLCLK);
    EXPECT_EQ(clicked, "exit;show;");

    tray.SetLeftPopup(true);
    Notify(tray, WM_LBUTTONDBLCLK);
    tray.SetLeftPopup(false);
    menu->SetAutoPopup(false);
    Notify(tray, WM_LBUTTONDBLCLK);
    EXPECT_EQ(clicked, "exit;show;");
}

}  // namespace
}  // namespace pwg::test
