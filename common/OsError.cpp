#include "common/OsError.h"

#include "common/Error.h"

namespace pwg {
namespace {

// The system's text for the code, without its trailing full stop and line break.
std::string SystemText(DWORD code) {
    char* buffer = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                   nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text(buffer ? buffer : "", n);
    LocalFree(buffer);
    while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

}  // namespace

std::string OsErrorMessage(DWORD code) {
    if (code == 0) return "A call to an OS function failed";
    return "System Error.  Code: " + std::to_string(static_cast<int>(code)) + ".\r\n" + SystemText(code);
}

void RaiseLastOsError() { throw Error(OsErrorMessage(GetLastError())); }

}  // namespace pwg
