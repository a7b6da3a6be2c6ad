// The main window: its start-up and exit sequences, the end-of-session
// query, and the administrator's commands, under real windows and the real
// registry of the test prefix.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/LocalClock.h"
#include "app/Settings.h"
#include "app/Unit1.h"
#include "app/framework/Application.h"
#include "app/framework/Timer.h"
#include "common/Ansi.h"
#include "core/Scramble.h"
#include "core/U0_func.h"
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

constexpr char kPrompt[] = "管理员密码";
constexpr char kChange[] = "管理员密码修改";
constexpr char kUnlock[] = "管理员解锁";

class MainFormTest : public AppFixture {
protected:
    // Start-up with a failure reports it in a message box: answer it and keep the text.
    std::string CreateMainFormExpectingMessage() {
        WhenMessageBox box;
        CreateMainForm();
        return box.Text();
    }
    void Exit() {
        State().closePermit = true;
        main_->Close();
        Pump();
    }
};

TEST_F(MainFormTest, FirstStartLoadsTheDefaultsAndWritesOnlyTheRunEntry) {
    CreateMainForm();
    const AppState& state = State();
    EXPECT_EQ(state.password, "739105");
    EXPECT_DOUBLE_EQ(state.windowStart, 8.0 / 24);
    EXPECT_DOUBLE_EQ(state.windowEnd, 21.5 / 24);
    EXPECT_FALSE(state.locked);
    EXPECT_EQ(StoredSetting("BEGTIME"), kAbsent);
    EXPECT_EQ(PickerTime(main_->Start_Time), 8.0 / 24);
    EXPECT_EQ(PickerTime(main_->End_Time), 21.5 / 24);
    SYSTEMTIME picked{};
    SendMessageA(main_->Start_Time, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&picked));
    EXPECT_EQ(DateOf(picked), LocalDate());
    EXPECT_EQ(main_->GetWindowState(), WindowState::Minimized);
    EXPECT_FALSE(main_->Visible());
    // Bottom-right of the work area.
    RECT r, area = WorkArea();
    GetWindowRect(main_->Handle(), &r);
    EXPECT_EQ(r.left, (area.right - area.left) - (r.right - r.left));
    EXPECT_EQ(r.top, (area.bottom - area.top) - (r.bottom - r.top));
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    EXPECT_EQ(AutoStartEntry(), path);
}

// The lock as the last run left it: a restart, a sign-out or the power-off
// does not lift it, and a new installation starts unlocked.
struct StoredLockRow {
    const char* name;
    const char* stored;  // nullptr: absent
    bool locked;
    const char* message;  // of a start-up that fails; "" when it does not
};
const StoredLockRow kStoredLocks[] = {
    {"Absent", nullptr, false, ""},
    {"Unlocked", "0", false, ""},
    {"Locked", "1", true, ""},
    {"Damaged", "yes", false, "'yes' is not a valid lock state"},
};

class StartWithAStoredLock : public MainFormTest, public ::testing::WithParamInterface<StoredLockRow> {};

TEST_P(StartWithAStoredLock, ComesBackAsItWasLeft) {
    const StoredLockRow& row = GetParam();
    if (row.stored) StoreSetting("LOCKED", row.stored);
    if (*row.message)
        EXPECT_EQ(CreateMainFormExpectingMessage(), row.message);
    else
        CreateMainForm();
    EXPECT_EQ(State().locked, row.locked);
}

INSTANTIATE_TEST_SUITE_P(Lock, StartWithAStoredLock, ::testing::ValuesIn(kStoredLocks), RowName);

TEST_F(MainFormTest, ARestoredLockOpensTheUnlockDialogAtTheFirstTick) {
    StoreSetting("BEGTIME", "23:00:00");  // no inside: always outside
    StoreSetting("ENDTIME", "11:00:00");
    StoreSetting("LOCKED", "1");
    CreateMainForm();
    std::string secondsLeft;
    WhenModal<Tf3_psw> unlock(kUnlock, [&](Tf3_psw& dialog) {
        EnforcementTick();  // the next tick counts down
        secondsLeft = Text(dialog.sLabelFX3).value_or("");
        dialog.Close();
    });
    WithinBound("the first tick", EnforcementTick);
    EXPECT_EQ(secondsLeft, "59");
    EXPECT_EQ(main_->Caption(), ToAnsi("系统已锁定"));
}

