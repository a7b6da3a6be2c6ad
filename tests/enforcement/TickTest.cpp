// The enforcement tick in its windows, driven tick by tick: the test posts
// the ticks (and the user's actions) that the unlock dialog's modal loop then
// dispatches in order, exactly as the real one-second timer's ticks would
// arrive. What a tick decides for each state is TickRulesTest's table; here
// is what needs windows: the dialog's modal nesting, its label counting
// down, the password typed into it, the caption and the power-off calls.
#include <gtest/gtest.h>

#include <stdexcept>

#include "app/AppState.h"
#include "app/framework/Application.h"
#include "app/framework/Timer.h"
#include "common/Ansi.h"
#include "common/Error.h"
#include "dialogs/U1_psw.h"
#include "dialogs/U2_psw.h"
#include "dialogs/U3_psw.h"
#include "enforcement/u0_shutThread.h"
#include "tests/support/AppFixture.h"
#include "tests/support/Controls.h"
#include "tests/support/Table.h"
#include "tests/support/UiDriver.h"

namespace pwg::test {
namespace {

class TickTest : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        CreateMainForm();
        AppState& state = State();
        state.locked = true;
        state.windowStart = Hours(8);
        state.windowEnd = Hours(21.5);
        state.trustedTime = Hours(22);  // outside
    }

    static std::string Label(HWND control) { return Text(control).value_or("<no answer>"); }
    // The open unlock dialog; a step that needs one fails the test without it.
    static Tf3_psw& Unlock() {
        if (!State().unlockDialog) throw std::runtime_error("no unlock dialog is open");
        return *State().unlockDialog;
    }
    void PostTicks(int n) {
        for (int i = 0; i < n; ++i) Post(EnforcementTick);
    }
    static void TypeAndConfirm(const std::string& ansi) { TypePassword<Tf3_psw>(Unlock().Handle(), ansi); }
    // As the window shows it.
    std::string Caption() const { return Text(main_->Handle()).value_or("<no answer>"); }
};

TEST_F(TickTest, CountsDownAndPowersOffOnceOnTheSixtyFirstTick) {
    std::vector<std::string> labels;
    Post([&] { labels.push_back(Label(Unlock().sLabelFX3)); });  // as the dialog opens
    for (int i = 0; i < 60; ++i) {
        Post(EnforcementTick);
        Post([&] { labels.push_back(Label(Unlock().sLabelFX3)); });
    }
    Post(EnforcementTick);  // the 61st: past the limit
    EnforcementTick();      // opens the dialog and waits in it
    ASSERT_EQ(labels.size(), 61u);
    EXPECT_EQ(labels[0], "60");
    EXPECT_EQ(labels[1], "59");
    EXPECT_EQ(labels[30], "30");
    EXPECT_EQ(labels[60], "0");
    EXPECT_EQ(State().countdown, 61);
    EXPECT_TRUE(State().shutdownLatch);
    EXPECT_TRUE(State().closePermit);
    char computer[16] = {};
    DWORD size = sizeof computer;
    GetComputerNameA(computer, &size);
    EXPECT_EQ(ShutdownRecorder::calls,
              (std::vector<std::string>{"ExitWindowsEx 8",
                                        "InitiateSystemShutdown " + std::string(computer) + " " +
                                            ToAnsi("系统将要关机！") + " 5 1 0"}));
    Pump();
    EXPECT_EQ(State().unlockDialog, nullptr);

    // Latched: nothing more happens, and the caption is frozen.
    State().locked = false;
    PostTicks(3);
    Pump();
    EXPECT_EQ(ShutdownRecorder::calls.size(), 2u);
    EXPECT_EQ(Caption(), ToAnsi("系统已锁定"));
}

TEST_F(TickTest, RightPasswordLiftsTheLockAndTheOpeningTickCountsOne) {
    State().password = "s3cret";
    PostTicks(10);
    Post([] { TypeAndConfirm("s3cret"); });
    EnforcementTick();
    EXPECT_FALSE(State().locked);
    EXPECT_EQ(State().countdown, 1);
    Pump();
    EXPECT_EQ(State().unlockDialog, nullptr);
    EnforcementTick();
    EXPECT_EQ(Caption(), ToAnsi("系统已解锁"));
    EXPECT_TRUE(ShutdownRecorder::calls.empty());
}

TEST_F(TickTest, PasswordIsComparedExactlyAsTyped) {
    struct Case { const char* stored; const char* typed; bool accepted; };
    const Case cases[] = {
        {" pw", " pw", true}, {" pw", "pw", false}, {"pw ", "pw", false},
        {"", "", true},       {"Pw", "pw", false},  {"pw", "pw ", false},
    };
    for (const Case& c : cases) {
        State().locked = true;
        State().countdown = 0;
        State().password = c.stored;
        Post([&] { TypeAndConfirm(c.typed); });
        if (!c.accepted) Post([] { Unlock().Close(); });
        EnforcementTick();
        EXPECT_EQ(!State().locked, c.accepted) << "'" << c.stored << "' typed '" << c.typed << "'";
        Pump();
    }
}

