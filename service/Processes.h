#pragma once
// The processes of one program now running, by the name of their file.
#include <windows.h>

#include <string>
#include <vector>

namespace pwg {

inline constexpr char kProgramFile[] = "pw_gate.exe";

// The ids of the processes whose file has this name (any case).
std::vector<DWORD> ProcessesNamed(const char* fileName);

// The file a process runs, as Windows names it; empty when it cannot be read.
std::string ProcessImage(HANDLE process);

}  // namespace pwg
