// The supervisor in this process, with what Wine does not have stood in for:
// the sessions the system lists and their users, the notices (handed to the
// service's own control handler), the start as SYSTEM in a session (a
// suspended process stands in for the program, and the test ends it with the
// exit code it wants), the event log and the clock. The program lies in a
// real folder, whose place the supervisor reads as it does in the service.
#include "service/Supervisor.h"

#include <gtest/gtest.h>

#include <map>

#include "Messages.h"
#include "common/Ansi.h"
#include "common/OsError.h"
#include "common/ServiceCalls.h"
#include "service/Service.h"
#include "tests/support/Files.h"
#include "tests/support/StandIn.h"
#include "tests/support/Wait.h"

namespace pwg::test {
namespace {

template <auto Entry>
using ServiceStandIn = StandIn<Entry, serviceCalls>;

// A process of that file that never runs a line of its own.
PROCESS_INFORMATION Suspended(const std::string& file) {
    STARTUPINFOA startup{sizeof(startup)};
    PROCESS_INFORMATION info{};
    EXPECT_TRUE(CreateProcessA(file.c_str(), nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                               &startup, &info))
        << file << ": error " << GetLastError();
    CloseHandle(info.hThread);
    return info;
}

bool PrimaryOfThisAccount(HANDLE token) {
    TOKEN_TYPE type{};
    BYTE given[256], own[256];
    DWORD size = 0;
    HANDLE self = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &self);
    const Handle owned(self);
    return GetTokenInformation(token, TokenType, &type, sizeof type, &size) && type == TokenPrimary &&
           GetTokenInformation(token, TokenUser, given, sizeof given, &size) &&
           GetTokenInformation(self, TokenUser, own, sizeof own, &size) &&
           EqualSid(reinterpret_cast<TOKEN_USER*>(given)->User.Sid, reinterpret_cast<TOKEN_USER*>(own)->User.Sid);
}

struct Start {
    DWORD session;
    std::string application, commandLine, desktop, folder;
    bool primaryOfThisAccount;
    DWORD id;
    Handle process;
};

struct Logged {
    WORD type;
    DWORD message;
    std::vector<std::string> inserts;
};

// What the system tells the service, and what the service did.
struct World {
    static inline std::vector<WTS_SESSION_INFOA> listed;
    static inline std::map<DWORD, std::string> users;  // none: nobody logged on
    static inline DWORD console = 1;
    static inline ULONGLONG now = 1000000;
    static inline DWORD tokenSession = ~0u;
    static inline DWORD startError = 0;
    static inline std::vector<Start> starts;
    static inline Handle started{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    static inline std::vector<Logged> events;

    static BOOL WINAPI Enumerate(HANDLE, DWORD, DWORD, WTS_SESSION_INFOA** sessions, DWORD* count) {
        *sessions = listed.data();
        *count = static_cast<DWORD>(listed.size());
        return TRUE;
    }
    static BOOL WINAPI QueryUser(HANDLE, DWORD session, WTS_INFO_CLASS, LPSTR* name, DWORD* bytes) {
        std::string& user = users[session];
        *name = user.data();
        *bytes = static_cast<DWORD>(user.size() + 1);
        return TRUE;
    }
    static void WINAPI Free(void*) {}
    static DWORD WINAPI Console() { return console; }
    static ULONGLONG WINAPI Now() { return now; }
    static BOOL WINAPI SetTokenSession(HANDLE, TOKEN_INFORMATION_CLASS kind, LPVOID value, DWORD) {
        if (kind == TokenSessionId) tokenSession = *static_cast<DWORD*>(value);
        return TRUE;
    }
    static BOOL WINAPI StartAsUser(HANDLE token, LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                                   LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCSTR folder, LPSTARTUPINFOA startup,
                                   LPPROCESS_INFORMATION info) {
        if (startError) {
            SetLastError(startError);
            return FALSE;
        }
        char self[MAX_PATH];
        *info = Suspended(std::string(self, GetModuleFileNameA(nullptr, self, MAX_PATH)));
        HANDLE kept = nullptr;
        DuplicateHandle(GetCurrentProcess(), info->hProcess, GetCurrentProcess(), &kept, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
        info->hThread = nullptr;
        starts.push_back({tokenSession, application, commandLine, startup->lpDesktop, folder,
                          PrimaryOfThisAccount(token), info->dwProcessId, Handle(kept)});
        SetEvent(started.get());
        return TRUE;
    }
    static HANDLE WINAPI OpenLog(LPCSTR, LPCSTR source) {
        return std::string(source) == "pw_gate_svc" ? reinterpret_cast<HANDLE>(0x5eed) : nullptr;
    }
    static BOOL WINAPI Log(HANDLE, WORD type, WORD, DWORD message, PSID, WORD count, DWORD, LPCSTR* inserts, LPVOID) {
        events.push_back({type, message, std::vector<std::string>(inserts, inserts + count)});
        return TRUE;
    }
    static BOOL WINAPI CloseLog(HANDLE) { return TRUE; }
};

class SupervisorTest : public ::testing::Test {
protected:
    SupervisorTest() {
        folder_.Copy(OwnFolder() + "\\pw_gate.exe", "pw_gate.exe");
        folder_.Copy(OwnFolder() + "\\GetTime.dll", "GetTime.dll");
        World::listed.clear();
        World::users.clear();
        World::startError = 0;
        World::events.clear();
        ResetEvent(World::started.get());
    }
    ~SupervisorTest() override {
        for (const Start& start : World::starts) TerminateProcess(start.process.get(), 0);
        World::starts.clear();
    }

    // A session notice as the Service Control Manager hands it over, and the step that follows.
    void Notice(DWORD event, DWORD session) {
        WTSSESSION_NOTIFICATION notice{sizeof(notice), session};
        EXPECT_EQ(ServiceControl(SERVICE_CONTROL_SESSIONCHANGE, event, &notice, &run_), static_cast<DWORD>(NO_ERROR));
        run_.supervisor.TakeStep();
    }
    // Ends the program of that start with this exit code, and the step that follows.
    void End(size_t start, DWORD exitCode) {
        ASSERT_LT(start, World::starts.size());
        HANDLE process = World::starts[start].process.get();
        TerminateProcess(process, exitCode);
        ASSERT_EQ(WaitForSingleObject(process, kWaitMs), WAIT_OBJECT_0) << "the program did not end";
        run_.supervisor.TakeStep();
    }
    void Pass(ULONGLONG ms) {
        World::now += ms;
        run_.supervisor.TakeStep();
    }
    static std::vector<DWORD> SessionsStarted() {
        std::vector<DWORD> sessions;
        for (const Start& start : World::starts) sessions.push_back(start.session);
        return sessions;
    }
    static const Logged& LastEvent() {
        static const Logged kNone{0, 0, {"", "", "", ""}};
        return World::events.empty() ? kNone : World::events.back();
    }

    ScratchFolder folder_{TempFolder() + "pwg service"};
    const std::string program_ = folder_.File("pw_gate.exe");
    const ServiceStandIn<&ServiceCalls::wtsEnumerateSessions> enumerate_{World::Enumerate};
    const ServiceStandIn<&ServiceCalls::wtsQuerySessionInformation> query_{World::QueryUser};
    const ServiceStandIn<&ServiceCalls::wtsFreeMemory> free_{World::Free};
    const ServiceStandIn<&ServiceCalls::wtsGetActiveConsoleSessionId> console_{World::Console};
    const ServiceStandIn<&ServiceCalls::getTickCount64> clock_{World::Now};
    const ServiceStandIn<&ServiceCalls::setTokenInformation> token_{World::SetTokenSession};
    const ServiceStandIn<&ServiceCalls::createProcessAsUser> start_{World::StartAsUser};
    const ServiceStandIn<&ServiceCalls::registerEventSource> openLog_{World::OpenLog};
    const ServiceStandIn<&ServiceCalls::reportEvent> log_{World::Log};
    const ServiceStandIn<&ServiceCalls::deregisterEventSource> closeLog_{World::CloseLog};
    ServiceRun run_{program_};
};

TEST_F(SupervisorTest, AtItsStartEachSessionWithAUserGetsTheProgramAsSystemOnItsDesktop) {
    World::listed = {{0, nullptr, WTSDisconnected}, {2, nullptr, WTSActive}, {3, nullptr, WTSConnected}};
    World::users = {{2, "child"}};
    run_.supervisor.ServeSessionsNow();
    ASSERT_EQ(SessionsStarted(), std::vector<DWORD>{2});
    const Start& start = World::starts[0];
    EXPECT_EQ(start.application, program_);
    EXPECT_EQ(start.commandLine, "\"" + program_ + "\"");
    EXPECT_EQ(start.desktop, "winsta0\\default");
    EXPECT_EQ(start.folder, folder_.Path());
    EXPECT_TRUE(start.primaryOfThisAccount) << "not this process's own token as a primary token";
    EXPECT_EQ(LastEvent().type, EVENTLOG_INFORMATION_TYPE);
    EXPECT_EQ(LastEvent().message, static_cast<DWORD>(MSG_STARTED));
    EXPECT_EQ(LastEvent().inserts, (std::vector<std::string>{"2", program_, std::to_string(start.id)}));
}

TEST_F(SupervisorTest, NoticesStartOneProgramPerSessionWithAUserAndALogOffNone) {
    World::users = {{5, "child"}};
    Notice(WTS_SESSION_LOGON, 4);
    Notice(WTS_SESSION_LOGON, 4);    // one runs there already
    Notice(WTS_CONSOLE_CONNECT, 5);  // a user's session connects
    Notice(WTS_REMOTE_CONNECT, 6);   // a log-on screen connects
    Notice(WTS_SESSION_UNLOCK, 7);
    EXPECT_EQ(SessionsStarted(), (std::vector<DWORD>{4, 5}));
    Notice(WTS_SESSION_LOGOFF, 4);
    End(0, 1);  // ended with the session
    Pass(kRestartDelayMs);
    EXPECT_EQ(World::starts.size(), 2u);
}

TEST_F(SupervisorTest, AnEndFromOutsideIsUndoneAfterTheDelayAndAnExitWithZeroIsNot) {
    Notice(WTS_SESSION_LOGON, 2);
    End(0, 1);
    Pass(kRestartDelayMs - 1);
    EXPECT_EQ(World::starts.size(), 1u) << "back before the delay";
    Pass(1);
    ASSERT_EQ(SessionsStarted(), (std::vector<DWORD>{2, 2}));
    EXPECT_EQ(LastEvent().type, EVENTLOG_WARNING_TYPE);
    EXPECT_EQ(LastEvent().message, static_cast<DWORD>(MSG_RESTARTED));
    EXPECT_EQ(LastEvent().inserts[3], ToAnsi("退出代码 1"));
    End(1, 0);
    Pass(kRestartDelayMs * 100);
    EXPECT_EQ(World::starts.size(), 2u);
    EXPECT_EQ(LastEvent().message, static_cast<DWORD>(MSG_FINISHED));
}

TEST_F(SupervisorTest, QuickEndsInARowGiveUpUntilTheNextLogOn) {
    Notice(WTS_SESSION_LOGON, 2);
    for (int i = 0; i < kQuickEndsToGiveUp; ++i) {
        End(i, 0xC0000005);
        Pass(kRestartDelayMs);
    }
    EXPECT_EQ(World::starts.size(), static_cast<size_t>(kQuickEndsToGiveUp));
    EXPECT_EQ(LastEvent().type, EVENTLOG_ERROR_TYPE);
    EXPECT_EQ(LastEvent().message, static_cast<DWORD>(MSG_GAVE_UP));
    EXPECT_EQ(LastEvent().inserts[3], ToAnsi("退出代码 3221225477 (0xC0000005)"));
    Notice(WTS_SESSION_LOGON, 2);
    EXPECT_EQ(World::starts.size(), static_cast<size_t>(kQuickEndsToGiveUp) + 1);
}

TEST_F(SupervisorTest, AStartThatFailsIsToldWithTheSystemsTextAndTriedAgain) {
    World::startError = ERROR_ACCESS_DENIED;
    Notice(WTS_SESSION_LOGON, 2);
    EXPECT_EQ(LastEvent().message, static_cast<DWORD>(MSG_START_FAILED));
    EXPECT_EQ(LastEvent().inserts[2], OsErrorMessage(ERROR_ACCESS_DENIED));
    World::startError = 0;
    Pass(kRestartDelayMs);
    EXPECT_EQ(SessionsStarted(), std::vector<DWORD>{2});
    EXPECT_EQ(LastEvent().message, static_cast<DWORD>(MSG_RESTARTED));
}

TEST_F(SupervisorTest, AProgramOthersMayChangeIsRefusedOnceAndToldWhy) {
    OpenToEveryone(folder_.Path());
    Notice(WTS_SESSION_LOGON, 2);
    Pass(kRestartDelayMs * 100);
    EXPECT_TRUE(World::starts.empty());
    ASSERT_EQ(World::events.size(), 1u);
    EXPECT_EQ(LastEvent().type, EVENTLOG_ERROR_TYPE);
    EXPECT_EQ(LastEvent().message, static_cast<DWORD>(MSG_REFUSED));
    EXPECT_EQ(LastEvent().inserts[2].rfind(folder_.Path() + ": ", 0), 0u) << LastEvent().inserts[2];
}

TEST_F(SupervisorTest, OneOfOursRunningInTheSessionIsTakenOnButOneOfTheSameNameFromElsewhereIsNot) {
    const PROCESS_INFORMATION elsewhere = Suspended(OwnFolder() + "\\pw_gate.exe");
    const PROCESS_INFORMATION ours = Suspended(program_);
    const Handle keptElsewhere(elsewhere.hProcess), keptOurs(ours.hProcess);
    DWORD session = 0;
    ProcessIdToSessionId(ours.dwProcessId, &session);
    Notice(WTS_SESSION_LOGON, session);
    EXPECT_TRUE(World::starts.empty());
    EXPECT_EQ(LastEvent().message, static_cast<DWORD>(MSG_FOUND));
    EXPECT_EQ(LastEvent().inserts[2], std::to_string(ours.dwProcessId));

    TerminateProcess(ours.hProcess, 1);
    ASSERT_EQ(WaitForSingleObject(ours.hProcess, kWaitMs), WAIT_OBJECT_0);
    run_.supervisor.TakeStep();
    Pass(kRestartDelayMs);
    EXPECT_EQ(SessionsStarted(), std::vector<DWORD>{session});
    TerminateProcess(elsewhere.hProcess, 0);
}

DWORD WINAPI RunService(void* run) {
    static_cast<ServiceRun*>(run)->supervisor.Run();
    return 0;
}

TEST_F(SupervisorTest, TheRunFollowsNoticesUntilTheHandlerStopsIt) {
    const Handle thread(CreateThread(nullptr, 0, RunService, &run_, 0, nullptr));
    WTSSESSION_NOTIFICATION notice{sizeof(notice), 2};
    ServiceControl(SERVICE_CONTROL_SESSIONCHANGE, WTS_SESSION_LOGON, &notice, &run_);
    EXPECT_EQ(WaitForSingleObject(World::started.get(), kWaitMs), WAIT_OBJECT_0) << "no start after a log-on";
    EXPECT_EQ(ServiceControl(SERVICE_CONTROL_STOP, 0, nullptr, &run_), static_cast<DWORD>(NO_ERROR));
    if (WaitForSingleObject(thread.get(), kWaitMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the run goes on after the stop";
        TerminateThread(thread.get(), 1);
    }
    EXPECT_EQ(SessionsStarted(), std::vector<DWORD>{2});
}

}  // namespace
}  // namespace pwg::test