TEST_F(TickTest, WrongPasswordAtThirtySecondsLeftKeepsCounting) {
    State().password = "right";
    PostTicks(30);
    std::string error, left, later;
    Post([&] {
        TypeAndConfirm("wrong");
        error = Label(Unlock().sLabelFX2);
        left = Label(Unlock().sLabelFX3);
    });
    Post(EnforcementTick);
    Post([&] { later = Label(Unlock().sLabelFX3); });
    Post([] { TypeAndConfirm("right"); });
    EnforcementTick();
    EXPECT_EQ(error, ToAnsi("密码错误！"));
    EXPECT_EQ(left, "30");
    EXPECT_EQ(later, "29");
}

TEST_F(TickTest, EnterInTheEntryConfirmsLikeTheButton) {
    State().password = "pw";
    Post([] {
        Type(Unlock().sEdit1, "pw");
        PostMessageA(Unlock().sEdit1, WM_KEYDOWN, VK_RETURN, 1);
    });
    EnforcementTick();
    EXPECT_FALSE(State().locked);
}

TEST_F(TickTest, CloseBoxAtTwentyThenAFreshDialogCountsOn) {
    PostTicks(20);
    Post([] { PostMessageA(Unlock().Handle(), WM_CLOSE, 0, 0); });
    EnforcementTick();
    EXPECT_EQ(State().countdown, 21);  // the resumed opening tick counted
    EXPECT_TRUE(State().locked);
    Pump();  // the closed dialog goes
    ASSERT_EQ(State().unlockDialog, nullptr);

    std::string opened, next;
    Post([&] { opened = Label(Unlock().sLabelFX3); });
    Post(EnforcementTick);
    Post([&] { next = Label(Unlock().sLabelFX3); });
    Post([] { Unlock().Close(); });
    EnforcementTick();
    EXPECT_EQ(opened, "60");
    EXPECT_EQ(next, "38");
    EXPECT_EQ(State().countdown, 23);
}

TEST_F(TickTest, SnapshotMovedIntoTheWindowClosesTheDialog) {
    PostTicks(5);
    Post([] { State().trustedTime = Hours(12); });
    Post(EnforcementTick);
    EnforcementTick();
    EXPECT_EQ(State().countdown, 1);  // reset by the inside tick, then the opening tick's own count
    Pump();
    EXPECT_EQ(State().unlockDialog, nullptr);
    EnforcementTick();
    EXPECT_EQ(State().countdown, 0);
    EXPECT_TRUE(State().locked);
}

struct RefusalRow {
    const char* name;
    DWORD error;
    std::string message;
};
// The system's text for code 5 varies with the language; its start does not.
const RefusalRow kRefusals[] = {{"AccessDenied", 5, "System Error.  Code: 5.\r\n"},
                                {"NoErrorCode", 0, "A call to an OS function failed."}};

class RefusedPowerOff : public TickTest, public ::testing::WithParamInterface<RefusalRow> {};

TEST_P(RefusedPowerOff, IsReportedAndNothingElseIsAsked) {
    const RefusalRow& row = GetParam();
    State().countdown = 60;
    ShutdownRecorder::exitResult = FALSE;
    ShutdownRecorder::exitError = row.error;
    WhenMessageBox report;
    PostAsHandler(EnforcementTick);  // through a window procedure, as the timer's tick arrives
    EnforcementTick();
    Pump();
    const std::string text = report.Text();
    EXPECT_EQ(text.substr(0, row.message.size()), row.message);
    EXPECT_EQ(text.back(), '.');
    EXPECT_EQ(ShutdownRecorder::calls, std::vector<std::string>{"ExitWindowsEx 8"});
    EXPECT_TRUE(State().shutdownLatch);
    EXPECT_EQ(Caption(), ToAnsi("系统已锁定"));
}

INSTANTIATE_TEST_SUITE_P(Refusals, RefusedPowerOff, ::testing::ValuesIn(kRefusals), RowName);

// A tick that moves the snapshot inside the window closes the unlock dialog
// while a command's dialog is open too: over it (opened from the tray) or
// under it. The ticks and the caption go on, the command's dialog still
// answers, and the unlock dialog goes once, after its own loop has ended.
class NestedDialogTest : public TickTest, public ::testing::WithParamInterface<bool> {};