TEST_F(MainFormTest, StartUpStartsTheEnforcementTimer) {
    TimerRequests requests;
    main_ = new TMainForm();
    Application::Instance().SetMainForm(main_);
    ASSERT_NE(State().enforcementWorker, nullptr);
    // The trusted clock's two at once; the enforcement's once its worker runs.
    EXPECT_TRUE(WaitUntil([&] { return requests.intervals.size() == 3; }));
    EXPECT_EQ(requests.intervals, (std::vector<UINT>{30000, 60000, 1000}));
    EXPECT_TRUE(WaitUntil([&] { return main_->Caption() == ToAnsi("系统已解锁"); }, 3000));
}

TEST_F(MainFormTest, DamagedPasswordStopsStartUpWithEverythingAfterItUnloaded) {
    StoreSetting("PSW", "00G1");
    StoreSetting("ENDTIME", "20:00:00");
    EXPECT_EQ(CreateMainFormExpectingMessage(), "'$G1' is not a valid integer value");
    const AppState& state = State();
    EXPECT_EQ(state.password, "");
    EXPECT_EQ(state.windowEnd, 0.0);
    EXPECT_EQ(state.enforcementWorker, nullptr);
    EXPECT_EQ(main_->GetWindowState(), WindowState::Normal);
    RECT r;
    GetWindowRect(main_->Handle(), &r);
    EXPECT_EQ(r.left, TMainForm::kDesignLeft);
    EXPECT_EQ(r.top, TMainForm::kDesignTop);

    // Leaving writes only what was loaded: the damaged password and the
    // unread times stay as stored.
    Exit();
    EXPECT_EQ(StoredSetting("PSW"), "00G1");
    EXPECT_EQ(StoredSetting("ENDTIME"), "20:00:00");
    EXPECT_EQ(StoredSetting("BEGTIME"), kAbsent);
}

TEST_F(MainFormTest, BeginTimeOfTheWrongTypeKeepsThePasswordAndLeavesTheEndAlone) {
    StoreDwordSetting("BEGTIME", 8);
    StoreSetting("ENDTIME", "20:00:00");
    EXPECT_EQ(CreateMainFormExpectingMessage(), "Invalid data type for 'BEGTIME'");
    EXPECT_EQ(State().password, "739105");
    EXPECT_EQ(State().enforcementWorker, nullptr);
    Exit();
    EXPECT_EQ(StoredSetting("ENDTIME"), "20:00:00") << "a damaged start must not wipe a valid end";
    EXPECT_EQ(StoredRaw(HKEY_CURRENT_CONFIG, "ASTD", "BEGTIME"),
              std::pair(DWORD{REG_DWORD}, std::string("\x08\0\0\0", 4)));
    EXPECT_EQ(StoredPassword(), "739105");
}

TEST_F(MainFormTest, ExitSavesTheValuesInForceNotWhatThePickersShow) {
    StoreSetting("BEGTIME", "7:00:00");
    CreateMainForm();
    ASSERT_DOUBLE_EQ(State().windowStart, 7.0 / 24) << "as stored";
    SetPickerTime(main_->Start_Time, 10.0 / 24);  // edited, never confirmed
    State().password = "p w";
    Exit();
    EXPECT_TRUE(WaitUntil([] { return Application::Instance().Terminated(); }, 1000));
    EXPECT_EQ(StoredSetting("BEGTIME"), TimeToText(7.0 / 24));
    EXPECT_EQ(StoredSetting("ENDTIME"), TimeToText(21.5 / 24));
    EXPECT_EQ(StoredPassword(), "p w");
}

TEST_F(MainFormTest, LeavingWritesStartEndAndPasswordInThatOrder) {
    CreateMainForm();
    std::vector<std::string> names;
    for (const SettingRecord& r : settings::ToSave()) names.push_back(r.name);
    // The last network time only once the network has told.
    EXPECT_EQ(names, (std::vector<std::string>{"BEGTIME", "ENDTIME", "PSW", "TIMEZONE", "LOCKED"}));
    // Not loaded, not written.
    State().windowStart.known = false;
    State().networkTime = 1800000000;
    names.clear();
    for (const SettingRecord& r : settings::ToSave()) names.push_back(r.name);
    EXPECT_EQ(names, (std::vector<std::string>{"ENDTIME", "PSW", "TIMEZONE", "NETTIME", "LOCKED"}));
}

