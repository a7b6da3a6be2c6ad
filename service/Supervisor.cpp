#include "service/Supervisor.h"

#include <algorithm>

#include "Messages.h"
#include "common/Ansi.h"
#include "common/Error.h"
#include "common/OsError.h"
#include "common/ServiceCalls.h"
#include "core/Place.h"
#include "service/EventLog.h"
#include "core/Processes.h"

namespace pwg {
namespace {

// One wait takes this many handles besides the wake-up event.
constexpr size_t kMostWaited = MAXIMUM_WAIT_OBJECTS - 1;
constexpr DWORD kNoSession = 0xFFFFFFFF;

uint64_t Now() { return serviceCalls.getTickCount64(); }

std::string Number(DWORD n) { return std::to_string(n); }

// "退出代码 1", and in hex as well where that is how a code is known (0xC0000005).
std::string ExitText(DWORD code) {
    return ToAnsi("退出代码 ") + std::to_string(code) + (code < 0x10000 ? "" : " (" + HexText(code) + ")");
}

}  // namespace

Supervisor::Supervisor(std::string programPath)
    : program_(std::move(programPath)), wake_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
    if (!wake_) RaiseLastOsError();
}

void Supervisor::Notify(DWORD sessionEvent, DWORD session) {
    {
        const std::lock_guard lock(noticesMutex_);
        notices_.emplace_back(sessionEvent, session);
    }
    SetEvent(wake_.get());
}

void Supervisor::Stop() {
    stopping_ = true;
    SetEvent(wake_.get());
}

SessionState Supervisor::StateOf(DWORD session) const {
    const auto found = sessions_.find(session);
    return found == sessions_.end() ? SessionState{} : found->second.state;
}

bool Supervisor::UserLoggedOn(DWORD session) const {
    char* name = nullptr;
    DWORD bytes = 0;
    if (!serviceCalls.wtsQuerySessionInformation(WTS_CURRENT_SERVER_HANDLE, session, WTSUserName, &name, &bytes))
        return false;
    const bool someone = name && *name;
    serviceCalls.wtsFreeMemory(name);
    return someone;
}

void Supervisor::ServeSessionsNow() {
    std::vector<SessionInfo> listed;
    WTS_SESSION_INFOA* sessions = nullptr;
    DWORD count = 0;
    if (serviceCalls.wtsEnumerateSessions(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count)) {
        for (DWORD i = 0; i < count; ++i)
            listed.push_back({sessions[i].SessionId, UserLoggedOn(sessions[i].SessionId)});
        serviceCalls.wtsFreeMemory(sessions);
    }
    std::optional<SessionInfo> console;
    if (const DWORD active = serviceCalls.wtsGetActiveConsoleSessionId(); active != kNoSession)
        console = SessionInfo{active, UserLoggedOn(active)};
    for (const uint32_t session : SessionsToServe(listed, console)) Apply(session, EventKind::Serve);
}

void Supervisor::TakeStep() {
    std::vector<std::pair<DWORD, DWORD>> notices;
    {
        const std::lock_guard lock(noticesMutex_);
        notices.swap(notices_);
    }
    for (const auto& [event, session] : notices) {
        switch (event) {
            case WTS_SESSION_LOGON:
                Apply(session, EventKind::Serve);
                break;
            case WTS_CONSOLE_CONNECT:
            case WTS_REMOTE_CONNECT:
                // A session connects with its log-on screen too, before anyone logs on.
                if (UserLoggedOn(session)) Apply(session, EventKind::Serve);
                break;
            case WTS_SESSION_LOGOFF:
                Apply(session, EventKind::LogOff);
                break;
        }
    }
    for (auto& [session, served] : sessions_) {
        if (!served.process || WaitForSingleObject(served.process.get(), 0) != WAIT_OBJECT_0) continue;
        DWORD code = 0;
        GetExitCodeProcess(served.process.get(), &code);
        served.process.reset();
        if (code != 0) served.lastEnd = ExitText(code);
        Apply(session, EventKind::Ended, code);
    }
    for (auto& entry : sessions_) Apply(entry.first, EventKind::Time);
}

void Supervisor::Run() {
    ServeSessionsNow();
    while (!stopping_) {
        std::vector<HANDLE> waited{wake_.get()};
        size_t running = 0;
        for (const auto& entry : sessions_) {
            if (!entry.second.process) continue;
            if (++running <= kMostWaited) waited.push_back(entry.second.process.get());
        }
        DWORD timeout = MillisecondsToNextRestart();
        // Programs beyond what one wait takes are looked at every second.
        if (running > kMostWaited) timeout = std::min<DWORD>(timeout, 1000);
        WaitForMultipleObjects(static_cast<DWORD>(waited.size()), waited.data(), FALSE, timeout);
        if (!stopping_) TakeStep();
    }
}

