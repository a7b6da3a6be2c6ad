// The real pw_gate.exe under Wine, with its real timers, driven from outside
// as a user would, and the registry it leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "app/Unit1.h"
#include "dialogs/U1_psw.h"
#include "dialogs/U2_psw.h"
#include "dialogs/U3_psw.h"
#include "tests/e2e/Program.h"
#include "tests/support/Registry.h"
#include "tray/TrayIcon.h"

namespace pwg::test {
namespace {

// The program's one tray icon has the first identifier.
constexpr WPARAM kTrayIconId = 1;
constexpr char kUnlockDialog[] = "管理员解锁";
constexpr char kChangeDialog[] = "管理员密码修改";

std::string TimeText(int hour, int minute, int second) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", hour, minute, second);
    return text;
}

// A one-minute usage window hours away from now. Two-digit hours read the
// same in every 24-hour format, so the program writes back what it read.
std::pair<std::string, std::string> WindowAwayFromNow() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    const int hour = now.wHour < 15 ? 20 : 10;
    return {TimeText(hour, 0, 0), TimeText(hour, 1, 0)};
}

int Number(const std::optional<std::string>& text) { return text ? std::atoi(text->c_str()) : -1; }

// The tray icon reports a left double-click, as the shell would.
void DoubleClickTrayIcon(const Program& program) {
    PostMessageA(program.TrayHandlerWindow(), TrayCallbackMessage, kTrayIconId, WM_LBUTTONDBLCLK);
}

// The one icon in the shell's tray that was not there before; none while there is no such one.
HWND NewTrayIcon(const std::set<HWND>& before) {
    HWND added = nullptr;
    for (HWND h : ShellTrayIcons()) {
        if (before.count(h)) continue;
        if (added) return nullptr;
        added = h;
    }
    return added;
}

// A usage window whose start comes after its end has no inside: every time
// of day is outside it.
void StoreWindowWithoutInside() {
    StoreSetting("BEGTIME", "23:00:00");
    StoreSetting("ENDTIME", "11:00:00");
}

// Relocks from the main window's menu with the password; the unlock dialog
// the next tick opens, or null.
HWND Relock(const Program& program, HWND main) {
    Command(main, TMainForm::kCmdN4);
    if (const testing::AssertionResult answered = AnswerPrompt(program, "739105"); !answered) {
        ADD_FAILURE() << answered.message();
        return nullptr;
    }
    return program.WaitForVisibleForm(kUnlockDialog, 2500);
}

// The seconds left on the unlock dialog, once they have moved down from what they read now.
int NextSecondsLeft(HWND dialog) {
    HWND label = GetDlgItem(dialog, Tf3_psw::kLabelFX3);
    const int now = Number(Text(label));
    int next = now;
    WaitUntil([&] { return (next = Number(Text(label))) != now; }, 3000);
    return next;
}

// Whether a balloon notice that was not there before appears; the shell
// shows one after a delay.
bool NewBalloonAppears(const std::set<HWND>& before) {
    return WaitUntil(
        [&] {
            for (HWND b : ShellBalloons())
                if (!before.count(b)) return true;
            return false;
        },
        5000);
}

// Presses the keys of the letters and digits and then Enter on the X
// display's keyboard, into whatever has the focus there.
bool TypeOnKeyboard(std::string_view text) {
    std::string keys;
    for (char c : text) keys += std::string(" ") + c;
    return StartOnHost("/usr/bin/xdotool key --delay 20" + keys + " Return");
}

// A new password through the tray menu's change dialog, stored at once.
testing::AssertionResult ChangePassword(const Program& program, std::string_view old, std::string_view next) {
    Command(program.ApplicationWindow(), TMainForm::kCmdN7);
    HWND change = program.WaitForVisibleForm(kChangeDialog, 3000);
    if (!change) return testing::AssertionFailure() << "no password change dialog";
    TypePasswordChange<TF2_psw>(change, old, next, next);
    if (!WaitUntil([&] { return !Shown(change); }, 3000)) return testing::AssertionFailure() << "the dialog stayed";
    return testing::AssertionSuccess();
}

class EndToEnd : public ::testing::Test {
protected:
    // Settings, auto-start entry and the kept user key as on a machine where
    // the program never ran; put back afterwards. The program, if a failed
    // test leaves it running, is ended before that.
    CleanRegistry registry_;

