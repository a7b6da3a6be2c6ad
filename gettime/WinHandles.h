#pragma once
// Winsock's owners, for the library and its tests; every other kind of
// handle has its owner in common/Handles.h.
#include <winsock2.h>
#include <windows.h>

#include "common/Handles.h"

namespace gettime {

using pwg::Handle;
using pwg::RegKey;
using UniqueSocket = pwg::UniqueHandle<SOCKET, &closesocket, INVALID_SOCKET>;

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
