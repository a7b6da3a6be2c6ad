#pragma once
// Owners for the Win32 handles the library and its tests hold.
#include <winsock2.h>
#include <windows.h>

#include <utility>

namespace gettime {

template <typename T, auto Close, T Invalid>
class Unique {
public:
    Unique() = default;
    explicit Unique(T value) : value_(value) {}
    Unique(Unique&& other) noexcept : value_(std::exchange(other.value_, Invalid)) {}
    Unique& operator=(Unique&& other) noexcept {
        std::swap(value_, other.value_);
        return *this;
    }
    ~Unique() {
        if (value_ != Invalid) Close(value_);
    }
    T get() const { return value_; }
    explicit operator bool() const { return value_ != Invalid; }

private:
    T value_ = Invalid;
};

using UniqueHandle = Unique<HANDLE, &CloseHandle, nullptr>;
using UniqueSocket = Unique<SOCKET, &closesocket, INVALID_SOCKET>;
using UniqueKey = Unique<HKEY, &RegCloseKey, nullptr>;

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
