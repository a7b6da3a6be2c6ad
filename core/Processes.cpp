#include "core/Processes.h"

#include <tlhelp32.h>

#include "common/Handles.h"

namespace pwg {

std::vector<DWORD> ProcessesNamed(const char* fileName) {
    std::vector<DWORD> ids;
    HANDLE raw = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (raw == INVALID_HANDLE_VALUE) return ids;
    const Handle snapshot(raw);
    PROCESSENTRY32 entry{sizeof(entry)};
    for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry))
        if (lstrcmpiA(entry.szExeFile, fileName) == 0) ids.push_back(entry.th32ProcessID);
    return ids;
}

std::string ProcessImage(HANDLE process) {
    char path[MAX_PATH * 2];
    DWORD size = sizeof path;
    return QueryFullProcessImageNameA(process, 0, path, &size) ? std::string(path, size) : std::string();
}

std::string ParentImage() {
    HANDLE raw = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (raw == INVALID_HANDLE_VALUE) return {};
    const Handle snapshot(raw);
    const DWORD self = GetCurrentProcessId();
    PROCESSENTRY32 entry{sizeof(entry)};
    for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
        if (entry.th32ProcessID != self) continue;
        const Handle parent(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ParentProcessID));
        return parent ? ProcessImage(parent.get()) : std::string();
    }
    return {};
}

}  // namespace pwg
