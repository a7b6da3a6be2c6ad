#pragma once
// The task through which the Task Scheduler starts the program at log-on.
// With User Account Control on, Windows starts no program that requires
// elevation out of the Run keys at log-on; a task that runs with highest
// privileges it does start. UI thread.
#include <windows.h>
#include <taskschd.h>

#include <string_view>

#include "common/Com.h"

namespace pwg {

inline constexpr wchar_t kLogonTaskName[] = L"pw_gate";  // in the root folder

// Registers the task of LogonTaskXml for the program at `path` (ANSI),
// replacing the task if it exists. Throws pwg::Error
// "System Error.  Code: <code>.\r\n<text>".
void RegisterLogonTask(std::string_view path);
// Removes the task; nothing when there is none. Throws as RegisterLogonTask.
void RemoveLogonTask();
// The root folder of this computer's Task Scheduler, connected as the
// current user through `service`. Throws as RegisterLogonTask.
ComPtr<ITaskFolder> TaskRootFolder(ComPtr<ITaskService>& service);

// Whether User Account Control is on (the system's EnableLUA policy, on when
// not set). With it off the Run entry starts the program at log-on, and the
// task would start a second one.
bool UserAccountControlOn();

}  // namespace pwg
