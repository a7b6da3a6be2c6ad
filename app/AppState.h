#pragma once
// The one set of flags, counters, times and dialog references that the whole
// program shares. UI thread only.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/framework/Thread.h"

namespace pwg {

class TshutThread;
class Tf3_psw;

struct AppState {
    std::string password;     // administrator password, ANSI, compared exactly
    double windowStart = 0;   // usage window, times of day
    double windowEnd = 0;
    double trustedTime = 0;   // the snapshot the enforcement compares
    int today = 0;            // days since 1899-12-30; only dates the time pickers
    bool locked = false;
    bool closePermit = false;
    bool shutdownLatch = false;
    int32_t countdown = 0;
    int32_t syncFailures = 0;
    uint32_t fetchedTime = 0;
    ThreadPtr<TshutThread> enforcementWorker;
    Tf3_psw* unlockDialog = nullptr;  // the open unlock dialog; it clears this when destroyed

    // Which of the stored values are in force: loaded at start-up or set
    // since. The exit sequence writes only those, so a start-up that failed
    // part way never overwrites good stored values with empty ones.
    bool passwordKnown = false;
    bool windowStartKnown = false;
    bool windowEndKnown = false;
    // The stored text each value in force was read from or last written as
    // (nothing: absent). A second instance, or the administrator's tools, may
    // store a value meanwhile: the exit sequence writes a value only while its
    // text is still this one, or absent, so that it never undoes their change.
    std::optional<std::string> passwordStored, windowStartStored, windowEndStored;
};

AppState& State();

}  // namespace pwg