    // An end of the session asks every window to end; this program must have none.
    void TearDown() override {
        DWORD self = GetCurrentProcessId();
        for (const WindowInfo& w : TopLevelWindows()) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w.handle, &owner);
            EXPECT_NE(owner, self) << "the test program made a window of class " << w.className;
        }
    }
};

TEST_F(EndToEnd, FreshStartGoesToTheTrayAndTheEndOfTheSessionSavesTheDefaults) {
    Program program;
    HWND main = program.WaitUntilRunning();
    ASSERT_TRUE(main) << "no main window reading \"系统已解锁\"";
    for (const WindowInfo& w : program.Windows()) EXPECT_FALSE(w.visible) << w.className << " is visible";
    // The files beside this test: in the release build, those that are zipped.
    const std::string folder = Program::Path().substr(0, Program::Path().find_last_of('\\') + 1);
    EXPECT_EQ(lstrcmpiA(program.ImagePath().c_str(), Program::Path().c_str()), 0) << program.ImagePath();
    EXPECT_EQ(lstrcmpiA(program.ModulePath("GetTime.dll").c_str(), (folder + "GetTime.dll").c_str()), 0)
        << program.ModulePath("GetTime.dll");
    EXPECT_EQ(AutoStartEntry().value_or(kAbsent), Program::Path());
    EXPECT_EQ(KeptUserKey(), KeyContents{}) << "HKEY_CURRENT_USER\\software\\shutdown, there and empty";
    // Nothing is stored before the program ends.
    EXPECT_EQ(StoredSetting("BEGTIME"), kAbsent);

    EndSession();
    ASSERT_EQ(program.WaitForExit(10000), 0u);
    EXPECT_EQ(StoredSetting("BEGTIME"), "08:00:00");
    EXPECT_EQ(StoredSetting("ENDTIME"), "21:30:00");
    EXPECT_EQ(StoredPassword(), "739105");
}

TEST_F(EndToEnd, TheAutoStartEntryStartsTheProgramAtTheNextLogOn) {
    Program program;
    ASSERT_TRUE(program.WaitUntilRunning());
    RestartSession();
    ASSERT_EQ(program.WaitForExit(10000), 0u);
    const std::unique_ptr<Program> next = StartedAtLogOn();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->ImagePath(), Program::Path());
    EXPECT_TRUE(next->WaitUntilRunning());
    EndSession();
    EXPECT_EQ(next->WaitForExit(10000), 0u);
}

// Locked, the session ends (a sign-out, a restart): the program the next
// session starts is locked, counting down outside the usage window. Only
// the password lifts the lock, and then for good.
TEST_F(EndToEnd, TheLockOutlivesTheSessionUntilThePasswordLiftsIt) {
    StoreWindowWithoutInside();
    Program program;
    HWND main = program.WaitUntilRunning();
    ASSERT_TRUE(main);
    ASSERT_TRUE(Relock(program, main)) << "no unlock dialog";

    RestartSession();
    ASSERT_EQ(program.WaitForExit(10000), 0u);
    std::unique_ptr<Program> next = StartedAtLogOn();
    ASSERT_TRUE(next);
    HWND unlock = next->WaitUntilLockedOutside();
    ASSERT_TRUE(unlock) << "the next session's program is not locked";
    EXPECT_LT(NextSecondsLeft(unlock), 60) << "not counting down";
    TypePassword<Tf3_psw>(unlock, "739105");
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(unlock) || !Shown(unlock); }, 2000));

    RestartSession();
    ASSERT_EQ(next->WaitForExit(10000), 0u);
    next = StartedAtLogOn();
    ASSERT_TRUE(next);
    EXPECT_TRUE(next->WaitUntilRunning()) << "still locked after the password";
    EXPECT_FALSE(next->WaitForVisibleForm(kUnlockDialog, 1500));
    EndSession();
    EXPECT_EQ(next->WaitForExit(10000), 0u);
}

// Ended by force (from the task manager, or by a crash), it deletes no icon
// itself: the shell takes it away with the window it belonged to.
TEST_F(EndToEnd, AProgramEndedByForceLeavesNoIconInTheTray) {
    const std::set<HWND> before = ShellTrayIcons();
    {
        Program program;
        ASSERT_TRUE(program.WaitUntilRunning());
        ASSERT_TRUE(WaitUntil([&] { return NewTrayIcon(before) != nullptr; }, 3000))
            << "no new icon in the shell's tray";
    }
    EXPECT_TRUE(WaitUntil([&] { return ShellTrayIcons() == before; }, 5000)) << "its icon stayed in the tray";
}

