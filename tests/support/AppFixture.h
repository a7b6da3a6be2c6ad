#pragma once
// A main window in a clean registry, its enforcement stopped so that the
// test drives every tick itself, and the recorders that stand in for the
// calls a test must not make or cannot make fail: the shutdown requests and
// the framework's timer requests.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/Unit1.h"
#include "common/OsCalls.h"
#include "tests/support/Registry.h"

namespace pwg::test {

inline constexpr char kTestTitle[] = "pwg tests";

// Stands in for one entry of the operating-system call table (osCalls) until it goes.
template <class Call>
class StandIn {
public:
    StandIn(Call& entry, Call replacement) : entry_(entry), saved_(entry) { entry = replacement; }
    ~StandIn() { entry_ = saved_; }
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

private:
    Call& entry_;
    Call saved_;
};

// The application object as a fresh program has it: the test title, no main
// window (shown when there is one), not terminated, its window hidden and not
// minimised.
void ResetApplication();
// The shared state as when the program loads, the enforcement stopped.
void ResetState();

// What the shutdown seam was asked, in order: "ExitWindowsEx 8" and
// "InitiateSystemShutdown <computer> <message> 5 1 0".
struct ShutdownRecorder {
    ShutdownRecorder();
    ~ShutdownRecorder();
    static inline std::vector<std::string> calls;
    static inline BOOL exitResult = TRUE;
    static inline DWORD exitError = 0;
    static inline BOOL shutdownResult = TRUE;
    // Whether the shutdown privilege was on at the last timed shutdown request.
    static inline bool privilegeHeld = false;
};

bool ShutdownPrivilegeEnabled();

// The intervals the framework's timers asked Windows for, in order; with
// `fail`, Windows refuses them.
struct TimerRequests {
    TimerRequests();
    ~TimerRequests();
    static inline std::vector<UINT> intervals;
    static inline bool fail = false;
};

class AppFixture : public ::testing::Test {
protected:
    static double Hours(double h) { return h / 24.0; }
    void SetUp() override;
    void TearDown() override;
    // Creates the main window (which runs the start-up sequence).
    void CreateMainForm();

    TMainForm* main_ = nullptr;
    ShutdownRecorder shutdown_;
};

}  // namespace pwg::test
