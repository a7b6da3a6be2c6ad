#include "tests/support/UiDriver.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "app/framework/Application.h"
#include "app/framework/Window.h"
#include "tests/support/Controls.h"

namespace pwg::test {
namespace {

constexpr UINT kRunAction = WM_APP + 77;
constexpr UINT kRunHandler = WM_APP + 78;
constexpr UINT kWatchDeadline = WM_APP + 79;  // wParam: the watch's serial number
constexpr UINT kTestStillRunning = WM_APP + 80;
// Longer than any test needs, shorter than the time after which the test
// program is killed: a test still in a modal loop then fails and goes on.
constexpr DWORD kTestBoundMs = 20000;
constexpr UINT kWatchPeriodMs = 10;

// This thread's watches, by serial number (never reused, unlike timer ids).
std::map<UINT_PTR, Watch*>& Watches() {
    static std::map<UINT_PTR, Watch*> watches;
    return watches;
}

class DriverWindow : public Window {
public:
    static DriverWindow& Instance() {
        static DriverWindow window;
        return window;
    }

private:
    DriverWindow() { CreateHiddenWindow("PwgTestDriver"); }
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
            case kRunAction: OnRunAction(reinterpret_cast<std::function<void()>*>(lParam)); return 0;
            case kRunHandler: OnRunHandler(reinterpret_cast<std::function<void()>*>(lParam)); return 0;
            case kWatchDeadline: OnWatchDeadline(wParam); return 0;
            case kTestStillRunning: OnTestStillRunning(); return 0;
        }
        return DefaultHandling(message, wParam, lParam);
    }
    void OnRunAction(std::function<void()>* raw) {
        std::unique_ptr<std::function<void()>> action(raw);
        // The test's own step failed: a failure of the test, not a report of
        // the program's, and no dialog it left open may wait for ever.
        try {
            (*action)();
        } catch (const std::exception& e) {
            ADD_FAILURE() << "a posted step failed: " << e.what();
            EndModalLoops();
        }
    }
    void OnRunHandler(std::function<void()>* raw) {
        std::unique_ptr<std::function<void()>> action(raw);
        (*action)();
    }
    void OnTestStillRunning() {
        ADD_FAILURE() << "still running after " << kTestBoundMs << " ms: ending its modal loops";
        EndModalLoops();
    }
    void OnWatchDeadline(UINT_PTR serial) {
        const auto found = Watches().find(serial);
        if (found != Watches().end()) found->second->Check();
    }
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> ThreadWindows() {
    std::vector<HWND> windows;
    EnumThreadWindows(GetCurrentThreadId(), CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// Bounds every test of the program: past kTestBoundMs, a message posted from
// another thread fails it and ends its modal loops (posted messages come even
// where timers cannot).
class TestBound : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        const HWND driver = DriverWindow::Instance().Handle();
        CreateTimerQueueTimer(&timer_, nullptr, OnBound, driver, kTestBoundMs, 0, WT_EXECUTEONLYONCE);
    }
    static void CALLBACK OnBound(void* window, BOOLEAN) {
        PostMessageA(static_cast<HWND>(window), kTestStillRunning, 0, 0);
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        if (timer_) DeleteTimerQueueTimer(nullptr, std::exchange(timer_, nullptr), INVALID_HANDLE_VALUE);
        // A bound message posted just now must not fail the next test.
        MSG msg;
        while (PeekMessageA(&msg, DriverWindow::Instance().Handle(), kTestStillRunning, kTestStillRunning, PM_REMOVE)) {
        }
    }
    HANDLE timer_ = nullptr;
};

const bool g_testBoundInstalled = [] {
    SetMessagePump(Pump);
    ::testing::UnitTest::GetInstance()->listeners().Append(new TestBound);
    return true;
}();

}  // namespace

void Post(std::function<void()> action) {
    PostMessageA(DriverWindow::Instance().Handle(), kRunAction, 0,
                 reinterpret_cast<LPARAM>(new std::function<void()>(std::move(action))));
}

void PostAsHandler(std::function<void()> action) {
    PostMessageA(DriverWindow::Instance().Handle(), kRunHandler, 0,
                 reinterpret_cast<LPARAM>(new std::function<void()>(std::move(action))));
}

void Pump() { Application::Instance().ProcessMessages(); }

void EndModalLoops() {
    for (HWND hwnd : ThreadWindows()) {
        if (auto* form = dynamic_cast<Form*>(Window::FromHandle(hwnd))) {
            if (form->InModalLoop()) form->SetModalResult(kModalCancel);
        } else if (ClassName(hwnd) == "#32770" && IsWindowVisible(hwnd)) {
            PostMessageA(hwnd, WM_COMMAND, IDCANCEL, 0);
        }
    }
}

