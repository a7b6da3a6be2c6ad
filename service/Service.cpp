#include "service/Service.h"

#include <wtsapi32.h>

#include <exception>

#include "Messages.h"
#include "service/EventLog.h"
#include "core/Processes.h"

namespace pwg {
namespace {

// An unexpected failure ends the process as a crash does, so that the
// Service Control Manager's failure actions start the service again.
void EndAsCrashed(const char* what) noexcept {
    try {
        LogEvent(EVENTLOG_ERROR_TYPE, MSG_SERVICE_FAILED, {what});
    } catch (...) {
    }
    TerminateProcess(GetCurrentProcess(), ERROR_SERVICE_SPECIFIC_ERROR);
}

void WINAPI ServiceMain(DWORD, char**) {
    try {
        ServiceRun run(OwnFolder() + "\\" + kProgramFile);
        run.status = RegisterServiceCtrlHandlerExA(kServiceName, ServiceControl, &run);
        if (!run.status) return;  // the Service Control Manager gives up on it
        run.Tell(SERVICE_RUNNING);
        run.supervisor.Run();
        run.Tell(SERVICE_STOPPED);
    } catch (const std::exception& e) {
        EndAsCrashed(e.what());
    } catch (...) {
        EndAsCrashed("?");
    }
}

}  // namespace

void ServiceRun::Tell(DWORD state) const {
    if (!status) return;
    SERVICE_STATUS told{SERVICE_WIN32_OWN_PROCESS, state};
    if (state == SERVICE_RUNNING)
        told.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_SESSIONCHANGE;
    if (state == SERVICE_STOP_PENDING) told.dwWaitHint = 5000;
    SetServiceStatus(status, &told);
}

DWORD WINAPI ServiceControl(DWORD control, DWORD eventType, void* eventData, void* context) {
    auto& run = *static_cast<ServiceRun*>(context);
    try {
        switch (control) {
            case SERVICE_CONTROL_STOP:
            case SERVICE_CONTROL_SHUTDOWN:
                run.Tell(SERVICE_STOP_PENDING);
                run.supervisor.Stop();
                return NO_ERROR;
            case SERVICE_CONTROL_SESSIONCHANGE:
                run.supervisor.Notify(eventType, static_cast<const WTSSESSION_NOTIFICATION*>(eventData)->dwSessionId);
                return NO_ERROR;
            case SERVICE_CONTROL_INTERROGATE:
                return NO_ERROR;
            default:
                return ERROR_CALL_NOT_IMPLEMENTED;
        }
    } catch (...) {  // no memory for the notice
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

bool RunAsService() {
    SERVICE_TABLE_ENTRYA services[] = {{const_cast<char*>(kServiceName), ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(services) != FALSE;
}

std::string OwnPath() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        // A full buffer means the path may have been cut short.
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::string OwnFolder() {
    const std::string path = OwnPath();
    return path.substr(0, path.find_last_of('\\'));
}

}  // namespace pwg