TEST_F(EndToEnd, TrayIconBringsTheMainWindowToTheFrontAndTheCloseBoxHidesIt) {
    const std::set<HWND> before = ShellTrayIcons();
    Program program;
    HWND main = program.WaitUntilRunning();
    ASSERT_TRUE(main);
    HWND icon = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (icon = NewTrayIcon(before)) != nullptr; }, 3000))
        << "no new icon in the shell's tray";
    EXPECT_TRUE(Shown(icon));

    DoubleClickTrayIcon(program);
    ASSERT_TRUE(WaitUntil([&] { return Shown(main); }, 3000));
    // In front and active: the topmost visible window, the foreground window,
    // and the one its keyboard input goes to.
    const auto windows = TopLevelWindows();
    const auto topmost = std::find_if(windows.begin(), windows.end(), [](const WindowInfo& w) { return w.visible; });
    ASSERT_NE(topmost, windows.end());
    EXPECT_EQ(topmost->handle, main);
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == main; }, 2000))
        << "the foreground window is a " << ClassName(GetForegroundWindow());
    GUITHREADINFO gui{sizeof(gui)};
    ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &gui));
    EXPECT_EQ(gui.hwndActive, main);

    const std::set<HWND> balloonsBefore = ShellBalloons();
    PostMessageA(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !Shown(main); }, 3000));
    // The application window is hidden after the main window, in a step of its own.
    EXPECT_TRUE(WaitUntil([&] { return !Shown(program.ApplicationWindow()); }, 3000));
    // The notice saying where the window went.
    EXPECT_TRUE(NewBalloonAppears(balloonsBefore)) << "no balloon notice";
    // The program runs on and the icon stays: a double-click on it in the
    // shell's tray brings the window back.
    PostMessageA(icon, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(8, 8));
    ASSERT_TRUE(WaitUntil([&] { return Shown(main); }, 3000)) << "the icon in the tray does not answer";
    PostMessageA(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !Shown(main); }, 3000));
    EXPECT_TRUE(program.Running());

    EndSession();
    ASSERT_EQ(program.WaitForExit(10000), 0u);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(icon); }, 3000)) << "the icon stayed in the tray";
}

TEST_F(EndToEnd, LockedOutsideTheUsageWindowTheCountdownPowersOff) {
    StoreWindowWithoutInside();
    Program program;
    HWND main = program.WaitUntilRunning();
    ASSERT_TRUE(main);

    HWND unlock = Relock(program, main);
    ASSERT_TRUE(unlock) << "no unlock dialog";
    EXPECT_EQ(Text(main), ToAnsi("系统已锁定"));
    HWND seconds = GetDlgItem(unlock, Tf3_psw::kLabelFX3);
    const int first = Number(Text(seconds));
    EXPECT_GE(first, 58);
    EXPECT_EQ(NextSecondsLeft(unlock), first - 1);
    // What is stored now must come from the exit at power-off.
    ClearStoredSettings();

    // Nobody types: the count runs down to 0, and the next tick powers off.
    int previous = first, lowest = first;
    bool rose = false;
    WaitUntil(
        [&] {
            const auto text = Text(seconds);
            if (!text || !Shown(unlock)) return true;
            const int left = Number(text);
            rose = rose || left > previous;
            previous = left;
            lowest = std::min(lowest, left);
            return false;
        },
        75000);
    EXPECT_FALSE(rose);
    EXPECT_EQ(lowest, 0);
    // The power-off request ends the Wine session, which closes the program;
    // this program, without windows, lives on.
    ASSERT_EQ(program.WaitForExit(15000), 0u);
    EXPECT_EQ(StoredSetting("BEGTIME"), "23:00:00");
    EXPECT_EQ(StoredSetting("ENDTIME"), "11:00:00");
    EXPECT_EQ(StoredPassword(), "739105");

    // The power-off achieves nothing: started again, the program is locked.
    Program again;
    EXPECT_TRUE(again.WaitUntilLockedOutside()) << "the power-off lifted the lock";
    EndSession();
    EXPECT_EQ(again.WaitForExit(10000), 0u);
}

