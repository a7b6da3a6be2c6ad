#pragma once
#include <windows.h>

#include <string>

namespace pwg {

// "System Error.  Code: 5.\r\nAccess is denied" for a code, or
// "A call to an OS function failed" when the system gave none.
std::string OsErrorMessage(DWORD code);
[[noreturn]] void RaiseLastOsError();

}  // namespace pwg
