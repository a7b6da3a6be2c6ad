#include "service/Install.h"

#include <cstdio>
#include <exception>

#include "common/Ansi.h"
#include "common/Error.h"
#include "common/Handles.h"
#include "common/OsError.h"
#include "common/ServiceCalls.h"
#include "core/Processes.h"
#include "service/Service.h"

namespace pwg {
namespace {

constexpr char kSafeBootKeys[][64] = {"SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Minimal\\pw_gate_svc",
                                      "SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Network\\pw_gate_svc"};
constexpr char kEventSourceKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\pw_gate_svc";
// How long the service may take to start or stop, and a program to end.
constexpr DWORD kStateChangeMs = 30000;
constexpr DWORD kProgramEndMs = 10000;

[[noreturn]] void Fail(const char* utf8What, DWORD error) {
    throw Error(ToAnsi(utf8What) + ": " + OsErrorMessage(error));
}

ServiceHandle Manager() {
    ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) Fail("无法打开服务控制管理器", GetLastError());
    return manager;
}

// Our service, or none when it is not registered.
ServiceHandle OpenOurs(const ServiceHandle& manager, DWORD access) {
    ServiceHandle service(OpenServiceA(manager.get(), kServiceName, access));
    if (!service && GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) Fail("无法打开服务 pw_gate_svc", GetLastError());
    return service;
}

// SYSTEM is one key for 32-bit and 64-bit programs; the 64-bit view says where.
void SetValue(const char* key, const char* name, DWORD type, const void* data, DWORD size) {
    RegKey opened;
    LSTATUS status = opened.Create(HKEY_LOCAL_MACHINE, key, KEY_SET_VALUE | KEY_WOW64_64KEY);
    if (status == ERROR_SUCCESS)
        status = RegSetValueExA(opened.get(), name, 0, type, static_cast<const BYTE*>(data), size);
    if (status != ERROR_SUCCESS) throw Error(std::string("HKEY_LOCAL_MACHINE\\") + key + ": " + OsErrorMessage(status));
}

void RemoveKey(const char* key) {
    const LSTATUS status = RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key, KEY_WOW64_64KEY, 0);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        throw Error(std::string("HKEY_LOCAL_MACHINE\\") + key + ": " + OsErrorMessage(status));
}

// Asks for the state until `done` holds or the bound has passed; the last state read.
SERVICE_STATUS_PROCESS WaitFor(const ServiceHandle& service, bool (*done)(DWORD state)) {
    SERVICE_STATUS_PROCESS status{};
    const ULONGLONG deadline = GetTickCount64() + kStateChangeMs;
    for (;;) {
        DWORD size = 0;
        if (!QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                  sizeof status, &size))
            Fail("无法读取服务 pw_gate_svc 的状态", GetLastError());
        if (done(status.dwCurrentState) || GetTickCount64() >= deadline) return status;
        Sleep(100);
    }
}

// A line of the command's output.
void Tell(FILE* out, const char* head, const std::string& text) {
    std::fputs(head, out);
    std::fputs(text.c_str(), out);
    std::fputc('\n', out);
}

std::string StateText(const SERVICE_STATUS_PROCESS& status) {
    return ToAnsi("（状态 ") + std::to_string(status.dwCurrentState) + ToAnsi("，退出代码 ") +
           std::to_string(status.dwWin32ExitCode) + ToAnsi("）");
}

}  // namespace

