#pragma once
// Owners for the Win32 handles the library and its tests hold.
#include <winsock2.h>
#include <windows.h>

#include "app/framework/Handles.h"

namespace gettime {

using UniqueHandle = pwg::UniqueHandle<HANDLE, &CloseHandle>;
using UniqueSocket = pwg::UniqueHandle<SOCKET, &closesocket, INVALID_SOCKET>;
using UniqueKey = pwg::UniqueHandle<HKEY, &RegCloseKey>;

// Winsock for the span of a use. The count is the process's, so a session
// inside another costs next to nothing.
class WinsockSession {
public:
    WinsockSession() {
        WSADATA data;
        ok_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockSession() {
        if (ok_) WSACleanup();
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_;
};

}  // namespace gettime
