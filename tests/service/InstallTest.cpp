// The registration with the test prefix's own Service Control Manager, read
// back through it and from the registry as Windows' tools read it, and its
// removal. Wine keeps no failure actions (QueryServiceConfig2 does not know
// them): they are read where the registration hands them over.
#include "service/Install.h"

#include <gtest/gtest.h>

#include "Messages.h"
#include "common/Ansi.h"
#include "common/Handles.h"
#include "common/ServiceCalls.h"
#include "service/Service.h"
#include "tests/support/Registry.h"
#include "tests/support/StandIn.h"

namespace pwg::test {
namespace {

constexpr char kEventSource[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\pw_gate_svc";
constexpr const char* kSafeBoot[] = {"SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Minimal\\pw_gate_svc",
                                     "SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Network\\pw_gate_svc"};

struct FailureActions {
    static inline DWORD resetSeconds = 0;
    static inline std::vector<SC_ACTION> actions;
    static BOOL WINAPI Record(SC_HANDLE service, DWORD level, LPVOID info) {
        if (level == SERVICE_CONFIG_FAILURE_ACTIONS) {
            const auto& failure = *static_cast<SERVICE_FAILURE_ACTIONSA*>(info);
            resetSeconds = failure.dwResetPeriod;
            actions.assign(failure.lpsaActions, failure.lpsaActions + failure.cActions);
        }
        return ChangeServiceConfig2A(service, level, info);
    }
};

std::optional<std::pair<DWORD, std::string>> SystemValue(const char* key, const char* name) {
    return StoredRaw(HKEY_LOCAL_MACHINE, key, name, KEY_WOW64_64KEY);
}

// The text the Event Viewer shows for an event of the source, in no language in particular.
std::string EventText(const std::string& messageFile, DWORD message, std::vector<const char*> inserts) {
    std::vector<DWORD_PTR> arguments;
    for (const char* insert : inserts) arguments.push_back(reinterpret_cast<DWORD_PTR>(insert));
    const HMODULE texts = LoadLibraryExA(messageFile.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY, texts, message, 0,
        reinterpret_cast<char*>(&text), 0, reinterpret_cast<va_list*>(arguments.data()));
    std::string found(text ? text : "<none>", length);
    LocalFree(text);
    if (texts) FreeLibrary(texts);
    while (!found.empty() && (found.back() == '\n' || found.back() == '\r')) found.pop_back();
    return found;
}

class ServiceRegistration : public ::testing::Test {
protected:
    void SetUp() override { UnregisterService(); }
    void TearDown() override { UnregisterService(); }

    const StandIn<&ServiceCalls::changeServiceConfig2, serviceCalls> failureActions_{FailureActions::Record};
};

TEST_F(ServiceRegistration, RegistersAllThatBelongsToTheServiceUpdatesItAndRemovesItAll) {
    const std::string path = OwnFolder() + "\\pw_gate_svc.exe";
    RegisterService("C:\\elsewhere\\pw_gate_svc.exe");
    RegisterService(path);
    const ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    ServiceHandle service(OpenServiceA(manager.get(), "pw_gate_svc", SERVICE_QUERY_CONFIG));
    ASSERT_TRUE(service) << "error " << GetLastError();
    std::vector<BYTE> buffer(8192);
    DWORD size = 0;
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    ASSERT_TRUE(QueryServiceConfigA(service.get(), config, 8192, &size));
    EXPECT_EQ(config->dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_STREQ(config->lpBinaryPathName, ("\"" + path + "\"").c_str()) << "quoted, for the blanks in Program Files";
    EXPECT_STREQ(config->lpServiceStartName, "LocalSystem");
    EXPECT_STREQ(config->lpDisplayName, ToAnsi("岚栖自动关机助手服务").c_str());
    ASSERT_TRUE(QueryServiceConfig2A(service.get(), SERVICE_CONFIG_DESCRIPTION, buffer.data(), 8192, &size));
    EXPECT_STREQ(reinterpret_cast<SERVICE_DESCRIPTIONA*>(buffer.data())->lpDescription,
                 ToAnsi(kServiceDescription).c_str());
    // Restarted 5 s after each crash, the last action standing for all later ones.
    EXPECT_EQ(FailureActions::resetSeconds, 86400u);
    ASSERT_EQ(FailureActions::actions.size(), 3u);
    for (const SC_ACTION& action : FailureActions::actions) {
        EXPECT_EQ(action.Type, SC_ACTION_RESTART);
        EXPECT_EQ(action.Delay, 5000u);
    }
    for (const char* key : kSafeBoot)
        EXPECT_EQ(SystemValue(key, ""), std::pair(static_cast<DWORD>(REG_SZ), std::string("Service", 8))) << key;
    EXPECT_EQ(SystemValue(kEventSource, "EventMessageFile"),
              std::pair(static_cast<DWORD>(REG_EXPAND_SZ), path + std::string(1, '\0')));
    EXPECT_EQ(SystemValue(kEventSource, "TypesSupported"),
              std::pair(static_cast<DWORD>(REG_DWORD), std::string("\x07\0\0\0", 4)));
    EXPECT_EQ(EventText(path, MSG_RESTARTED, {"2", "C:\\pw_gate\\pw_gate.exe", "77", "x"}),
              ToAnsi("已在会话 2 中重新启动 C:\\pw_gate\\pw_gate.exe（进程 77）。上一次：x"));

    service.reset();
    UnregisterService();
    EXPECT_FALSE(ServiceHandle(OpenServiceA(manager.get(), "pw_gate_svc", SERVICE_QUERY_CONFIG)));
    for (const char* key : {kSafeBoot[0], kSafeBoot[1], kEventSource})
        EXPECT_EQ(ContentsOf(HKEY_LOCAL_MACHINE, key), std::nullopt) << key;
}

}  // namespace
}  // namespace pwg::test
