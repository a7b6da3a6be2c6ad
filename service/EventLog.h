#pragma once
// What the service did and what failed, in the Application log under its own
// source; the texts are in its message table (Messages.mc), the inserts ANSI.
#include <windows.h>

#include <initializer_list>
#include <string>

namespace pwg {

inline constexpr char kEventSource[] = "pw_gate_svc";

// type: EVENTLOG_INFORMATION_TYPE, EVENTLOG_WARNING_TYPE or EVENTLOG_ERROR_TYPE.
void LogEvent(WORD type, DWORD message, std::initializer_list<std::string> inserts);

}  // namespace pwg
