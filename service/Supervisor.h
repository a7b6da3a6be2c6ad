#pragma once
// Keeps the program running in every session a user is logged on to: starts
// it at the service's start and at each log-on or connect, at most one per
// session (one found running is taken on instead), as SYSTEM on the session's
// interactive desktop, where its user can neither end it nor send it
// messages; starts it again after an end from outside or a crash, and leaves
// it ended after an exit with code 0. What it does goes to the event log.
#include <windows.h>

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/Handles.h"
#include "service/SessionRules.h"

namespace pwg {

class Supervisor {
public:
    // The program at this path (ANSI).
    explicit Supervisor(std::string programPath);
    Supervisor(const Supervisor&) = delete;
    Supervisor& operator=(const Supervisor&) = delete;

    // From the service's control handler, on its own thread: a session
    // notice (WTS_SESSION_LOGON, ...) for the next step, and the stop.
    void Notify(DWORD sessionEvent, DWORD session);
    void Stop();

    // The sessions with a user logged on now get the program.
    void ServeSessionsNow();
    // What has come since the last step: the notices, the programs that
    // ended, the restarts now due.
    void TakeStep();
    // ServeSessionsNow, then a step whenever something comes, until Stop.
    void Run();

    // A session's state, for tests.
    SessionState StateOf(DWORD session) const;

private:
    struct Served {
        SessionState state;
        Handle process;
        // How it last ended, when a restart is due for it: told at the
        // restart or the give-up (ANSI).
        std::string lastEnd;
    };

    void Apply(DWORD session, EventKind kind, DWORD exitCode = 0);
    void Start(DWORD session);
    bool TakeOnRunning(DWORD session);
    // The error when the program could not be started.
    std::optional<DWORD> StartIn(DWORD session, PROCESS_INFORMATION& started) const;
    bool UserLoggedOn(DWORD session) const;
    DWORD MillisecondsToNextRestart() const;

    const std::string program_;
    std::map<DWORD, Served> sessions_;

    std::mutex noticesMutex_;
    std::vector<std::pair<DWORD, DWORD>> notices_;  // event, session
    Handle wake_;
    std::atomic<bool> stopping_{false};
};

}  // namespace pwg
