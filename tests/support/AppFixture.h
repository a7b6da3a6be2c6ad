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
#include "tests/support/Registry.h"
#include "tests/support/StandIn.h"

namespace pwg::test {

inline constexpr char kTestTitle[] = "pwg tests";

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
    static inline std::vector<std::string> calls;
    static inline BOOL exitResult = TRUE;
    static inline DWORD exitError = 0;
    static inline BOOL shutdownResult = TRUE;
    // Whether the shutdown privilege was on at the last timed shutdown request.
    static inline bool privilegeHeld = false;

private:
    const StandIn<&OsCalls::exitWindowsEx> exit_;
    const StandIn<&OsCalls::initiateSystemShutdown> shutdown_;
};

bool ShutdownPrivilegeEnabled();

// The intervals the timers asked Windows for, in order; with `fail`,
// Windows refuses them.
struct TimerRequests {
    TimerRequests();
    static inline std::vector<UINT> intervals;
    static inline bool fail = false;

private:
    const StandIn<&OsCalls::setTimer> recording_;
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

namespace pwg {
// A setting in force as a failed assertion shows it: its value.
template <class T>
void PrintTo(const InForce<T>& setting, std::ostream* os) {
    *os << ::testing::PrintToString(setting.value);
}
}  // namespace pwg
