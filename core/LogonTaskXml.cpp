#include "core/LogonTaskXml.h"

namespace pwg {
namespace {

std::wstring Escaped(std::wstring_view text) {
    std::wstring out;
    for (wchar_t c : text) {
        switch (c) {
            case L'&': out += L"&amp;"; break;
            case L'<': out += L"&lt;"; break;
            case L'>': out += L"&gt;"; break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace

std::wstring LogonTaskXml(std::wstring_view programPath) {
    // A log-on trigger that names no user fires for every user. The group
    // principal runs the program as the user who logged on; HighestAvailable
    // gives it that user's elevated token. A task's defaults would stop it
    // after 72 hours or on battery and run it below normal priority.
    return LR"(<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <Triggers>
    <LogonTrigger>
      <Enabled>true</Enabled>
    </LogonTrigger>
  </Triggers>
  <Principals>
    <Principal id="Author">
      <GroupId>)" + std::wstring(kUsersGroup) + LR"(</GroupId>
      <RunLevel>HighestAvailable</RunLevel>
    </Principal>
  </Principals>
  <Settings>
    <MultipleInstancesPolicy>Parallel</MultipleInstancesPolicy>
    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>
    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>
    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>
    <Priority>4</Priority>
  </Settings>
  <Actions Context="Author">
    <Exec>
      <Command>)" + Escaped(programPath) + LR"(</Command>
    </Exec>
  </Actions>
</Task>
)";
}

}  // namespace pwg
