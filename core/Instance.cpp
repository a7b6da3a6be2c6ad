#include "core/Instance.h"

#include <string>

#include "common/Handles.h"
#include "core/Processes.h"

namespace pwg {
namespace {

// In the session's own namespace: one mark per session.
constexpr char kServedMark[] = "Local\\pw_gate.served";
constexpr char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services\\";

std::string OwnFolder() {
    char path[MAX_PATH * 2];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    const std::string own(path, length < sizeof path ? length : 0);
    return own.substr(0, own.find_last_of('\\') + 1);
}

bool IsAdministrator() {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    BOOL member = FALSE;
    return CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size) &&
           CheckTokenMembership(nullptr, sid, &member) && member;
}

Handle& Mark() {
    static Handle mark;
    return mark;
}

}  // namespace

bool ServiceInstalled() {
    RegKey key;
    // A key that may not be read is there all the same.
    const LSTATUS status =
        key.Open(HKEY_LOCAL_MACHINE, (std::string(kServicesKey) + kServiceName).c_str(), KEY_QUERY_VALUE);
    return status == ERROR_SUCCESS || status == ERROR_ACCESS_DENIED;
}

InstanceFacts ReadInstanceFacts() {
    InstanceFacts facts;
    const Handle mark(OpenMutexA(SYNCHRONIZE, FALSE, kServedMark));
    facts.servedHere = mark || GetLastError() == ERROR_ACCESS_DENIED;
    facts.serviceInstalled = ServiceInstalled();
    facts.administrator = IsAdministrator();
    // Who started this process matters only where the service is, and the
    // look at every process that it takes is spared elsewhere.
    if (facts.serviceInstalled || facts.servedHere)
        facts.startedByService = lstrcmpiA(ParentImage().c_str(), (OwnFolder() + kServiceFile).c_str()) == 0;
    return facts;
}

void MarkServed() {
    if (!Mark()) Mark().reset(CreateMutexA(nullptr, FALSE, kServedMark));
}

}  // namespace pwg
