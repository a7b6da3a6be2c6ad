#pragma once
// Another program run to its end, as a test starts a tool: its output goes
// through a file, not a pipe, since a Wine process it starts (services.exe,
// the first time) may hold a pipe open long after it has ended. Texts are ANSI.
#include <windows.h>

#include <string>

#include "common/Handles.h"

namespace pwg::test {

struct ProgramRun {
    DWORD exitCode = ~0u;  // ~0u: it did not start or end in time
    std::string output;    // standard output and standard error, as written
};

// Runs `exe` with these arguments, as this process's user or with `token`; a
// run past the bound is ended, and fails the test naming the command.
ProgramRun RunToEnd(const std::string& exe, const std::string& arguments, DWORD timeoutMs, HANDLE token = nullptr);

// This process's token with the Administrators group kept for denying only:
// a user without administrator rights. Fails the test when it cannot be made.
Handle TokenWithoutAdministrators();

}  // namespace pwg::test
