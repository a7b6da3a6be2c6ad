#pragma once
// The operating-system calls that tests stand in for, in one table: those
// that would end the tests' own session (the two shutdown requests), read a
// clock the tests cannot move (the system time), or cannot be made to fail
// on demand (timers, the Task Scheduler). Everything else calls Windows
// directly. Each entry has the calling convention of the call it stands for.
#include <windows.h>
#include <objbase.h>

namespace pwg {

struct OsCalls {
    decltype(&::ExitWindowsEx) exitWindowsEx = &::ExitWindowsEx;
    decltype(&::InitiateSystemShutdownA) initiateSystemShutdown = &::InitiateSystemShutdownA;
    decltype(&::GetSystemTime) getSystemTime = &::GetSystemTime;
    decltype(&::SetTimer) setTimer = &::SetTimer;
    decltype(&::CoCreateInstance) coCreateInstance = &::CoCreateInstance;
};

inline OsCalls osCalls;

}  // namespace pwg