Form* FindVisibleForm(const std::function<bool(Form&)>& match) {
    for (HWND hwnd : ThreadWindows()) {
        auto* form = dynamic_cast<Form*>(Window::FromHandle(hwnd));
        if (form && IsWindowVisible(hwnd) && match(*form)) return form;
    }
    return nullptr;
}

Watch::Watch(std::string what, std::function<HWND()> find, std::function<void(HWND)> answer, DWORD timeoutMs)
    : what_(std::move(what)), find_(std::move(find)), answer_(std::move(answer)),
      deadline_(GetTickCount64() + timeoutMs) {
    static UINT_PTR lastSerial = 0;
    serial_ = ++lastSerial;
    DriverWindow::Instance();  // made here, on the UI thread
    timer_ = SetTimer(nullptr, 0, kWatchPeriodMs, OnTimer);
    if (!timer_ || !CreateTimerQueueTimer(&deadlineTimer_, nullptr, OnDeadline, reinterpret_cast<void*>(serial_),
                                          timeoutMs + kWatchPeriodMs, 0, WT_EXECUTEONLYONCE)) {
        ADD_FAILURE() << "no timer to watch for " << what_;
        done_ = came_ = true;
        Stop();
        return;
    }
    Watches()[serial_] = this;
}

Watch::~Watch() {
    Stop();
    if (!came_) ADD_FAILURE() << "never came: " << what_;
}

void Watch::Stop() {
    Watches().erase(serial_);
    if (timer_) KillTimer(nullptr, std::exchange(timer_, 0));
    // Waits for a deadline callback that is running; a message it posted finds no watch.
    if (deadlineTimer_) DeleteTimerQueueTimer(nullptr, std::exchange(deadlineTimer_, nullptr), INVALID_HANDLE_VALUE);
}

void CALLBACK Watch::OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
    for (const auto& [serial, watch] : Watches())
        if (watch->timer_ == id) return watch->Check();
}

void CALLBACK Watch::OnDeadline(void* serial, BOOLEAN) {
    PostMessageA(DriverWindow::Instance().Handle(), kWatchDeadline, reinterpret_cast<UINT_PTR>(serial), 0);
}

void Watch::Check() {
    if (done_) return;
    if (HWND hwnd = find_()) {
        // Once only, even when the answer opens a loop in which the timer fires again.
        done_ = came_ = true;
        Stop();
        answer_(hwnd);
        return;
    }
    if (GetTickCount64() >= deadline_) {
        done_ = came_ = true;  // reported here, not again at the end
        Stop();
        ADD_FAILURE() << "waited in vain for " << what_;
        EndModalLoops();
    }
}

WhenTrue::WhenTrue(std::string what, std::function<bool()> condition, std::function<void()> step,
                   DWORD timeoutMs)
    : Watch(
          std::move(what),
          [condition = std::move(condition)] {
              return condition() ? DriverWindow::Instance().Handle() : HWND{};
          },
          [step = std::move(step)](HWND) { step(); }, timeoutMs) {}

void WithinBound(std::string what, const std::function<void()>& call, DWORD timeoutMs) {
    bool returned = false;
    WhenTrue ends(std::move(what), [&] { return returned; }, [] {}, timeoutMs);
    call();
    returned = true;
    ends.Check();
}

WhenMessageBox::WhenMessageBox(int button, DWORD timeoutMs)
    : Watch(
          "a message box captioned with the application title",
          [] {
              const std::string& title = Application::Instance().Title();
              for (HWND hwnd : ThreadWindows()) {
                  if (!IsWindowVisible(hwnd) || test::Text(hwnd) != title) continue;
                  auto* form = dynamic_cast<Form*>(Window::FromHandle(hwnd));
                  if ((form && form->InModalLoop()) || (!form && ClassName(hwnd) == "#32770")) return hwnd;
              }
              return HWND{};
          },
          [this, button](HWND box) {
              // ShowMessage shows its text in control 100, a system message box in 0xFFFF.
              HWND text = GetDlgItem(box, Window::FromHandle(box) ? 100 : 0xFFFF);
              text_ = text ? test::Text(text).value_or("<no answer>") : "<no text>";
              topmost_ = (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
              PostMessageA(box, WM_COMMAND, button, 0);
          },
          timeoutMs) {}

}  // namespace pwg::test
