#include "core/LogonTask.h"

#include <string>

#include "common/Ansi.h"
#include "common/Handles.h"
#include "common/OsCalls.h"
#include "core/LogonTaskXml.h"

namespace pwg {
namespace {

constexpr char kSystemPolicies[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

}  // namespace

ComPtr<ITaskFolder> TaskRootFolder(ComPtr<ITaskService>& service) {
    ComCheck(osCalls.coCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ITaskService),
                                      reinterpret_cast<void**>(service.put())));
    const VARIANT none{};  // VT_EMPTY
    ComCheck(service->Connect(none, none, none, none));
    ComPtr<ITaskFolder> root;
    ComCheck(service->GetFolder(Bstr(L"\\").get(), root.put()));
    return root;
}

void RegisterLogonTask(std::string_view path) {
    const ComApartment apartment;
    ComPtr<ITaskService> service;
    const VARIANT none{};  // the principal of the definition
    ComPtr<IRegisteredTask> registered;
    ComCheck(TaskRootFolder(service)->RegisterTask(Bstr(kLogonTaskName).get(),
                                                   Bstr(LogonTaskXml(WideFromAnsi(path)).c_str()).get(),
                                                   TASK_CREATE_OR_UPDATE, none, none, TASK_LOGON_GROUP, none,
                                                   registered.put()));
}

void RemoveLogonTask() {
    const ComApartment apartment;
    ComPtr<ITaskService> service;
    const HRESULT hr = TaskRootFolder(service)->DeleteTask(Bstr(kLogonTaskName).get(), 0);
    if (hr != HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) ComCheck(hr);
}

bool UserAccountControlOn() {
    RegKey policies;
    DWORD value = 1, size = sizeof value, type = 0;
    // The 64-bit view on 64-bit Windows; a 32-bit one has only one.
    if (policies.Open(HKEY_LOCAL_MACHINE, kSystemPolicies, KEY_QUERY_VALUE | KEY_WOW64_64KEY) != ERROR_SUCCESS ||
        RegQueryValueExA(policies.get(), "EnableLUA", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        return true;
    return value != 0;
}

}  // namespace pwg
