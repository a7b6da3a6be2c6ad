#pragma once
// The enforcement: a short-lived worker that asks the UI thread to create the
// one-second enforcement timer, the tick that timer runs, and its start and
// stop.
#include <memory>

#include "app/framework/Thread.h"
#include "app/framework/Timer.h"

namespace pwg {

class TshutThread : public Thread {
public:
    // Made by Thread::Start, which lets it run once it is built.
    explicit TshutThread(StartKey key);
    // Its owner has waited for the worker (a timer creation it handed over
    // runs meanwhile); this stops and destroys the timer.
    ~TshutThread() override;

    // Ended without its timer: Windows refused it.
    bool Refused() const { return Finished() && FatalError(); }

protected:
    void Execute() override;

private:
    std::unique_ptr<Timer> timer_;
};

// Starts the enforcement afresh: the count to 0, any running worker stopped,
// a new worker started at the lowest priority. The worker has the UI thread
// create the one-second enforcement timer; when Windows refuses it, the error
// report tells so and there is no enforcement until the next restart.
void RestartEnforcement();
// Stops the enforcement worker and its timer, if there is one.
void StopEnforcement();
// Whether the last start found no timer to tick with (told by the report).
bool EnforcementRefused();

// Once a second: compare the trusted time with the usage window; while locked
// and outside it, the unlock dialog, the countdown and in the end the power-off.
// The state shows in the caption of the application's main window.
void EnforcementTick();

// Asks Windows to power off, then for a timed shutdown in 5 seconds. Raises
// the operating-system error when the power-off request is refused, and then
// asks nothing more.
void RequestPowerOff();

}  // namespace pwg