// Someone is at another program when the lock comes: the unlock dialog comes
// up in front of it, stays there, and has the caret in its entry, so the
// administrator types on the keyboard at once, Enter included, without a click.
TEST_F(EndToEnd, TheUnlockDialogComesInFrontOfAnotherProgramAndTheKeyboardTypesIntoIt) {
    StoreWindowWithoutInside();
    char windows[MAX_PATH];
    Program editor(std::string(windows, GetWindowsDirectoryA(windows, MAX_PATH)) + "\\notepad.exe");
    Program program;
    HWND main = program.WaitUntilRunning();
    ASSERT_TRUE(main);
    HWND other = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (other = editor.WindowOfClass("Notepad")) != nullptr; }, 10000));

    HWND first = Relock(program, main);
    ASSERT_TRUE(first) << "no unlock dialog";
    // The editor comes to the front, on top of everything; the dialog stays in front of it.
    SetForegroundWindow(other);
    BringWindowToTop(other);
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == other; }, 3000))
        << "the editor never came to the front";
    EXPECT_TRUE(InFrontOf(first, other));
    // Closed with its close box while the editor is in front, the dialog
    // opens afresh at the next tick.
    PostMessageA(first, WM_CLOSE, 0, 0);
    HWND unlock = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (unlock = program.VisibleForm(kUnlockDialog)) && unlock != first; }, 3000))
        << "no fresh unlock dialog";
    EXPECT_EQ(GetForegroundWindow(), unlock) << "the editor kept the front";
    EXPECT_TRUE(InFrontOf(unlock, other));
    EXPECT_EQ(FocusInThreadOf(unlock), GetDlgItem(unlock, Tf3_psw::kEdit1)) << "the caret is not in the entry";

    // A wrong password and Enter: told, and the caret stays for the next try.
    ASSERT_TRUE(TypeOnKeyboard("123"));
    const HWND told = GetDlgItem(unlock, Tf3_psw::kLabelFX2);
    EXPECT_TRUE(WaitUntil([&] { return Text(told) == ToAnsi("密码错误！"); }, 2000));
    ASSERT_TRUE(TypeOnKeyboard("739105"));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(unlock) || !Shown(unlock); }, 2000))
        << "still open, the entry reading \"" << Text(GetDlgItem(unlock, Tf3_psw::kEdit1)).value_or("") << "\"";
    EXPECT_TRUE(WaitUntil([&] { return Text(main) == ToAnsi("系统已解锁"); }, 2500));
}

TEST_F(EndToEnd, AdministratorLocksUnlocksRelocksChangesThePasswordAndExits) {
    const auto [begin, end] = WindowAwayFromNow();
    StoreSetting("BEGTIME", begin);
    StoreSetting("ENDTIME", end);
    Program program;
    HWND main = program.WaitUntilRunning();
    ASSERT_TRUE(main);

    // Confirm the window the pickers show (the stored one) from the main
    // window: written again, locked, and outside it.
    DoubleClickTrayIcon(program);
    ASSERT_TRUE(WaitUntil([&] { return Shown(main); }, 3000));
    ClearStoredSettings();
    Press(GetDlgItem(main, TMainForm::kBitBtn1));
    ASSERT_TRUE(AnswerPrompt(program, "739105"));
    EXPECT_TRUE(WaitUntil([&] { return !Shown(main); }, 2000)) << "the main window did not go to the tray";
    EXPECT_EQ(StoredSetting("BEGTIME"), begin);
    EXPECT_EQ(StoredSetting("ENDTIME"), end);
    HWND unlock = program.WaitForVisibleForm(kUnlockDialog, 2500);
    ASSERT_TRUE(unlock) << "no unlock dialog";
    EXPECT_EQ(Text(main), ToAnsi("系统已锁定"));

    // A wrong password: the dialog says so and the count goes on.
    TypePassword<Tf3_psw>(unlock, "000000");
    EXPECT_TRUE(WaitUntil([&] { return Text(GetDlgItem(unlock, Tf3_psw::kLabelFX2)) == ToAnsi("密码错误！"); }, 2000));
    const int left = NextSecondsLeft(unlock);
    EXPECT_LT(NextSecondsLeft(unlock), left);
    EXPECT_TRUE(Shown(unlock));

    // The right one lifts the lock.
    TypePassword<Tf3_psw>(unlock, "739105");
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(unlock) || !Shown(unlock); }, 2000));
    EXPECT_TRUE(WaitUntil([&] { return Text(main) == ToAnsi("系统已解锁"); }, 2500));

    // Relocking brings the dialog back, counting from the start.
    unlock = Relock(program, main);
    ASSERT_TRUE(unlock) << "no unlock dialog after relocking";
    EXPECT_GE(Number(Text(GetDlgItem(unlock, Tf3_psw::kLabelFX3))), 58);
    TypePassword<Tf3_psw>(unlock, "739105");
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(unlock) || !Shown(unlock); }, 2000));
    EXPECT_TRUE(WaitUntil([&] { return Text(main) == ToAnsi("系统已解锁"); }, 2500));

    // A new password from the tray menu, stored at once.
    ASSERT_TRUE(ChangePassword(program, "739105", "n3w"));
    EXPECT_EQ(StoredPassword(), "n3w");
    // What is stored now must come from the exit.
    ClearStoredSettings();

    // Exit from the tray menu: the old password no longer opens it.
    Command(program.ApplicationWindow(), TMainForm::kCmdN8);
    HWND prompt = program.WaitForVisibleForm(kPasswordPrompt, 3000);
    ASSERT_TRUE(prompt);
    TypePassword<Tf1_psw>(prompt, "739105");
    EXPECT_TRUE(WaitUntil([&] { return Text(GetDlgItem(prompt, Tf1_psw::kLabelFX2)) == ToAnsi("密码错误！"); }, 2000));
    EXPECT_TRUE(Shown(prompt));
    EXPECT_TRUE(program.Running());
    TypePassword<Tf1_psw>(prompt, "n3w");
    ASSERT_EQ(program.WaitForExit(10000), 0u);
    EXPECT_EQ(StoredSetting("BEGTIME"), begin);
    EXPECT_EQ(StoredSetting("ENDTIME"), end);
    EXPECT_EQ(StoredPassword(), "n3w");
}

