// The release's installer, run silently as a deployment runs it, in a prefix
// of its own that the suite's set-up made new: a machine on which nothing of
// the program was ever installed. The service it installs starts the real
// pw_gate.exe; its uninstaller takes everything away but the settings.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "common/Ansi.h"
#include "common/Com.h"
#include "common/Handles.h"
#include "core/LogonTask.h"
#include "core/Scramble.h"
#include "dialogs/U3_psw.h"
#include "service/Service.h"
#include "service/SessionRules.h"
#include "tests/e2e/Program.h"
#include "tests/support/Files.h"
#include "tests/support/Registry.h"
#include "tests/support/Run.h"

namespace pwg::test {
namespace {

// Where a 32-bit installer puts it on 64-bit Windows, as the prefix is.
constexpr char kFolder[] = "C:\\Program Files (x86)\\pw_gate";
constexpr const char* kShipped[] = {"pw_gate.exe", "GetTime.dll", "pw_gate_svc.exe"};
// In the 32-bit view, where the 32-bit installer writes it.
constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\pw_gate";
constexpr char kEventSourceKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\pw_gate_svc";
constexpr const char* kSafeBootKeys[] = {"SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Minimal\\pw_gate_svc",
                                         "SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Network\\pw_gate_svc"};
constexpr DWORD kCommandMs = 60000;
// A start by the service: Wine may have to start its desktop first.
constexpr DWORD kStartMs = 30000;
constexpr DWORD kRestartMs = static_cast<DWORD>(kRestartDelayMs);

std::string InFolder(const char* file) { return std::string(kFolder) + "\\" + file; }
std::string Sz(std::string text) { return text + '\0'; }
std::string Dword(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), sizeof value); }
bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
bool SameFile(const std::string& a, const std::string& b) {
    const auto bytes = FileContents(a);
    return bytes && bytes == FileContents(b);
}

// The installer the release leaves beside bin/, where this test program is.
ProgramRun RunSetup(HANDLE token = nullptr) {
    return RunToEnd(OwnFolder() + "\\..\\" PWG_SETUP_FILE, "/S", kCommandMs, token);
}

// As a deployment waits for its end and its exit code: a copy outside the
// folder, told the folder (run from the folder, it hands over to a copy of
// itself and returns at once).
ProgramRun Uninstall() {
    const ScratchFolder copy(TempFolder() + "pwg-uninstaller");
    copy.Copy(InFolder("uninstall.exe"), "uninstall.exe");
    return RunToEnd(copy.File("uninstall.exe"), std::string("/S _?=") + kFolder, kCommandMs);
}

std::unique_ptr<Program> StartedByTheService(const Program* before = nullptr) {
    return NextProgramFrom(InFolder("pw_gate.exe"), before, kStartMs + kRestartMs);
}

ServiceHandle OurService() {
    const ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    return ServiceHandle(OpenServiceA(manager.get(), kServiceName, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS));
}

class Installer : public ::testing::Test {
protected:
    // Whatever the test installed goes, and the settings it stored with it.
    void TearDown() override {
        if (Exists(InFolder("uninstall.exe"))) Uninstall();
    }

    CleanRegistry registry_;
};

