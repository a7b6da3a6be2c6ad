#pragma once
// The service registered with all that belongs to it, and removed again: what
// `pw_gate_svc.exe install` and `uninstall` do for the installer. Both need
// administrator rights. Failures are raised as pwg::Error naming what failed,
// with the system's text. Texts are ANSI.
#include <windows.h>

#include <string>

namespace pwg {

inline constexpr char kServiceDisplayName[] = "岚栖自动关机助手服务";  // UTF-8
inline constexpr char kServiceDescription[] =
    "在每个登录的会话中启动岚栖自动关机助手（pw_gate.exe），使用者无法结束它；它被意外结束后重新启动它。";
// The Service Control Manager starts the service again after each of its
// crashes, this long after; the count of crashes starts anew after a day.
inline constexpr DWORD kServiceRestartMs = 5000;
inline constexpr DWORD kFailureCountResetSeconds = 24 * 60 * 60;

// The service for the program file at `servicePath`: its own process,
// LocalSystem, started automatically, restarted by the Service Control
// Manager after a crash, with its description; started in Safe Mode too; and
// the event source of its reports. What is there already is brought up to date.
void RegisterService(const std::string& servicePath);
// Starts the service and waits, within a bound, until it runs.
void StartServiceAndWait();
// Stops the service and waits, within a bound, until it has; nothing when
// it is not there or not running.
void StopServiceAndWait();
// Ends every pw_gate.exe running from this folder.
void EndProgramsIn(const std::string& folder);
// The service, its Safe Mode keys and its event source gone; what is not
// there is no failure.
void UnregisterService();

// The two commands: 0 when all went well; otherwise what failed is on
// standard error, and the result is not 0.
int InstallCommand();
int UninstallCommand();

}  // namespace pwg
