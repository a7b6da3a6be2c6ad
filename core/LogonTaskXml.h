#pragma once
// The definition of the log-on task in the Task Scheduler's XML form (task
// schema 1.2, Windows 7 and later). Portable: the Windows layer registers it.
#include <string>
#include <string_view>

namespace pwg {

inline constexpr wchar_t kUsersGroup[] = L"S-1-5-32-545";  // BUILTIN\Users: whoever logs on

// Starts the program at `programPath` at the log-on of any user, as that user
// in that session (the Users group), with highest privileges, without a time
// limit, on battery as on mains, at normal priority, and once for every
// log-on, also while it runs in another user's session.
std::wstring LogonTaskXml(std::wstring_view programPath);

}  // namespace pwg