TEST_F(Installer, PutsTheFilesInProgramFilesRegistersTheServiceAndAddsTheEntry) {
    const ProgramRun setup = RunSetup();
    ASSERT_EQ(setup.exitCode, 0u) << setup.output;
    for (const char* file : kShipped)
        EXPECT_TRUE(SameFile(InFolder(file), OwnFolder() + "\\" + file)) << file << " is not the release's";
    EXPECT_TRUE(Exists(InFolder("uninstall.exe")));

    const ServiceHandle service = OurService();
    ASSERT_TRUE(service) << "no service " << kServiceName;
    std::vector<BYTE> buffer(8192);
    DWORD size = 0;
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    ASSERT_TRUE(QueryServiceConfigA(service.get(), config, static_cast<DWORD>(buffer.size()), &size));
    EXPECT_EQ(config->dwStartType, DWORD{SERVICE_AUTO_START});
    EXPECT_STREQ(config->lpServiceStartName, "LocalSystem");
    EXPECT_EQ(config->lpBinaryPathName, "\"" + InFolder("pw_gate_svc.exe") + "\"") << "quoted, for the blanks";
    SERVICE_STATUS status{};
    ASSERT_TRUE(QueryServiceStatus(service.get(), &status));
    EXPECT_EQ(status.dwCurrentState, DWORD{SERVICE_RUNNING});
    // Wine keeps no failure actions to read back: the service's own tests
    // check them where the registration hands them over.
    for (const char* key : kSafeBootKeys)
        EXPECT_EQ(StoredRaw(HKEY_LOCAL_MACHINE, key, "", KEY_WOW64_64KEY), std::pair(DWORD{REG_SZ}, Sz("Service")))
            << key;

    const std::string uninstaller = "\"" + InFolder("uninstall.exe") + "\"";
    const struct {
        const char* name;
        DWORD type;
        std::string data;
    } entry[] = {
        {"DisplayName", REG_SZ, Sz(ToAnsi("岚栖自动关机助手"))},
        {"DisplayVersion", REG_SZ, Sz(PWG_VERSION)},
        {"Publisher", REG_SZ, Sz(ToAnsi("岚栖"))},
        {"DisplayIcon", REG_SZ, Sz(InFolder("pw_gate.exe"))},
        {"InstallLocation", REG_SZ, Sz(kFolder)},
        {"UninstallString", REG_SZ, Sz(uninstaller)},
        {"QuietUninstallString", REG_SZ, Sz(uninstaller + " /S")},
        {"NoModify", REG_DWORD, Dword(1)},
        {"NoRepair", REG_DWORD, Dword(1)},
    };
    for (const auto& value : entry)
        EXPECT_EQ(StoredRaw(HKEY_LOCAL_MACHINE, kUninstallKey, value.name, KEY_WOW64_32KEY),
                  std::pair(value.type, value.data))
            << value.name;
    double bytes = 0;
    for (const char* file : {"pw_gate.exe", "GetTime.dll", "pw_gate_svc.exe", "uninstall.exe"})
        bytes += FileContents(InFolder(file)).value_or("").size();
    const auto estimated = StoredRaw(HKEY_LOCAL_MACHINE, kUninstallKey, "EstimatedSize", KEY_WOW64_32KEY);
    ASSERT_TRUE(estimated && estimated->first == REG_DWORD);
    EXPECT_NEAR(*reinterpret_cast<const DWORD*>(estimated->second.data()), bytes / 1024, 1) << "KiB of the folder";
}

TEST_F(Installer, TheServiceShowsTheProgramInTheTrayAndBringsItBackOnlyAfterAnEndFromOutside) {
    ASSERT_EQ(RunSetup().exitCode, 0u);
    const std::unique_ptr<Program> first = StartedByTheService();
    ASSERT_TRUE(first && first->WaitUntilRunning()) << "the service started no program that runs";
    EXPECT_TRUE(WaitUntil([] { return !ShellTrayIcons().empty(); })) << "no icon in the shell's tray";

    first->End(1);
    const std::unique_ptr<Program> second = StartedByTheService(first.get());
    ASSERT_TRUE(second && second->WaitUntilRunning()) << "not started again after an end from outside";

    ASSERT_TRUE(ExitWithPassword(*second, "739105"));
    ASSERT_EQ(second->WaitForExit(10000), 0u);
    // Three times what a restart takes.
    EXPECT_FALSE(NextProgramFrom(InFolder("pw_gate.exe"), second.get(), 3 * kRestartMs + 5000))
        << "started again after its exit command";
}

TEST_F(Installer, AnUpgradeEndsTheOldInstallationRunsTheNewFilesAndKeepsTheSettings) {
    ASSERT_EQ(RunSetup().exitCode, 0u);
    // An older installation: other files, running under their own service.
    ASSERT_EQ(RunToEnd(InFolder("pw_gate_svc.exe"), "uninstall", kCommandMs).exitCode, 0u);
    for (const char* file : kShipped) AppendToFile(InFolder(file), "older");
    ASSERT_EQ(RunToEnd(InFolder("pw_gate_svc.exe"), "install", kCommandMs).exitCode, 0u);
    const std::unique_ptr<Program> old = StartedByTheService();
    ASSERT_TRUE(old && old->WaitUntilRunning()) << "the older installation's program does not run";
    // Its settings: locked, always outside the usage window, its own password.
    const std::pair<const char*, std::string> settings[] = {
        {"BEGTIME", "23:00:00"}, {"ENDTIME", "11:00:00"}, {"LOCKED", "1"}, {"PSW", Scramble("n3w", kPasswordKey)}};
    for (const auto& [name, value] : settings) StoreSetting(name, value);

    const ProgramRun upgrade = RunSetup();
    ASSERT_EQ(upgrade.exitCode, 0u) << upgrade.output;
    EXPECT_EQ(old->WaitForExit(kWaitMs), 0u) << "the older program still runs";
    for (const char* file : kShipped)
        EXPECT_TRUE(SameFile(InFolder(file), OwnFolder() + "\\" + file)) << file << " was not replaced";
    for (const auto& [name, value] : settings) EXPECT_EQ(StoredSetting(name), value) << name;
    // The new program holds the kept lock, and the kept password lifts it.
    const std::unique_ptr<Program> next = StartedByTheService(old.get());
    ASSERT_TRUE(next) << "the new service started no program";
    HWND unlock = next->WaitUntilLockedOutside();
    ASSERT_TRUE(unlock) << "the new program is not locked";
    TypePassword<Tf3_psw>(unlock, "n3w");
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(unlock) || !Shown(unlock); })) << "the kept password did not unlock";
}

