#pragma once
// The processes of the program and of its service: their files' names, the
// processes of one file now running, and who started this one.
#include <windows.h>

#include <string>
#include <vector>

namespace pwg {

inline constexpr char kProgramFile[] = "pw_gate.exe";
// The service that starts the program in every session, and its file beside the program's.
inline constexpr char kServiceName[] = "pw_gate_svc";
inline constexpr char kServiceFile[] = "pw_gate_svc.exe";

// The ids of the processes whose file has this name (any case).
std::vector<DWORD> ProcessesNamed(const char* fileName);

// The file a process runs, as Windows names it; empty when it cannot be read.
std::string ProcessImage(HANDLE process);
// The file of the process that started this one, while it still runs; empty
// when it cannot be told.
std::string ParentImage();

}  // namespace pwg
