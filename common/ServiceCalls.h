#pragma once
// The service's operating-system calls that tests stand in for, in a table of
// their own beside OsCalls.h, so that pw_gate.exe does not import the session
// library for the service's sake: the sessions and their users, which Wine
// does not list; the token and the start of the program, whose session and
// desktop a test checks and whose failure it makes; the process sessions; the
// event log, which Wine only pretends to keep; the failure actions, which Wine
// does not keep; and the clock the restarts wait by. Each entry has the type,
// calling convention included, of the call it stands for.
#include <windows.h>
#include <wtsapi32.h>

namespace pwg {

struct ServiceCalls {
    decltype(&::WTSEnumerateSessionsA) wtsEnumerateSessions = &::WTSEnumerateSessionsA;
    decltype(&::WTSQuerySessionInformationA) wtsQuerySessionInformation = &::WTSQuerySessionInformationA;
    decltype(&::WTSFreeMemory) wtsFreeMemory = &::WTSFreeMemory;
    decltype(&::WTSGetActiveConsoleSessionId) wtsGetActiveConsoleSessionId = &::WTSGetActiveConsoleSessionId;
    decltype(&::DuplicateTokenEx) duplicateTokenEx = &::DuplicateTokenEx;
    decltype(&::SetTokenInformation) setTokenInformation = &::SetTokenInformation;
    decltype(&::CreateProcessAsUserA) createProcessAsUser = &::CreateProcessAsUserA;
    decltype(&::ProcessIdToSessionId) processIdToSessionId = &::ProcessIdToSessionId;
    decltype(&::RegisterEventSourceA) registerEventSource = &::RegisterEventSourceA;
    decltype(&::ReportEventA) reportEvent = &::ReportEventA;
    decltype(&::DeregisterEventSource) deregisterEventSource = &::DeregisterEventSource;
    decltype(&::ChangeServiceConfig2A) changeServiceConfig2 = &::ChangeServiceConfig2A;
    decltype(&::GetTickCount64) getTickCount64 = &::GetTickCount64;
};

inline ServiceCalls serviceCalls;

}  // namespace pwg