TEST_F(MainFormTest, EndOfSessionClosesAndSaves) {
    CreateMainForm();
    EXPECT_EQ(SendMessageA(main_->Handle(), WM_QUERYENDSESSION, 0, 0), 1);
    EXPECT_TRUE(State().closePermit);
    Pump();
    EXPECT_TRUE(Application::Instance().Terminated());
    EXPECT_EQ(StoredSetting("BEGTIME"), TimeToText(8.0 / 24));
    EXPECT_EQ(StoredSetting("ENDTIME"), TimeToText(21.5 / 24));
    EXPECT_EQ(StoredPassword(), "739105");
}

TEST_F(MainFormTest, EveryEndOfTheSessionClosesThroughTheExitSequenceOnce) {
    CreateMainForm();
    HWND app = Application::Instance().Handle();
    EXPECT_EQ(SendMessageA(app, WM_ENDSESSION, FALSE, 0), 0);
    Pump();
    EXPECT_FALSE(State().closePermit) << "the end of the session was called off";
    EXPECT_FALSE(Application::Instance().Terminated());

    // Unasked, and posted rather than sent.
    PostMessageA(app, WM_ENDSESSION, TRUE, 0);
    Pump();
    EXPECT_TRUE(State().closePermit);
    EXPECT_TRUE(Application::Instance().Terminated());
    EXPECT_EQ(StoredPassword(), "739105");
    EXPECT_EQ(StoredSetting("ENDTIME"), TimeToText(21.5 / 24));

    // The end after the query: the exit sequence has run and does not run again.
    ClearStoredSettings();
    SendMessageA(app, WM_ENDSESSION, TRUE, 0);
    SendMessageA(main_->Handle(), WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(StoredSetting("PSW"), kAbsent);
}

TEST_F(MainFormTest, AQuitThatTheProgramDidNotAskForIsOnlyACloseRequest) {
    CreateMainForm();
    main_->TrayIcon1->RestoreFromTray();
    PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 0, 0);
    Pump();
    EXPECT_FALSE(Application::Instance().Terminated());
    EXPECT_FALSE(main_->Visible()) << "to the tray, as the close box sends it";
    EXPECT_STREQ(main_->TrayIcon1->IconData().szInfo, ToAnsi("我在这里.\r有事双击我.").c_str());
    EXPECT_EQ(StoredSetting("PSW"), kAbsent);

    // With the close permit it closes, saving.
    State().closePermit = true;
    PostMessageA(main_->Handle(), WM_QUIT, 0, 0);
    Pump();
    EXPECT_TRUE(Application::Instance().Terminated());
    EXPECT_EQ(StoredPassword(), "739105");
}

// Answers the command's dialog from inside its modal loop: OK with the
// password in force ("n3w" the new one), or the close box.
enum class Answer { None, Ok, Cancel };
using Watching = std::unique_ptr<Watch>;

template <class Dialog>
Watching Answering(const char* caption, Answer answer, void (*ok)(HWND)) {
    return std::make_unique<WhenModal<Dialog>>(caption, [answer, ok](Dialog& dialog) {
        if (answer == Answer::Cancel)
            PostMessageA(dialog.Handle(), WM_CLOSE, 0, 0);
        else
            ok(dialog.Handle());
    });
}

Watching AnswerPrompt(Answer answer) {
    return Answering<Tf1_psw>(kPrompt, answer,
                              [](HWND prompt) { TypePassword<Tf1_psw>(prompt, State().password.value); });
}

Watching AnswerChange(Answer answer) {
    return Answering<TF2_psw>(kChange, answer, [](HWND change) {
        TypePasswordChange<TF2_psw>(change, State().password.value, "n3w", "n3w");
    });
}

