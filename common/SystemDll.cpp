#include "common/SystemDll.h"

#include <string>

namespace pwg {

SystemFunction FindSystemFunction(const char* dll, const char* name) {
    char folder[MAX_PATH];
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {nullptr, GetLastError() ? GetLastError() : ERROR_PATH_NOT_FOUND};
    const std::string path = std::string(folder, length) + '\\' + dll;
    // By its full path, so the program's folder is never searched; what it
    // imports is looked for beside it first.
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) return {nullptr, GetLastError()};
    if (FARPROC address = GetProcAddress(module, name)) return {address, ERROR_SUCCESS};
    const DWORD error = GetLastError();
    FreeLibrary(module);
    return {nullptr, error};
}

}  // namespace pwg
