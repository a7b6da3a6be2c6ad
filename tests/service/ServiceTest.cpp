// The real pw_gate_svc.exe, installed from a copy of the files in the test
// prefix's Program Files as the installer will install them, run by Wine's
// services.exe, and the real pw_gate.exe it starts in the one session Wine
// has, driven from outside as an administrator or a child would drive it.
#include <gtest/gtest.h>

#include <memory>

#include "common/Handles.h"
#include "core/Instance.h"
#include "service/Install.h"
#include "service/Service.h"
#include "service/SessionRules.h"
#include "tests/e2e/Program.h"
#include "tests/support/Files.h"
#include "tests/support/Registry.h"
#include "tests/support/Run.h"

namespace pwg::test {
namespace {

// How long a start by the service may take: Wine may have to start its desktop first.
constexpr DWORD kStartMs = 30000;
constexpr DWORD kCommandMs = 60000;

std::string ProgramFiles() {
    char path[MAX_PATH];
    return std::string(path, GetEnvironmentVariableA("ProgramFiles", path, MAX_PATH));
}

// What a run ended before its own clean-up (killed at its time limit) left:
// the service, and the programs it started.
struct NothingLeftBehind {
    NothingLeftBehind() {
        StopServiceAndWait();
        EndProgramsIn(ProgramFiles() + "\\pw_gate");
        UnregisterService();
    }
};

class InstalledService : public ::testing::Test {
protected:
    InstalledService() {
        for (const char* file : {"pw_gate.exe", "GetTime.dll", "pw_gate_svc.exe"})
            folder_.Copy(OwnFolder() + "\\" + file, file);
    }
    // The service and its programs go, whatever the test left.
    void TearDown() override { Service("uninstall"); }

    ProgramRun Service(const char* command) { return RunToEnd(folder_.File("pw_gate_svc.exe"), command, kCommandMs); }

    // A pw_gate.exe of the folder running now, other than `before`; null when none comes within the bound.
    std::unique_ptr<Program> NextProgram(const Program* before, DWORD timeoutMs) const {
        return NextProgramFrom(program_, before, timeoutMs);
    }

    CleanRegistry registry_;
    const NothingLeftBehind before_;
    ScratchFolder folder_{ProgramFiles() + "\\pw_gate"};
    const std::string program_ = folder_.File("pw_gate.exe");
};

TEST_F(InstalledService, StartsTheProgramInTheConsoleSessionAndBringsItBackAfterAnEndFromOutside) {
    const ProgramRun install = Service("install");
    ASSERT_EQ(install.exitCode, 0u) << install.output;
    // Held until the end, so that its process id is not given to another.
    const std::unique_ptr<Program> first = NextProgram(nullptr, kStartMs);
    ASSERT_TRUE(first) << "no pw_gate.exe started from " << folder_.Path();
    DWORD session = 0;
    ProcessIdToSessionId(first->Id(), &session);
    EXPECT_EQ(session, 1u);
    ASSERT_TRUE(first->WaitUntilRunning()) << "the program the service started does not run (exit code "
                                            << first->WaitForExit(0).value_or(STILL_ACTIVE) << ")";

    // One per session: a start by hand (or by the Run entry) leaves at once.
    Program byHand(program_);
    EXPECT_EQ(byHand.WaitForExit(kStartMs), DWORD(kLeftToTheService)) << "a second program in the session";

    first->End(1);
    const std::unique_ptr<Program> second = NextProgram(first.get(), kRestartDelayMs + kStartMs);
    ASSERT_TRUE(second) << "not started again after an end from outside";
    EXPECT_TRUE(second->WaitUntilRunning());

    const ProgramRun uninstall = Service("uninstall");
    EXPECT_EQ(uninstall.exitCode, 0u) << uninstall.output;
    EXPECT_EQ(second->WaitForExit(kWaitMs), 0u) << "the uninstall left the program running";
    const ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    EXPECT_FALSE(ServiceHandle(OpenServiceA(manager.get(), kServiceName, SERVICE_QUERY_STATUS)));
}

TEST_F(InstalledService, LeavesTheProgramEndedByItsExitCommandWithThePassword) {
    const ProgramRun install = Service("install");
    ASSERT_EQ(install.exitCode, 0u) << install.output;
    const std::unique_ptr<Program> program = NextProgram(nullptr, kStartMs);
    ASSERT_TRUE(program && program->WaitUntilRunning()) << "the service started no program that runs";

    ASSERT_TRUE(ExitWithPassword(*program, "739105"));
    ASSERT_EQ(program->WaitForExit(10000), 0u);
    // Three times what a restart takes.
    EXPECT_FALSE(NextProgram(program.get(), 3 * kRestartDelayMs + 5000)) << "started again after its exit command";
    // Where the service has none running, an administrator's start stays.
    Program byHand(program_);
    EXPECT_TRUE(byHand.WaitUntilRunning()) << "exit code " << byHand.WaitForExit(0).value_or(STILL_ACTIVE);
}

// Without an argument outside the Service Control Manager it says the same on
// Windows; Wine's dispatcher may wait on the control pipe of the service
// process it started last instead.
TEST(ServiceProgram, GivenWhatItDoesNotKnowItSaysWhatItIsAndHowToInstallIt) {
    const ProgramRun run = RunToEnd(OwnFolder() + "\\pw_gate_svc.exe", "start", kWaitMs);
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_NE(run.output.find("pw_gate_svc.exe install | uninstall"), std::string::npos) << run.output;
}

}  // namespace
}  // namespace pwg::test
