#include "tests/support/Run.h"

#include <gtest/gtest.h>

#include "common/Handles.h"
#include "tests/support/Files.h"

namespace pwg::test {

ProgramRun RunToEnd(const std::string& exe, const std::string& arguments, DWORD timeoutMs, HANDLE token) {
    ProgramRun run;
    char outputPath[MAX_PATH];
    if (!GetTempFileNameA(TempFolder().c_str(), "pwg", 0, outputPath)) {
        ADD_FAILURE() << "no file for the output of " << exe;
        return run;
    }
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    Handle output(CreateFileA(outputPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              &inheritable, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (output.get() == INVALID_HANDLE_VALUE) {
        output.release();
        ADD_FAILURE() << "cannot open " << outputPath;
        return run;
    }
    STARTUPINFOA startup{sizeof(startup)};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = output.get();
    std::string commandLine = "\"" + exe + "\" " + arguments;
    PROCESS_INFORMATION info{};
    if (!(token ? CreateProcessAsUserA(token, exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                       nullptr, nullptr, &startup, &info)
                : CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                 nullptr, &startup, &info))) {
        ADD_FAILURE() << "cannot start " << exe << ": error " << GetLastError();
        return run;
    }
    const Handle process(info.hProcess), thread(info.hThread);
    if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), ~0u);
        ADD_FAILURE() << commandLine << ": still running after " << timeoutMs << " ms";
        return run;
    }
    GetExitCodeProcess(process.get(), &run.exitCode);
    SetFilePointer(output.get(), 0, nullptr, FILE_BEGIN);
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(output.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) run.output.append(buffer, got);
    return run;
}

Handle TokenWithoutAdministrators() {
    HANDLE own = nullptr, restricted = nullptr;
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    SID_AND_ATTRIBUTES administrators{sid, 0};
    EXPECT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size) &&
                OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &own) &&
                CreateRestrictedToken(own, 0, 1, &administrators, 0, nullptr, 0, nullptr, &restricted))
        << "error " << GetLastError();
    if (own) CloseHandle(own);
    return Handle(restricted);
}

}  // namespace pwg::test