void RegisterService(const std::string& servicePath) {
    const ServiceHandle manager = Manager();
    // Quoted: an unquoted path with blanks lets Windows try C:\Program.exe first.
    const std::string binary = "\"" + servicePath + "\"";
    const std::string display = ToAnsi(kServiceDisplayName);
    ServiceHandle service(CreateServiceA(manager.get(), kServiceName, display.c_str(), SERVICE_ALL_ACCESS,
                                         SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                         binary.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!service) {
        if (GetLastError() != ERROR_SERVICE_EXISTS) Fail("无法创建服务 pw_gate_svc", GetLastError());
        service.reset(OpenServiceA(manager.get(), kServiceName, SERVICE_ALL_ACCESS));
        if (!service ||
            !ChangeServiceConfigA(service.get(), SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                  binary.c_str(), nullptr, nullptr, nullptr, "LocalSystem", "", display.c_str()))
            Fail("无法更新服务 pw_gate_svc", GetLastError());
    }
    std::string description = ToAnsi(kServiceDescription);
    SERVICE_DESCRIPTIONA describing{description.data()};
    if (!serviceCalls.changeServiceConfig2(service.get(), SERVICE_CONFIG_DESCRIPTION, &describing))
        Fail("无法设置服务 pw_gate_svc 的描述", GetLastError());
    // The last action stands for every later crash too.
    SC_ACTION restart[] = {{SC_ACTION_RESTART, kServiceRestartMs},
                           {SC_ACTION_RESTART, kServiceRestartMs},
                           {SC_ACTION_RESTART, kServiceRestartMs}};
    SERVICE_FAILURE_ACTIONSA failure{kFailureCountResetSeconds, nullptr, nullptr, 3, restart};
    if (!serviceCalls.changeServiceConfig2(service.get(), SERVICE_CONFIG_FAILURE_ACTIONS, &failure))
        Fail("无法设置服务 pw_gate_svc 的失败操作", GetLastError());

    static const char kService[] = "Service";
    for (const char* key : kSafeBootKeys) SetValue(key, nullptr, REG_SZ, kService, sizeof kService);
    SetValue(kEventSourceKey, "EventMessageFile", REG_EXPAND_SZ, servicePath.c_str(),
             static_cast<DWORD>(servicePath.size() + 1));
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    SetValue(kEventSourceKey, "TypesSupported", REG_DWORD, &types, sizeof types);
}

void StartServiceAndWait() {
    const ServiceHandle manager = Manager();
    const ServiceHandle service = OpenOurs(manager, SERVICE_START | SERVICE_QUERY_STATUS);
    if (!service) Fail("无法打开服务 pw_gate_svc", ERROR_SERVICE_DOES_NOT_EXIST);
    if (!StartServiceA(service.get(), 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
        Fail("无法启动服务 pw_gate_svc", GetLastError());
    const SERVICE_STATUS_PROCESS status = WaitFor(service, [](DWORD state) { return state != SERVICE_START_PENDING; });
    if (status.dwCurrentState != SERVICE_RUNNING)
        throw Error(ToAnsi("服务 pw_gate_svc 没有运行起来") + StateText(status));
}

void StopServiceAndWait() {
    const ServiceHandle manager = Manager();
    const ServiceHandle service = OpenOurs(manager, SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (!service) return;
    // Its process, to be waited for too: the service says it has stopped a
    // moment before its process has ended and let go of its file.
    SERVICE_STATUS_PROCESS running{};
    DWORD size = 0;
    Handle process;
    if (QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&running),
                             sizeof running, &size) &&
        running.dwProcessId != 0)
        process.reset(OpenProcess(SYNCHRONIZE, FALSE, running.dwProcessId));
    SERVICE_STATUS status{};
    if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status) && GetLastError() != ERROR_SERVICE_NOT_ACTIVE)
        Fail("无法停止服务 pw_gate_svc", GetLastError());
    const SERVICE_STATUS_PROCESS last = WaitFor(service, [](DWORD state) { return state == SERVICE_STOPPED; });
    if (last.dwCurrentState != SERVICE_STOPPED)
        throw Error(ToAnsi("服务 pw_gate_svc 没有停下来") + StateText(last));
    if (process) WaitForSingleObject(process.get(), kProgramEndMs);
}

void EndProgramsIn(const std::string& folder) {
    const std::string program = folder + "\\" + kProgramFile;
    for (const DWORD id : ProcessesNamed(kProgramFile)) {
        const Handle process(
            OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
        // One that has just ended, or one from elsewhere, is left as it is.
        if (!process || lstrcmpiA(ProcessImage(process.get()).c_str(), program.c_str()) != 0) continue;
        // Exit code 0: the end was meant, nothing starts it again.
        if (!TerminateProcess(process.get(), 0) || WaitForSingleObject(process.get(), kProgramEndMs) != WAIT_OBJECT_0)
            Fail("无法结束 pw_gate.exe", GetLastError());
    }
}

void UnregisterService() {
    const ServiceHandle manager = Manager();
    if (const ServiceHandle service = OpenOurs(manager, DELETE))
        if (!DeleteService(service.get()) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE)
            Fail("无法删除服务 pw_gate_svc", GetLastError());
    for (const char* key : kSafeBootKeys) RemoveKey(key);
    RemoveKey(kEventSourceKey);
}

int InstallCommand() {
    try {
        RegisterService(OwnPath());
        StartServiceAndWait();
        Tell(stdout, "", ToAnsi("已安装并启动服务 pw_gate_svc。"));
        return 0;
    } catch (const std::exception& e) {
        Tell(stderr, "pw_gate_svc install: ", e.what());
        return 1;
    }
}

int UninstallCommand() {
    // Each step as far as it goes, whatever failed before it.
    void (*const steps[])() = {StopServiceAndWait, [] { EndProgramsIn(OwnFolder()); }, UnregisterService};
    int failed = 0;
    for (const auto step : steps) {
        try {
            step();
        } catch (const std::exception& e) {
            Tell(stderr, "pw_gate_svc uninstall: ", e.what());
            ++failed;
        }
    }
    if (!failed) Tell(stdout, "", ToAnsi("已停止并删除服务 pw_gate_svc。"));
    return failed ? 1 : 0;
}

}  // namespace pwg
