#pragma once
// The operating-system calls that tests stand in for, in one table: those
// that would end the tests' own session (the two shutdown requests), read
// what the tests cannot set on the test machine (the clocks, the time zone),
// cannot be made to fail on demand (timers, the Task Scheduler), or do
// nothing under Wine (the message filter: Wine lets every message through).
// Everything else calls Windows directly. Each entry has the type, calling
// convention included, of the call it stands for. (GetTime.dll has no
// entries: it is tested as it ships.) The Task Scheduler's is found at its
// first call, so the resident program maps ole32 only for its log-on task.
#include <windows.h>
#include <objbase.h>

#include "common/SystemDll.h"

namespace pwg {

inline constexpr char kCoCreateInstance[] = "CoCreateInstance";

struct OsCalls {
    decltype(&::ExitWindowsEx) exitWindowsEx = &::ExitWindowsEx;
    decltype(&::InitiateSystemShutdownA) initiateSystemShutdown = &::InitiateSystemShutdownA;
    decltype(&::GetSystemTime) getSystemTime = &::GetSystemTime;
    decltype(&::GetLocalTime) getLocalTime = &::GetLocalTime;
    decltype(&::GetDynamicTimeZoneInformation) getDynamicTimeZoneInformation = &::GetDynamicTimeZoneInformation;
    decltype(&::SetTimer) setTimer = &::SetTimer;
    decltype(&::CoCreateInstance) coCreateInstance =
        &OnFirstUse<kOle32, kCoCreateInstance, decltype(&::CoCreateInstance)>::Call;
    decltype(&::ChangeWindowMessageFilterEx) changeWindowMessageFilterEx = &::ChangeWindowMessageFilterEx;
};

inline OsCalls osCalls;

}  // namespace pwg