TEST_F(EndToEnd, TwoInstancesKeepEachOthersChangesAndADeletedValueComesBack) {
    // Each instance holds a different start; both hold the same end. A
    // window round the whole day keeps the confirming instance unlocked.
    StoreSetting("BEGTIME", "07:00:00");
    StoreSetting("ENDTIME", "23:59:59");
    Program first;
    ASSERT_TRUE(first.WaitUntilRunning());
    StoreSetting("BEGTIME", "00:00:00");
    Program second;
    HWND main = second.WaitUntilRunning();
    ASSERT_TRUE(main);

    // The second confirms its window, the first changes the password.
    DoubleClickTrayIcon(second);
    ASSERT_TRUE(WaitUntil([&] { return Shown(main); }, 3000));
    Press(GetDlgItem(main, TMainForm::kBitBtn1));
    ASSERT_TRUE(AnswerPrompt(second, "739105"));
    ASSERT_TRUE(WaitUntil([&] { return !Shown(main); }, 2000));
    ASSERT_TRUE(ChangePassword(first, "739105", "n3w"));
    EXPECT_EQ(StoredPassword(), "n3w");
    RemoveSetting("ENDTIME");

    // Whichever leaves last, neither puts back what it loaded over the
    // other's change, and the deleted end is written again.
    EndSession();
    ASSERT_EQ(first.WaitForExit(10000), 0u);
    ASSERT_EQ(second.WaitForExit(10000), 0u);
    EXPECT_EQ(StoredSetting("BEGTIME"), "00:00:00");
    EXPECT_EQ(StoredPassword(), "n3w");
    EXPECT_EQ(StoredSetting("ENDTIME"), "23:59:59");
}

TEST_F(EndToEnd, AQuitFromOutsideOnlyHidesToTheTrayAndAnUnaskedEndOfTheSessionSaves) {
    Program program;
    HWND main = program.WaitUntilRunning();
    ASSERT_TRUE(main);
    const std::set<HWND> balloonsBefore = ShellBalloons();
    PostThreadMessageA(GetWindowThreadProcessId(main, nullptr), WM_QUIT, 0, 0);
    // Answered as a close request: the notice of where the window went.
    EXPECT_TRUE(NewBalloonAppears(balloonsBefore)) << "no balloon notice";
    ASSERT_TRUE(program.Running());
    EXPECT_FALSE(Shown(main));

    // The end of the session, told without the query first.
    PostMessageA(program.ApplicationWindow(), WM_ENDSESSION, TRUE, 0);
    ASSERT_EQ(program.WaitForExit(10000), 0u);
    EXPECT_EQ(StoredSetting("BEGTIME"), "08:00:00");
    EXPECT_EQ(StoredSetting("ENDTIME"), "21:30:00");
    EXPECT_EQ(StoredPassword(), "739105");
}

}  // namespace
}  // namespace pwg::test
