#pragma once
// pw_gate_svc as the Service Control Manager runs it: LocalSystem, started
// with Windows, told of every session's log-ons and connects. Texts are ANSI.
#include <windows.h>

#include <string>

#include "core/Processes.h"
#include "service/Supervisor.h"

namespace pwg {


// One run of the service: the supervisor, and where the Service Control
// Manager is told the service's state (none in tests).
struct ServiceRun {
    explicit ServiceRun(std::string programPath) : supervisor(std::move(programPath)) {}
    void Tell(DWORD state) const;

    Supervisor supervisor;
    SERVICE_STATUS_HANDLE status = nullptr;
};

// The handler the service registers, `context` its ServiceRun: a stop or the
// system's shutdown ends the run (the programs run on); a session notice
// goes to the supervisor.
DWORD WINAPI ServiceControl(DWORD control, DWORD eventType, void* eventData, void* context);

// Gives this thread to the Service Control Manager until the service stops;
// false at once when it was not the Service Control Manager that started
// this process (GetLastError says why).
bool RunAsService();

// This program's file, and its folder (where pw_gate.exe lies too).
std::string OwnPath();
std::string OwnFolder();

}  // namespace pwg