TEST_P(NestedDialogTest, UnlockDialogClosedByATickGoesAndEverythingRunsOn) {
    const bool commandOver = GetParam();
    State().password = "pw";
    Timer ticks(20, true, EnforcementTick);  // the enforcement timer, faster
    HWND unlockWindow = nullptr;
    WhenModal<Tf3_psw> unlock("管理员解锁", [&](Tf3_psw& dialog) {
        unlockWindow = dialog.Handle();
        if (commandOver) main_->N7Click();  // from the tray: runs until its dialog is answered
    });
    const auto open = [](const auto* dialog) { return dialog && dialog->InModalLoop(); };
    WhenTrue moveInside("both dialogs up", [&] { return open(FindForm<TF2_psw>()) && open(State().unlockDialog); },
                        [] { State().trustedTime = Hours(12); });
    WhenTrue unlockAfterwards("the unlock dialog hidden", [&] { return unlockWindow && !IsWindowVisible(unlockWindow); },
                              [] { State().locked = false; });
    WhenTrue answer("the ticks going on", [&] { return Caption() == ToAnsi("系统已解锁") && open(FindForm<TF2_psw>()); },
                    [] { TypePasswordChange<TF2_psw>(FindForm<TF2_psw>()->Handle(), "pw", "n3w", "n3w"); });
    if (!commandOver) main_->N7Click();  // the first tick comes inside its loop
    EXPECT_TRUE(WaitUntil([&] { return State().password == "n3w" && !State().unlockDialog; }));
    EXPECT_FALSE(IsWindow(unlockWindow)) << "released";
}

INSTANTIATE_TEST_SUITE_P(CommandOverOrUnder, NestedDialogTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "CommandOver" : "CommandUnder"; });

// What the screen shows at the middle of the control is the control itself.
bool InFront(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    return WindowFromPoint({(r.left + r.right) / 2, (r.top + r.bottom) / 2}) == control;
}

// The tray's commands open their dialogs at the same corner as the unlock
// dialog, which is topmost: the newer dialog must be the one in front.
struct OverUnlockRow {
    const char* name;
    void (TMainForm::*command)();
    const char* caption;
    int entry, button;
};
const OverUnlockRow kOverUnlock[] = {
    {"Exit", &TMainForm::N8Click, "管理员密码", Tf1_psw::kEdit1, Tf1_psw::kBitBtn1},
    {"ChangePassword", &TMainForm::N7Click, "管理员密码修改", TF2_psw::kEdit1, TF2_psw::kBitBtn1},
};

class CommandOverUnlock : public TickTest, public ::testing::WithParamInterface<OverUnlockRow> {};

TEST_P(CommandOverUnlock, ItsDialogIsInFrontUntilItEnds) {
    const OverUnlockRow& row = GetParam();
    WhenModal<Form> command(row.caption, [&](Form& dialog) {
        for (int id : {row.entry, row.button}) EXPECT_TRUE(InFront(GetDlgItem(dialog.Handle(), id))) << id;
        dialog.Close();
    });
    WhenModal<Tf3_psw> unlock("管理员解锁", [&](Tf3_psw& dialog) {
        (main_->*row.command)();
        EXPECT_TRUE(GetWindowLongA(dialog.Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
        EXPECT_TRUE(InFront(dialog.sEdit1)) << "in front again";
        dialog.Close();
    });
    WithinBound("the unlock dialog with a command's dialog over it", EnforcementTick);
}

INSTANTIATE_TEST_SUITE_P(FromTheTray, CommandOverUnlock, ::testing::ValuesIn(kOverUnlock), RowName);

// The standard error report is a box of the system's, not a form of ours:
// it too comes in front of the unlock dialog.
TEST_F(TickTest, AnErrorToldWhileTheUnlockDialogIsOpenIsInFrontOfIt) {
    WhenMessageBox report;
    WhenModal<Tf3_psw> unlock("管理员解锁", [&](Tf3_psw& dialog) {
        PostAsHandler([] { throw Error("told"); });
        EXPECT_TRUE(WaitUntil([&] { return report.Done(); })) << "no report";
        dialog.Close();
    });
    WithinBound("the unlock dialog with the report over it", EnforcementTick);
    EXPECT_EQ(report.Text(), "told.");
    EXPECT_TRUE(report.Topmost());
}

// A refused timer leaves the program without enforcement: that must be told.
TEST_F(TickTest, RefusedEnforcementTimerIsReportedOnceAndTheNextRestartTriesAgain) {
    State().locked = false;  // the timer that comes in the end ticks harmlessly
    TimerRequests requests;
    TimerRequests::fail = true;
    {
        WhenMessageBox report;
        RestartEnforcement();
        State().enforcementWorker->WaitFor();  // the timer is asked for meanwhile
        WithinBound("the report, and no second one", Pump);
        EXPECT_EQ(report.Text(), "Not enough timers available.");
    }
    TimerRequests::fail = false;
    RestartEnforcement();
    State().enforcementWorker->WaitFor();
    WithinBound("the messages after a granted timer, with no report", Pump);
    EXPECT_EQ(requests.intervals, (std::vector<UINT>{1000, 1000}));
}

}  // namespace
}  // namespace pwg::test
