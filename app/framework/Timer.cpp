#include "app/framework/Timer.h"

#include "app/framework/Window.h"
#include "common/Error.h"
#include "common/OsCalls.h"

namespace pwg {

class TimerWindow : public Window {
public:
    static HWND ForThisThread() {
        thread_local TimerWindow window;
        return window.Handle();
    }

private:
    TimerWindow() {
        CreateMessageWindow("PwgTimerWindow");
    }

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
            case WM_TIMER: OnTimer(reinterpret_cast<Timer*>(wParam)); return 0;
        }
        return DefaultHandling(message, wParam, lParam);
    }

    void OnTimer(Timer* timer) { timer->Tick(); }
};

Timer::Timer(UINT intervalMs, bool enabled, Handler onTimer)
    : interval_(intervalMs), enabled_(enabled), onTimer_(std::move(onTimer)) {
    Update();
}

Timer::~Timer() { KillTimer(TimerWindow::ForThisThread(), reinterpret_cast<UINT_PTR>(this)); }

void Timer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Update();
}

void Timer::SetInterval(UINT intervalMs) {
    if (intervalMs == interval_) return;
    interval_ = intervalMs;
    Update();
}

void Timer::SetOnTimer(Handler onTimer) {
    onTimer_ = std::move(onTimer);
    Update();
}

void Timer::Tick() {
    // The handler may run a modal loop in which this timer is destroyed.
    if (Handler handler = onTimer_) handler();
}

void Timer::Update() {
    HWND window = TimerWindow::ForThisThread();
    const auto id = reinterpret_cast<UINT_PTR>(this);
    KillTimer(window, id);
    if (interval_ != 0 && enabled_ && onTimer_ && !osCalls.setTimer(window, id, interval_, nullptr))
        throw Error("Not enough timers available");
}

}  // namespace pwg