TEST_F(Installer, TheSilentUninstallLeavesNothingButTheSettings) {
    ASSERT_EQ(RunSetup().exitCode, 0u);
    const std::unique_ptr<Program> program = StartedByTheService();
    ASSERT_TRUE(program && program->WaitUntilRunning()) << "the service started no program that runs";
    ASSERT_TRUE(AutoStartEntry()) << "the program wrote no Run entry";
    // What the program registers under User Account Control, and an entry an
    // administrator's 64-bit tool may have left in the other view.
    RegisterLogonTask(InFolder("pw_gate.exe"));
    PutValue(HKEY_LOCAL_MACHINE, kRunKey, "pw_gate", REG_SZ, Sz(InFolder("pw_gate.exe")), KEY_WOW64_64KEY);
    StoreSetting("BEGTIME", "07:00:00");

    const ProgramRun uninstall = Uninstall();
    ASSERT_EQ(uninstall.exitCode, 0u) << uninstall.output;
    EXPECT_EQ(program->WaitForExit(kWaitMs), 0u) << "the program still runs";
    EXPECT_FALSE(Exists(kFolder)) << "the folder is still there";
    EXPECT_FALSE(OurService()) << "the service is still there";
    for (const char* key : {kSafeBootKeys[0], kSafeBootKeys[1], kEventSourceKey, kUninstallKey})
        EXPECT_EQ(ContentsOf(HKEY_LOCAL_MACHINE, key), std::nullopt) << key;
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
        EXPECT_EQ(StoredRaw(HKEY_LOCAL_MACHINE, kRunKey, "pw_gate", view), std::nullopt) << "Run entry, view " << view;
    const ComApartment apartment;
    ComPtr<ITaskService> tasks;
    ComPtr<IRegisteredTask> task;
    EXPECT_FALSE(SUCCEEDED(TaskRootFolder(tasks)->GetTask(Bstr(kLogonTaskName).get(), task.put())))
        << "the log-on task is still there";

    EXPECT_EQ(StoredSetting("BEGTIME"), "07:00:00");
    EXPECT_TRUE(KeptUserKey());
}

// Started by a user without administrator rights (where User Account
// Control is off, or by a standard user who declined it): nothing installed.
TEST_F(Installer, RefusesAUserWithoutAdministratorRights) {
    const Handle user = TokenWithoutAdministrators();
    const ProgramRun setup = RunSetup(user.get());
    EXPECT_EQ(setup.exitCode, 740u) << "ERROR_ELEVATION_REQUIRED";
    EXPECT_FALSE(Exists(kFolder));
}

// The service's registration cannot write its event source: the setup stops
// there with an exit code that says so.
TEST_F(Installer, FailsWithAnExitCodeWhenTheServiceCannotBeInstalled) {
    RegKey blocked;
    ASSERT_EQ(blocked.Create(HKEY_LOCAL_MACHINE, kEventSourceKey, KEY_ALL_ACCESS | KEY_WOW64_64KEY), ERROR_SUCCESS);
    PSECURITY_DESCRIPTOR noWrites = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(D;;0x2;;;WD)(A;;KA;;;WD)", SDDL_REVISION_1,
                                                                     &noWrites, nullptr));
    const LocalMemory owned(noWrites);
    ASSERT_EQ(RegSetKeySecurity(blocked.get(), DACL_SECURITY_INFORMATION, noWrites), ERROR_SUCCESS);

    const ProgramRun setup = RunSetup();
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kEventSourceKey, KEY_WOW64_64KEY, 0);
    EXPECT_EQ(setup.exitCode, 2u) << "the installer's exit code for a stop on failure";
}

}  // namespace
}  // namespace pwg::test
