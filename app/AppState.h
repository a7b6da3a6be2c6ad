#pragma once
// The one set of flags, counters, times and dialog references that the whole
// program shares. UI thread only.
#include <cstdint>
#include <memory>
#include <string>

#include "app/framework/Thread.h"
#include "core/U0_func.h"

namespace pwg {

class TshutThread;
class Tf3_psw;

struct AppState {
    // The stored settings in force, which app/Settings.cpp loads and saves;
    // each reads as its value.
    InForce<std::string> password;  // administrator password, ANSI, compared exactly
    InForce<double> windowStart;    // usage window, times of day
    InForce<double> windowEnd;
    InForce<std::string> timeZone;  // Windows' name of the zone times of day are judged in
    InForce<long long> networkTime;  // the last time the network told, seconds since 1970 UTC; 0: never
    InForce<bool> locked;            // the enforcement acts
    double trustedTime = 0;   // the snapshot the enforcement compares
    int today = 0;            // days since 1899-12-30; only dates the time pickers
    bool closePermit = false;
    bool shutdownLatch = false;
    int32_t countdown = 0;
    int32_t syncFailures = 0;
    uint32_t fetchedTime = 0;
    ThreadPtr<TshutThread> enforcementWorker;
    Tf3_psw* unlockDialog = nullptr;  // the open unlock dialog; it clears this when destroyed
};

AppState& State();

}  // namespace pwg