enum class Where { Same, ToTray, Shown };
struct CommandRow {
    const char* name;
    void (TMainForm::*command)();
    Watching (*answer)(Answer);
    Answer reply;
    bool lockedBefore, lockedAfter;
    int countdownAfter;  // before: 5
    Where window;
    bool notice;
    const char* storedLock;  // at once, before anything leaves
};
const CommandRow kCommands[] = {
    {"ConfirmOk", &TMainForm::sBitBtn1Click, AnswerPrompt, Answer::Ok, false, true, 0, Where::ToTray, false, "1"},
    {"ConfirmCancel", &TMainForm::sBitBtn1Click, AnswerPrompt, Answer::Cancel, false, false, 5, Where::Same, false,
     kAbsent},
    {"UnlockOk", &TMainForm::N3Click, AnswerPrompt, Answer::Ok, true, false, 0, Where::Same, false, "0"},
    {"UnlockCancel", &TMainForm::N3Click, AnswerPrompt, Answer::Cancel, true, true, 5, Where::Same, false, kAbsent},
    {"RelockOk", &TMainForm::N4Click, AnswerPrompt, Answer::Ok, false, true, 0, Where::ToTray, false, "1"},
    {"RelockCancel", &TMainForm::N4Click, AnswerPrompt, Answer::Cancel, false, false, 5, Where::Same, false, kAbsent},
    {"PasswordOk", &TMainForm::N2Click, AnswerChange, Answer::Ok, true, true, 5, Where::ToTray, true, kAbsent},
    {"PasswordCancel", &TMainForm::N2Click, AnswerChange, Answer::Cancel, true, true, 5, Where::Same, false, kAbsent},
    {"TrayPasswordOk", &TMainForm::N7Click, AnswerChange, Answer::Ok, true, true, 5, Where::ToTray, true, kAbsent},
    {"TrayPasswordCancel", &TMainForm::N7Click, AnswerChange, Answer::Cancel, true, true, 5, Where::Same, true,
     kAbsent},
    {"ExitCancel", &TMainForm::N8Click, AnswerPrompt, Answer::Cancel, true, true, 5, Where::Same, false, kAbsent},
    {"Show", &TMainForm::N6Click, nullptr, Answer::None, true, true, 5, Where::Shown, false, kAbsent},
};

class MainFormCommand : public MainFormTest, public ::testing::WithParamInterface<CommandRow> {};

TEST_P(MainFormCommand, LeavesTheLockTheCountdownTheWindowAndTheNoticeAsTheTableSays) {
    const CommandRow& row = GetParam();
    CreateMainForm();
    main_->TrayIcon1->RestoreFromTray();
    if (row.window == Where::Shown) main_->TrayIcon1->SendToTray();
    State().locked = row.lockedBefore;
    State().countdown = 5;
    const Watching answering = row.answer ? row.answer(row.reply) : nullptr;
    (main_->*row.command)();
    StopEnforcement();  // confirming restarts it; this test ticks nothing
    Pump();
    EXPECT_EQ(State().locked, row.lockedAfter);
    EXPECT_EQ(State().countdown, row.countdownAfter);
    EXPECT_EQ(main_->Visible(), row.window != Where::ToTray);
    EXPECT_EQ(std::string(main_->TrayIcon1->IconData().szInfoTitle), row.notice ? ToAnsi("提示") : "");
    EXPECT_FALSE(Application::Instance().Terminated());
    EXPECT_EQ(StoredSetting("LOCKED"), row.storedLock);
    // The lock is judged in the zone it was set in, whatever zone a user sets later.
    if (row.storedLock != std::string(kAbsent)) {
        EXPECT_EQ(StoredSetting("TIMEZONE"), TimeZoneName());
    }
}

INSTANTIATE_TEST_SUITE_P(Commands, MainFormCommand, ::testing::ValuesIn(kCommands), RowName);

// Another instance, or the administrator's tools, may store a value while
// this one runs: leaving writes a value only where the store still holds the
// text this instance read or last wrote, or nothing.
void ConfirmTen(TMainForm& main) {
    SetPickerTime(main.Start_Time, 10.0 / 24);
    const Watching answering = AnswerPrompt(Answer::Ok);
    main.sBitBtn1Click();
    StopEnforcement();
}

void ChangeHere(TMainForm& main) {
    const Watching answering = AnswerChange(Answer::Ok);
    main.N2Click();
}

struct MeanwhileRow {
    const char* name;
    void (*meanwhile)(TMainForm&);
    const char* setting;
    std::string expected;  // the password unscrambled
};