DWORD Supervisor::MillisecondsToNextRestart() const {
    const uint64_t now = Now();
    uint64_t soonest = INFINITE;
    for (const auto& entry : sessions_)
        if (entry.second.state.phase == Phase::Waiting)
            soonest = std::min(soonest, entry.second.state.at > now ? entry.second.state.at - now : 0);
    return static_cast<DWORD>(soonest);
}

void Supervisor::Apply(DWORD session, EventKind kind, DWORD exitCode) {
    Served& served = sessions_[session];
    if (kind == EventKind::Serve) served.lastEnd.clear();
    const Step step = Next(served.state, {kind, Now(), exitCode});
    served.state = step.next;
    switch (step.act) {
        case Act::Start:
            Start(session);
            break;
        case Act::GiveUp:
            LogEvent(EVENTLOG_ERROR_TYPE, MSG_GAVE_UP,
                     {Number(session), program_, Number(step.next.quickEnds), served.lastEnd});
            break;
        case Act::Finished:
            LogEvent(EVENTLOG_INFORMATION_TYPE, MSG_FINISHED, {Number(session), program_});
            break;
        case Act::None:
        case Act::Wait:
            break;
    }
}

void Supervisor::Start(DWORD session) {
    if (TakeOnRunning(session)) return;
    Served& served = sessions_[session];
    if (const std::optional<std::string> unsafe = UnsafePlace(program_)) {
        LogEvent(EVENTLOG_ERROR_TYPE, MSG_REFUSED, {Number(session), program_, *unsafe});
        Apply(session, EventKind::Refused);
        return;
    }
    PROCESS_INFORMATION started{};
    if (const std::optional<DWORD> error = StartIn(session, started)) {
        served.lastEnd = OsErrorMessage(*error);
        LogEvent(EVENTLOG_ERROR_TYPE, MSG_START_FAILED, {Number(session), program_, served.lastEnd});
        Apply(session, EventKind::StartFailed);
        return;
    }
    CloseHandle(started.hThread);
    served.process.reset(started.hProcess);
    if (served.lastEnd.empty())
        LogEvent(EVENTLOG_INFORMATION_TYPE, MSG_STARTED, {Number(session), program_, Number(started.dwProcessId)});
    else
        LogEvent(EVENTLOG_WARNING_TYPE, MSG_RESTARTED,
                 {Number(session), program_, Number(started.dwProcessId), served.lastEnd});
    served.lastEnd.clear();
    Apply(session, EventKind::Started);
}

// One of ours is the program file itself: a process of the same name from
// anywhere else (a user's own pw_gate.exe) does not stand in for it.
bool Supervisor::TakeOnRunning(DWORD session) {
    for (const DWORD id : ProcessesNamed(kProgramFile)) {
        DWORD in = kNoSession;
        if (!serviceCalls.processIdToSessionId(id, &in) || in != session) continue;
        Handle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
        if (!process || lstrcmpiA(ProcessImage(process.get()).c_str(), program_.c_str()) != 0) continue;
        sessions_[session].process = std::move(process);
        LogEvent(EVENTLOG_INFORMATION_TYPE, MSG_FOUND, {Number(session), program_, Number(id)});
        Apply(session, EventKind::Started);
        return true;
    }
    return false;
}

// As SYSTEM, with this service's own token moved to the session: its user
// may neither end the program nor send it messages.
std::optional<DWORD> Supervisor::StartIn(DWORD session, PROCESS_INFORMATION& started) const {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &raw)) return GetLastError();
    const Handle own(raw);
    raw = nullptr;
    if (!serviceCalls.duplicateTokenEx(
            own.get(),
            TOKEN_ASSIGN_PRIMARY | TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID,
            nullptr, SecurityImpersonation, TokenPrimary, &raw))
        return GetLastError();
    const Handle token(raw);
    DWORD id = session;
    if (!serviceCalls.setTokenInformation(token.get(), TokenSessionId, &id, sizeof id)) return GetLastError();

    char desktop[] = "winsta0\\default";
    STARTUPINFOA startup{sizeof(startup)};
    startup.lpDesktop = desktop;
    std::string commandLine = "\"" + program_ + "\"";
    const std::string folder = program_.substr(0, program_.find_last_of('\\'));
    if (!serviceCalls.createProcessAsUser(token.get(), program_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                          nullptr, folder.c_str(), &startup, &started))
        return GetLastError();
    return std::nullopt;
}

}  // namespace pwg
