#pragma once
// The service's decisions, free of Windows: which sessions get the program
// when the service starts, and what each session's program does next when a
// user logs on, connects or logs off there, when a start succeeds or fails,
// when the program ends, and when a restart falls due. Times are
// milliseconds of a monotonic clock.
#include <cstdint>
#include <optional>
#include <vector>

namespace pwg {

// After an end from outside or a crash, the program comes back this long after.
inline constexpr uint64_t kRestartDelayMs = 2000;
// An end within this time of the start counts as quick; this many quick ends
// (or failed starts) in a row and the service gives up on that session until
// a user logs on or connects there again.
inline constexpr uint64_t kQuickRunMs = 60000;
inline constexpr int kQuickEndsToGiveUp = 5;

struct SessionInfo {
    uint32_t id = 0;
    bool userLoggedOn = false;
};

// The sessions that get the program at the service's start: those the
// system lists with a user logged on. A session without one shows the log-on
// screen, behind which the program would count down unseen and power the
// computer off while someone logs on; it is served at the log-on. Windows
// always lists the services' own session; a system that lists none at all
// (Wine) is served in its active console session, if a user is logged on there.
std::vector<uint32_t> SessionsToServe(const std::vector<SessionInfo>& listed, std::optional<SessionInfo> console);

enum class Phase {
    Idle,       // no program of ours to watch
    Running,    // the program runs; `at` is when it started
    Waiting,    // it ended; `at` is when it starts again
    GivenUp,    // until the next log-on or connect
    Leaving,    // the user logged off; the program ends with the session
    Replacing,  // as Leaving, and a new user logged on: a new program once it has ended
};

struct SessionState {
    Phase phase = Phase::Idle;
    int quickEnds = 0;
    uint64_t at = 0;
    friend bool operator==(const SessionState&, const SessionState&) = default;
};

enum class EventKind {
    Serve,  // a user logged on or connected (or was there at the service's start)
    LogOff,
    Started,  // a program runs there now: started, or found running
    StartFailed,
    Refused,  // the program lies in an unsafe place
    Ended,    // with exitCode
    Time,     // the clock reads `now`
};

struct Event {
    EventKind kind = EventKind::Time;
    uint64_t now = 0;
    uint32_t exitCode = 0;
};

enum class Act {
    None,
    Start,  // start the program there now (or take on one found running)
    Wait,   // until the state's `at`
    GiveUp,
    Finished,  // it ended as it should (exit code 0): not started again
};

struct Step {
    SessionState next;
    Act act = Act::None;
};

Step Next(const SessionState& state, const Event& event);

}  // namespace pwg
