#pragma once
// Light window-message timers for the tray icon. Every timer object of the
// process shares one hidden window, and a timer message's identifier is the
// timer object itself, so a tick reaches its timer without a search.
#include <windows.h>

#include <functional>

#include "app/framework/Window.h"

namespace pwg {

class TSimpleTimer;

// The hidden window behind all timer objects: created with the first one,
// freed with the last (or at program end).
class TSimpleTimerHandler : public Window {
public:
    // The shared handler, or null while there is no timer object.
    static TSimpleTimerHandler* Instance();

    int TimerUsers() const { return timerUsers_; }
    int TimersRunning() const { return timersRunning_; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    friend class TSimpleTimer;
    TSimpleTimerHandler();
    static TSimpleTimerHandler& AddUser();
    static void RemoveUser();
    void OnTimer(TSimpleTimer& timer);

    int timerUsers_ = 0;
    int timersRunning_ = 0;
};

class TSimpleTimer {
public:
    using TickHandler = std::function<void(TSimpleTimer& timer)>;

    explicit TSimpleTimer(UINT periodMs = 1000, TickHandler onTick = {});
    TSimpleTimer(const TSimpleTimer&) = delete;
    TSimpleTimer& operator=(const TSimpleTimer&) = delete;
    ~TSimpleTimer();

    // The timer message's wParam for this timer.
    UINT_PTR Identifier() const { return reinterpret_cast<UINT_PTR>(this); }

    bool Running() const { return running_; }
    UINT PeriodMs() const { return periodMs_; }
    bool OneShot() const { return oneShot_; }
    void SetOneShot(bool oneShot) { oneShot_ = oneShot; }
    const TickHandler& OnTick() const { return onTick_; }

    // Starts (or restarts) the period; false for period 0 or when Windows
    // gives no timer, and then the timer is not running.
    bool Arm();
    // Stops the Windows timer; with clearRunning false the timer still
    // counts as running, so a later period or handler can re-arm it.
    void Disarm(bool clearRunning = true);

    void SetRunning(bool running);
    // A new period restarts a running timer; period 0 stops it but leaves it
    // marked running.
    void SetPeriod(UINT periodMs);
    // Without a handler a running timer stops ticking but stays marked running.
    void SetOnTick(TickHandler onTick);

private:
    friend class TSimpleTimerHandler;

    TSimpleTimerHandler& handler_;
    bool running_ = false;
    bool oneShot_ = false;
    UINT periodMs_;
    TickHandler onTick_;
};

}  // namespace pwg
