// The window framework under real windows and messages.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/framework/Application.h"
#include "app/framework/ErrorReport.h"
#include "app/framework/Form.h"
#include "app/framework/ShowMessage.h"
#include "app/framework/Thread.h"
#include "app/framework/Timer.h"
#include "common/Ansi.h"
#include "common/Error.h"
#include "common/OsError.h"
#include "tests/support/AppFixture.h"
#include "tests/support/Controls.h"
#include "tests/support/Table.h"
#include "tests/support/TestForm.h"
#include "tests/support/UiDriver.h"

namespace pwg::test {

// Outside the anonymous namespace, so the compiler cannot know every override
// and call one directly, as it cannot for a worker's Execute.
struct CallsPureInItsConstructor {
    CallsPureInItsConstructor() { Call(this); }
    virtual ~CallsPureInItsConstructor() = default;
    [[gnu::noinline]] static void Call(CallsPureInItsConstructor* self) { self->Pure(); }
    virtual void Pure() = 0;
};
struct Concrete : CallsPureInItsConstructor {
    void Pure() override {}
};

namespace {

class FrameworkTest : public ::testing::Test {
protected:
    void SetUp() override { ResetApplication(); }
    void TearDown() override { Pump(); }
};

TEST(ErrorReportText, FullStopOnlyAfterCharactersThatSortAfterIt) {
    struct Case { const char* in; const char* out; };
    const Case cases[] = {
        {"Disk full", "Disk full."},        {"Done.", "Done."},   {"Really!", "Really!"},
        {"(see above)", "(see above)"},     {"it's'", "it's'"},   {"a, b,", "a, b,"},
        {"Why?", "Why?."},                  {"ratio 1:", "ratio 1:."},
        {"code 7", "code 7."},              {"", ""},
        {"\xC3\xDC\xC2\xEB\xB4\xED\xCE\xF3", "\xC3\xDC\xC2\xEB\xB4\xED\xCE\xF3."},  // 密码错误 in code page 936
    };
    for (const Case& c : cases) EXPECT_EQ(WithFullStop(c.in), c.out) << c.in;
}

TEST(OsErrorText, CodeAndSystemTextOrTheGenericMessage) {
    EXPECT_EQ(OsErrorMessage(0), "A call to an OS function failed");
    const std::string text = OsErrorMessage(ERROR_ACCESS_DENIED);
    const std::string head = "System Error.  Code: 5.\r\n";
    ASSERT_GT(text.size(), head.size());
    EXPECT_EQ(text.substr(0, head.size()), head);
    const char last = text.back();
    EXPECT_TRUE(last != '.' && last != '\n' && last != '\r' && last != ' ') << text;
}

// The caption is kept as it is set, from anywhere, so that setting what it
// already reads costs the window nothing and setting another always shows.
TEST_F(FrameworkTest, TheCaptionIsKeptAsItIsSetFromAnywhere) {
    TestForm form;
    EXPECT_EQ(form.Caption(), "test form");
    form.SetCaption("a");
    EXPECT_EQ(Text(form.Handle()), "a");
    SendMessageA(form.Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("b"));
    EXPECT_EQ(form.Caption(), "b");
    form.SetCaption("a");
    EXPECT_EQ(Text(form.Handle()), "a");
}

TEST_F(FrameworkTest, TimerRestartsOnlyForARealChange) {
    TimerRequests requests;
    Timer timer(5000, true, [] {});
    EXPECT_EQ(requests.intervals.size(), 1u);
    timer.SetEnabled(true);
    timer.SetInterval(5000);
    EXPECT_EQ(requests.intervals.size(), 1u) << "an enabled timer with its own interval is left running";
    timer.SetInterval(6000);
    EXPECT_EQ(requests.intervals.size(), 2u) << "a new interval restarts the period";
    timer.SetEnabled(false);
    timer.SetInterval(7000);
    EXPECT_EQ(requests.intervals.size(), 2u) << "a disabled timer asks for nothing";
    Timer noHandler(1000, true);
    Timer zero(0, true, [] {});
    EXPECT_EQ(requests.intervals, (std::vector<UINT>{5000, 6000}));
}

TEST_F(FrameworkTest, TimerThatWindowsRefusesRaises) {
    TimerRequests requests;
    TimerRequests::fail = true;
    try {
        Timer timer(1000, true, [] {});
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Not enough timers available");
    }
}

TEST_F(FrameworkTest, TimerTicksFromTheMessageLoop) {
    int ticks = 0;
    Timer timer(10, true, [&] { ++ticks; });
    EXPECT_TRUE(WaitUntil([&] { return ticks >= 2; }));
}

TEST_F(FrameworkTest, ModalLoopDisablesExactlyTheVisibleEnabledWindows) {
    TestForm shown, disabled, hidden;
    shown.Show();
    disabled.Show();
    EnableWindow(disabled.Handle(), FALSE);
    TestForm dialog;
    bool shownWasEnabled = true, hiddenWasEnabled = false;
    Post([&] {
        shownWasEnabled = IsWindowEnabled(shown.Handle());
        hiddenWasEnabled = IsWindowEnabled(hidden.Handle());
        dialog.SetModalResult(kModalOk);
    });
    EXPECT_EQ(dialog.ShowModal(), kModalOk);
    EXPECT_FALSE(shownWasEnabled);
    EXPECT_TRUE(hiddenWasEnabled);
    EXPECT_TRUE(IsWindowEnabled(shown.Handle()));
    EXPECT_FALSE(IsWindowEnabled(disabled.Handle())) << "a window disabled before stays disabled";
    EXPECT_FALSE(dialog.Visible());
}

TEST_F(FrameworkTest, ModalLoopEndsWithCancelOnCloseBoxAndAltF4) {
    for (LPARAM how : {0, 1}) {
        TestForm dialog;
        Post([&] {
            if (how == 0)
                PostMessageA(dialog.Handle(), WM_CLOSE, 0, 0);
            else
                PostMessageA(dialog.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
        });
        EXPECT_EQ(dialog.ShowModal(), kModalCancel) << how;
    }
}

TEST_F(FrameworkTest, ModalLoopDispatchesTimersAndPostedMessages) {
    TestForm dialog;
    int ticks = 0;
    Timer timer(10, true, [&] {
        if (++ticks == 3) dialog.SetModalResult(kModalOk);
    });
    EXPECT_EQ(dialog.ShowModal(), kModalOk);
    EXPECT_EQ(ticks, 3);
}

TEST_F(FrameworkTest, OnlyTheProgramsOwnQuitEndsTheLoops) {
    // Without a main window to ask, a quit from anyone else is dropped.
    TestForm dialog;
    Post([] { PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 0, 0); });
    Post([&] { dialog.SetModalResult(kModalOk); });
    EXPECT_EQ(dialog.ShowModal(), kModalOk);
    EXPECT_FALSE(Application::Instance().Terminated());

    Post([] { Application::Instance().Terminate(); });
    EXPECT_EQ(dialog.ShowModal(), kModalCancel);
    EXPECT_TRUE(Application::Instance().Terminated());
    Application::Instance().ResetTerminated();
    Pump();
    EXPECT_FALSE(Application::Instance().Terminated()) << "no quit left over for the next loop";
}

TEST_F(FrameworkTest, ReleaseHidesNowAndDestroysWhenTheRequestIsDispatched) {
    auto* form = new TestForm();
    form->Show();
    const HWND hwnd = form->Handle();
    const int before = TestForm::alive;
    form->Release();
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_EQ(TestForm::alive, before) << "still there for the code that showed it";
    Pump();
    EXPECT_EQ(TestForm::alive, before - 1);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(FrameworkTest, ReleaseDuringItsOwnModalLoopEndsTheLoopFirst) {
    auto* form = new TestForm();
    const int before = TestForm::alive;
    Post([&] { form->Release(); });
    EXPECT_EQ(form->ShowModal(), kModalCancel);
    EXPECT_EQ(TestForm::alive, before) << "the loop has ended but the object is not gone yet";
    Pump();
    EXPECT_EQ(TestForm::alive, before - 1);
}

class SyncWorker : public Thread {
public:
    SyncWorker(StartKey key, std::function<void()> call) : Thread(key), call_(std::move(call)) {}
    std::atomic<bool> returned{false};

protected:
    void Execute() override {
        Synchronize(call_);
        returned = true;
    }

private:
    std::function<void()> call_;
};

TEST_F(FrameworkTest, HandedOverCallRunsOnTheUiThread) {
    DWORD ranOn = 0;
    auto worker = Thread::Start<SyncWorker>([&] { ranOn = GetCurrentThreadId(); });
    EXPECT_TRUE(WaitUntil([&] { return worker->Finished(); }));
    EXPECT_EQ(ranOn, GetCurrentThreadId());
    EXPECT_TRUE(worker->returned);
    EXPECT_EQ(worker->FatalError(), nullptr);
}

TEST_F(FrameworkTest, ErrorInAHandedOverCallEndsTheWorkerSilently) {
    auto worker = Thread::Start<SyncWorker>([] { throw Error("no timer"); });
    worker->WaitFor();  // runs the queued call while it waits
    EXPECT_FALSE(worker->returned);
    ASSERT_NE(worker->FatalError(), nullptr);
    try {
        std::rethrow_exception(worker->FatalError());
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "no timer");
    }
}

// A worker's thread must not run before the worker is built: Execute is
// virtual, and through a half-built object it is the base's empty slot.
// Many starts with the other core busy give a thread every chance to run early.
TEST_F(FrameworkTest, EveryStartedWorkerRunsItsOwnExecute) {
    std::atomic<bool> stop{false};
    std::thread busy([&] {
        while (!stop) {
        }
    });
    constexpr int kWorkers = 2000;
    int handedOver = 0, returned = 0;
    for (int i = 0; i < kWorkers; ++i) {
        auto worker = Thread::Start<SyncWorker>([&] { ++handedOver; });
        worker->WaitFor();
        returned += worker->returned ? 1 : 0;
    }
    stop = true;
    busy.join();
    EXPECT_EQ(handedOver, kWorkers);
    EXPECT_EQ(returned, kWorkers);
}

TEST(PureVirtualCall, AbortsWithAMessage) {
    EXPECT_DEATH(Concrete(), "pure virtual method called");
}

TEST_F(FrameworkTest, ShowMessageShowsTheTextUnchangedUnderTheTitle) {
    {
        WhenMessageBox box;
        ShowMessage("Saved");
        EXPECT_EQ(box.Text(), "Saved") << "no full stop added";
    }
    // The one button reads "OK", and Esc ends the box as well.
    std::string button;
    WhenModal<Form> escape(kTestTitle, [&](Form& box) {
        button = Text(GetDlgItem(box.Handle(), IDOK)).value_or("<no answer>");
        PostMessageA(GetDlgItem(box.Handle(), IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
    });
    ShowMessage("x");
    EXPECT_EQ(button, "OK");
}

// Where a message box and its button lie, and the text it shows, read from
// inside its modal loop before it is closed.
struct MessageLayout {
    RECT box{}, button{}, label{};
    std::string text;
};

MessageLayout ShowMessageLayout(const std::string& text) {
    MessageLayout layout;
    WhenModal<Form> reading(kTestTitle, [&](Form& form) {
        HWND box = form.Handle();
        GetWindowRect(box, &layout.box);
        GetWindowRect(GetDlgItem(box, IDOK), &layout.button);
        HWND label = GetDlgItem(box, 100);
        GetWindowRect(label, &layout.label);
        layout.text = Text(label).value_or("<no answer>");
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    ShowMessage(text);
    return layout;
}

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

TEST_F(FrameworkTest, ShowMessageWrapsLongWordsWithinHalfTheScreenAndCutsBeyondTheWorkArea) {
    std::string chinese;
    for (int i = 0; i < 5000; ++i) chinese += "\xC3\xDC";  // 密 in code page 936, no blank anywhere
    const std::string ellipsis = ToAnsi("…");
    struct Row {
        const char* what;
        std::string text;
        bool cut;
    };
    const Row rows[] = {
        {"1,500 letters", std::string(1500, 'x'), false},
        {"10,000 letters", std::string(10000, 'x'), true},
        {"5,000 double-byte characters", chinese, true},
    };
    const RECT area = WorkArea();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const MessageLayout layout = ShowMessageLayout(row.text);
        EXPECT_LE(layout.box.right - layout.box.left, GetSystemMetrics(SM_CXSCREEN) / 2);
        EXPECT_TRUE(Inside(layout.box, area));
        EXPECT_TRUE(Inside(layout.button, layout.box));
        EXPECT_GT(layout.label.bottom - layout.label.top, 100) << "wrapped into many lines";
        if (!row.cut) {
            EXPECT_EQ(layout.text, row.text);
            continue;
        }
        ASSERT_GT(layout.text.size(), 1000u);
        ASSERT_LT(layout.text.size(), row.text.size());
        const size_t kept = layout.text.size() - ellipsis.size();
        EXPECT_EQ(layout.text.substr(kept), ellipsis);
        EXPECT_EQ(layout.text.substr(0, kept), row.text.substr(0, kept));
        if (row.text == chinese) {
            EXPECT_EQ(kept % 2, 0u) << "no half character";
        }
    }
    // A short text: one line, and the box as wide as the button with its margins.
    const MessageLayout brief = ShowMessageLayout("Saved");
    EXPECT_EQ(brief.text, "Saved");
    EXPECT_EQ(brief.button.right - brief.button.left, 75);
    EXPECT_EQ(brief.label.right - brief.label.left, 75);
    EXPECT_LT(brief.label.bottom - brief.label.top, 20);
}

struct UncaughtRow {
    const char* name;
    void (*fail)();
    const char* reported;
};
const UncaughtRow kUncaught[] = {
    {"Error", [] { throw Error("Disk full"); }, "Disk full."},
    {"NotAStdException", [] { throw 42; }, "An error of an unknown kind occurred."},
};

class UncaughtError : public FrameworkTest, public ::testing::WithParamInterface<UncaughtRow> {};

// Whatever a handler throws stops at the window procedure's boundary.
TEST_P(UncaughtError, IsReportedAndTheProgramRunsOn) {
    WhenMessageBox report;
    bool after = false;
    PostAsHandler(GetParam().fail);
    Post([&] { after = true; });
    EXPECT_TRUE(WaitUntil([&] { return after; }));
    EXPECT_EQ(report.Text(), GetParam().reported);
}

INSTANTIATE_TEST_SUITE_P(Thrown, UncaughtError, ::testing::ValuesIn(kUncaught), RowName);

TEST_F(FrameworkTest, HooksSeeApplicationMessagesInOrderAndMayConsume) {
    Application& app = Application::Instance();
    std::vector<int> seen;
    constexpr UINT kProbe = WM_APP + 300;
    const int first = app.AddHook([&](UINT m, WPARAM, LPARAM, LRESULT&) {
        if (m == kProbe) seen.push_back(1);
        return false;
    });
    const int second = app.AddHook([&](UINT m, WPARAM w, LPARAM, LRESULT& r) {
        if (m != kProbe) return false;
        seen.push_back(2);
        r = 42;
        return w == 1;  // consume only when asked
    });
    const int third = app.AddHook([&](UINT m, WPARAM, LPARAM, LRESULT&) {
        if (m == kProbe) seen.push_back(3);
        return false;
    });
    EXPECT_EQ(SendMessageA(app.Handle(), kProbe, 1, 0), 42);
    EXPECT_EQ(seen, (std::vector<int>{1, 2}));
    seen.clear();
    app.RemoveHook(first);
    SendMessageA(app.Handle(), kProbe, 0, 0);
    EXPECT_EQ(seen, (std::vector<int>{2, 3}));
    app.RemoveHook(second);
    app.RemoveHook(third);
}

TEST_F(FrameworkTest, MinimiseAndRestoreTheApplicationWithItsMainWindow) {
    Application& app = Application::Instance();
    TestForm main(Form::Border::Single);
    app.SetMainForm(&main);
    main.Show();
    bool minimizedSeen = false;
    const int hook = app.AddHook([&](UINT m, WPARAM w, LPARAM, LRESULT&) {
        if (m == WM_SIZE && w == SIZE_MINIMIZED) minimizedSeen = true;
        return false;
    });
    app.Minimize();
    EXPECT_TRUE(app.IsMinimized());
    EXPECT_TRUE(minimizedSeen);
    EXPECT_FALSE(IsWindowVisible(main.Handle())) << "owned windows hide with the application";

    main.Hide();
    main.SetWindowState(WindowState::Minimized);
    app.Restore();
    EXPECT_FALSE(app.IsMinimized());
    EXPECT_EQ(main.GetWindowState(), WindowState::Normal);
    EXPECT_TRUE(main.Visible());
    app.RemoveHook(hook);
    app.SetMainForm(nullptr);
    ShowWindow(app.Handle(), SW_HIDE);
}

// The tray brings the application window to the foreground, but it shows
// nothing: the focus it receives goes on to the program's front window.
TEST_F(FrameworkTest, FocusOnTheApplicationWindowGoesOnToTheFrontWindow) {
    HWND app = Application::Instance().Handle();
    TestForm main(Form::Border::Single);
    main.Show();
    ShowWindow(app, SW_SHOWNA);
    SetForegroundWindow(app);
    EXPECT_EQ(GetFocus(), app);
    Pump();
    EXPECT_EQ(GetActiveWindow(), main.Handle());
    EXPECT_EQ(GetFocus(), main.Handle());

    main.Hide();
    SetForegroundWindow(app);
    Pump();
    EXPECT_EQ(GetFocus(), app) << "no window to hand it to";
    ShowWindow(app, SW_HIDE);
}

}  // namespace
}  // namespace pwg::test