// Built when the tests are registered, after the time format is known.
std::vector<MeanwhileRow> MeanwhileRows() {
    return {
        {"PasswordSetInForceItsWriteFailed", [](TMainForm&) { State().password = "mine"; }, "PSW", "mine"},
        {"PasswordStoredByAnother", [](TMainForm&) { StoreSetting("PSW", Scramble("theirs", kPasswordKey)); }, "PSW",
         "theirs"},
        {"PasswordChangedHereThenByAnother",
         [](TMainForm& main) {
             ChangeHere(main);
             StoreSetting("PSW", Scramble("theirs", kPasswordKey));
         },
         "PSW", "theirs"},
        {"PasswordChangedHereTwiceTheSecondWriteFailed",
         [](TMainForm& main) {
             ChangeHere(main);
             State().password = "mine";
         },
         "PSW", "mine"},
        {"StartDeleted", [](TMainForm&) { RemoveSetting("BEGTIME"); }, "BEGTIME", TimeToText(7.0 / 24)},
        {"StartConfirmedHereThenStoredByAnother",
         [](TMainForm& main) {
             ConfirmTen(main);
             StoreSetting("BEGTIME", "11:00:00");
         },
         "BEGTIME", "11:00:00"},
        {"StartStoredByAnotherThenConfirmedHere",
         [](TMainForm& main) {
             StoreSetting("BEGTIME", "11:00:00");
             ConfirmTen(main);
         },
         "BEGTIME", TimeToText(10.0 / 24)},
        // No setting at all, not another's change: the value in force goes over it.
        {"EndStoredAsANumber", [](TMainForm&) { StoreDwordSetting("ENDTIME", 5); }, "ENDTIME", TimeToText(20.0 / 24)},
    };
}

class LeavingMeanwhile : public MainFormTest, public ::testing::WithParamInterface<MeanwhileRow> {};

