#pragma once
// Window-message timers. All timers of a thread belong to one hidden tool
// window of that thread and fire on its message loop; the timer message
// names the timer object itself.
#include <windows.h>

#include <functional>

namespace pwg {

class Timer {
public:
    using Handler = std::function<void()>;

    // Disabled timers with no handler start nothing; the first tick comes one
    // interval after the timer starts.
    explicit Timer(UINT intervalMs = 1000, bool enabled = true, Handler onTimer = {});
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;
    ~Timer();

    bool Enabled() const { return enabled_; }
    UINT Interval() const { return interval_; }
    // Enabling an enabled timer, or giving it its current interval, does
    // nothing; a new interval restarts the period. Raises "Not enough timers
    // available" when Windows has no timer to give.
    void SetEnabled(bool enabled);
    void SetInterval(UINT intervalMs);
    void SetOnTimer(Handler onTimer);

private:
    friend class TimerWindow;
    void Tick();
    void Update();

    UINT interval_;
    bool enabled_;
    Handler onTimer_;
};

}  // namespace pwg