TEST_P(LeavingMeanwhile, NeverUndoesAChangeStoredMeanwhile) {
    const MeanwhileRow& row = GetParam();
    StoreSetting("BEGTIME", "07:00:00");
    StoreSetting("ENDTIME", "20:00:00");
    StoreSetting("PSW", Scramble("739105", kPasswordKey));
    CreateMainForm();
    row.meanwhile(*main_);
    Exit();
    ASSERT_TRUE(Application::Instance().Terminated());
    EXPECT_EQ(row.setting == std::string("PSW") ? StoredPassword() : StoredSetting(row.setting), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Values, LeavingMeanwhile, ::testing::ValuesIn(MeanwhileRows()), RowName);

TEST_F(MainFormTest, ExitWithThePasswordEndsTheProgram) {
    CreateMainForm();
    const Watching answering = AnswerPrompt(Answer::Ok);
    main_->N8Click();
    Pump();
    EXPECT_TRUE(State().closePermit);
    EXPECT_TRUE(Application::Instance().Terminated());
    EXPECT_EQ(StoredSetting("ENDTIME"), TimeToText(21.5 / 24));
}

HRESULT WINAPI NoTaskScheduler(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* object) {
    *object = nullptr;
    return E_ACCESSDENIED;
}

// With User Account Control on and the Task Scheduler out of reach, the
// start-up tells it once and runs on,
// and the lock, the countdown, the power-off and the end of the session it
// brings go as ever.
TEST_F(MainFormTest, ALogOnTaskThatCannotBeRegisteredStandsInNobodysWay) {
    const UacPolicy uac(true);
    const StandIn<&OsCalls::coCreateInstance> noScheduler(NoTaskScheduler);
    {
        WhenMessageBox report;
        main_ = new TMainForm();
        Application::Instance().SetMainForm(main_);
        EXPECT_NE(State().enforcementWorker, nullptr) << "no enforcement";
        StopEnforcement();  // the test drives the ticks
        EXPECT_EQ(main_->GetWindowState(), WindowState::Minimized) << "the start-up stopped short";
        Pump();
        EXPECT_EQ(report.Text().rfind("System Error.  Code: 5.\r\n", 0), 0u) << report.Text();
    }
    {
        const Watching answering = AnswerPrompt(Answer::Ok);
        main_->N4Click();  // relock
    }
    State().trustedTime = 22.0 / 24;  // after the default window's end
    for (int i = 0; i < 61; ++i) Post(EnforcementTick);
    EnforcementTick();
    ASSERT_FALSE(ShutdownRecorder::calls.empty());
    EXPECT_EQ(ShutdownRecorder::calls.front(), "ExitWindowsEx 8");

    ClearStoredSettings();
    EXPECT_EQ(SendMessageA(main_->Handle(), WM_QUERYENDSESSION, 0, 0), 1);
    EXPECT_TRUE(Application::Instance().Terminated());
    EXPECT_EQ(StoredSetting("ENDTIME"), TimeToText(21.5 / 24));
    EXPECT_EQ(StoredPassword(), "739105");
}

// Windows refused the enforcement its timer, and the report said so: the
// administrator's relock asks for one again.
TEST_F(MainFormTest, ARelockAfterARefusedEnforcementTimerAsksForItAgain) {
    CreateMainForm();
    TimerRequests requests;
    TimerRequests::fail = true;
    {
        WhenMessageBox report;
        RestartEnforcement();
        State().enforcementWorker->WaitFor();
        Pump();
    }
    ASSERT_TRUE(EnforcementRefused());
    TimerRequests::fail = false;
    {
        const Watching answering = AnswerPrompt(Answer::Ok);
        main_->N4Click();
    }
    State().enforcementWorker->WaitFor();
    EXPECT_FALSE(EnforcementRefused());
    EXPECT_EQ(requests.intervals, (std::vector<UINT>{1000, 1000}));
    StopEnforcement();
}

TEST_F(MainFormTest, ExitWithAWrongPasswordKeepsThePromptOpen) {
    CreateMainForm();
    std::string error;
    WhenModal<Tf1_psw> answering(kPrompt, [&](Tf1_psw& prompt) {
        TypePassword<Tf1_psw>(prompt.Handle(), "nope");
        error = Text(prompt.sLabelFX2).value_or("");
        PostMessageA(prompt.Handle(), WM_CLOSE, 0, 0);
    });
    main_->N8Click();
    Pump();
    EXPECT_EQ(error, ToAnsi("密码错误！"));
    EXPECT_FALSE(State().closePermit);
    EXPECT_FALSE(Application::Instance().Terminated());
}

TEST_F(MainFormTest, CancelledConfirmPutsTheStoredTimesBack) {
    StoreSetting("BEGTIME", "9:00:00");
    CreateMainForm();
    SetPickerTime(main_->Start_Time, 11.0 / 24);
    SetPickerTime(main_->End_Time, 12.0 / 24);
    const Watching answering = AnswerPrompt(Answer::Cancel);
    main_->sBitBtn1Click();
    EXPECT_DOUBLE_EQ(PickerTime(main_->Start_Time), 9.0 / 24);
    EXPECT_DOUBLE_EQ(PickerTime(main_->End_Time), 21.5 / 24);
}

TEST_F(MainFormTest, ConfirmingAWindowThatExcludesNowLocksAtOnce) {
    CreateMainForm();
    const double now = LocalTimeOfDay();
    // A one-minute window twelve hours away.
    const double start = now + (now < 0.5 ? 0.5 : -0.5);
    SetPickerTime(main_->Start_Time, start);
    SetPickerTime(main_->End_Time, start + 1.0 / 1440);
    {
        const Watching answering = AnswerPrompt(Answer::Ok);
        main_->sBitBtn1Click();
    }
    EXPECT_TRUE(State().locked);
    EXPECT_EQ(StoredSetting("BEGTIME"), TimeToText(PickerTime(main_->Start_Time)));
    EXPECT_DOUBLE_EQ(State().windowStart, PickerTime(main_->Start_Time));
    // The restarted enforcement opens the unlock dialog at its first tick.
    bool opened = false;
    WhenModal<Tf3_psw> unlock(kUnlock, [&](Tf3_psw& dialog) {
        opened = true;
        State().locked = false;
        dialog.Close();
    });
    EXPECT_TRUE(WaitUntil([&] { return opened; }, 3000));
    StopEnforcement();
}

class MainFormToTray : public MainFormTest, public ::testing::WithParamInterface<UINT> {};

TEST_P(MainFormToTray, GoesToTheTrayWithANotice) {
    CreateMainForm();
    main_->TrayIcon1->RestoreFromTray();
    ASSERT_TRUE(main_->Visible());
    if (GetParam() == WM_CLOSE)
        SendMessageA(main_->Handle(), WM_CLOSE, 0, 0);
    else
        SendMessageA(main_->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    Pump();
    EXPECT_FALSE(IsWindowVisible(main_->Handle()));
    EXPECT_STREQ(main_->TrayIcon1->IconData().szInfo, ToAnsi("我在这里.\r有事双击我.").c_str());
    EXPECT_EQ(main_->TrayIcon1->IconData().uTimeout, 10000u);
    EXPECT_FALSE(Application::Instance().Terminated());
}

INSTANTIATE_TEST_SUITE_P(CloseBoxAndMinimise, MainFormToTray, ::testing::Values(UINT(WM_CLOSE), UINT(WM_SYSCOMMAND)),
                         [](const auto& info) { return info.param == WM_CLOSE ? "CloseBox" : "Minimise"; });

TEST_F(MainFormTest, BlankNewPasswordBecomesTheEmptyPasswordAndReadsBackEmpty) {
    CreateMainForm();
    WhenModal<TF2_psw> answering(kChange, [](TF2_psw& change) {
        // Blanks around the old one are forgiven.
        TypePasswordChange<TF2_psw>(change.Handle(), "  739105 ", "   ", "   ");
    });
    main_->N2Click();
    EXPECT_EQ(State().password, "");
    EXPECT_EQ(StoredSetting("PSW").size(), 2u) << "the seed pair alone";
    settings::Load();
    EXPECT_EQ(State().password, "") << "read back";
}

TEST_F(MainFormTest, NewPasswordConfirmedWithATrailingBlankIsRefusedSilently) {
    CreateMainForm();
    bool stillOpen = false;
    WhenModal<TF2_psw> answering(kChange, [&](TF2_psw& change) {
        TypePasswordChange<TF2_psw>(change.Handle(), "739105", "ab", "ab ");
        stillOpen = IsWindowVisible(change.Handle());
        PostMessageA(change.Handle(), WM_CLOSE, 0, 0);
    });
    main_->N2Click();
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(State().password, "739105");
    EXPECT_EQ(StoredSetting("PSW"), kAbsent);
}

TEST_F(MainFormTest, WrongOldPasswordIsToldInAMessageBox) {
    CreateMainForm();
    std::string told;
    WhenModal<TF2_psw> answering(kChange, [&](TF2_psw& change) {
        Type(change.sEdit1, "000000");
        WhenMessageBox box;
        Press(change.sBitBtn1);
        told = box.Text();
        PostMessageA(change.Handle(), WM_CLOSE, 0, 0);
    });
    main_->N2Click();
    EXPECT_EQ(told, ToAnsi("原密码错误,请重新输入"));
}

TEST_F(MainFormTest, ALockStartingWhileACommandWaitsOpensTheUnlockDialogOverIt) {
    CreateMainForm();
    State().locked = true;
    State().trustedTime = 23.0 / 24;  // outside 8:00-21:30
    bool unlockOpened = false;
    WhenModal<Tf1_psw> prompt(kPrompt, [](Tf1_psw& prompt) {
        EnforcementTick();  // a tick arrives while the prompt waits, and waits in the unlock dialog
        PostMessageA(prompt.Handle(), WM_CLOSE, 0, 0);
    });
    WhenModal<Tf3_psw> unlock(kUnlock, [&](Tf3_psw& dialog) {
        unlockOpened = true;
        dialog.Close();
    });
    main_->N3Click();
    Pump();
    EXPECT_TRUE(unlockOpened);
    EXPECT_TRUE(State().locked);
}

TEST_F(MainFormTest, NewRegionalSettingsChangeTheTimeTextAtTheBroadcast) {
    CreateMainForm();
    char separator[8] = {};
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIME, separator, sizeof separator);
    const std::string before = TimeToText(8.0 / 24);
    SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIME, ".");
    EXPECT_EQ(TimeToText(8.0 / 24), before) << "read once, until Windows says it changed";
    SendMessageA(main_->Handle(), WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("intl"));
    const std::string after = TimeToText(8.0 / 24);
    SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIME, separator);
    SendMessageA(main_->Handle(), WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("intl"));
    EXPECT_NE(after.find('.'), std::string::npos) << after;
    EXPECT_EQ(TimeToText(8.0 / 24), before);
}

}  // namespace
}  // namespace pwg::test
