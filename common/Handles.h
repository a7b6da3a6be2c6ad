#pragma once
// One owner for each kind of Windows handle that the program, GetTime.dll
// and their tests hold: each closes its handle when it goes out of scope, the
// way that kind must be closed. Header only, and it depends on nothing of the
// program or the library, so both can use it.
#include <windows.h>

#include <utility>

namespace pwg {

template <class H, auto Close, H Invalid = H{}>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(H h) : h_(h) {}
    UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, Invalid)) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) reset(std::exchange(o.h_, Invalid));
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    H get() const { return h_; }
    explicit operator bool() const { return h_ != Invalid; }
    H release() { return std::exchange(h_, Invalid); }
    void reset(H h = Invalid) {
        if (h_ != Invalid) Close(h_);
        h_ = h;
    }

private:
    H h_ = Invalid;
};

namespace close {
inline void Kernel(HANDLE h) { CloseHandle(h); }
inline void Key(HKEY h) { RegCloseKey(h); }
inline void Icon(HICON h) { DestroyIcon(h); }
inline void Menu(HMENU h) { DestroyMenu(h); }
inline void GdiObject(HGDIOBJ h) { DeleteObject(h); }
inline void Local(HLOCAL h) { LocalFree(h); }
inline void Service(SC_HANDLE h) { CloseServiceHandle(h); }
}  // namespace close

// Threads, events, tokens, processes: what CloseHandle closes, null when none.
using Handle = UniqueHandle<HANDLE, close::Kernel>;
using IconHandle = UniqueHandle<HICON, close::Icon>;
using MenuHandle = UniqueHandle<HMENU, close::Menu>;
using FontHandle = UniqueHandle<HFONT, close::GdiObject>;
using BrushHandle = UniqueHandle<HBRUSH, close::GdiObject>;
using BitmapHandle = UniqueHandle<HBITMAP, close::GdiObject>;
// What the system allocated for the caller with LocalAlloc (SID texts, security descriptors).
using LocalMemory = UniqueHandle<HLOCAL, close::Local>;
// The Service Control Manager and its services.
using ServiceHandle = UniqueHandle<SC_HANDLE, close::Service>;

// An open registry key, and the two ways to get one; each returns the Win32
// status and leaves the key closed on failure.
class RegKey : public UniqueHandle<HKEY, close::Key> {
public:
    RegKey() = default;
    explicit RegKey(HKEY key) : UniqueHandle(key) {}

    // An existing key.
    LSTATUS Open(HKEY root, const char* path, REGSAM access) {
        HKEY key = nullptr;
        const LSTATUS status = RegOpenKeyExA(root, path, 0, access, &key);
        reset(status == ERROR_SUCCESS ? key : nullptr);
        return status;
    }
    // The key, made first (with missing parents) when needed; `created` tells which.
    LSTATUS Create(HKEY root, const char* path, REGSAM access, bool* created = nullptr) {
        HKEY key = nullptr;
        DWORD disposition = 0;
        const LSTATUS status =
            RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key, &disposition);
        if (created) *created = status == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY;
        reset(status == ERROR_SUCCESS ? key : nullptr);
        return status;
    }
};

// A window's device context (the screen's for no window), released to it.
class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDC() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// An object selected into a device context, the one before put back.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~Selected() {
        if (previous_) SelectObject(dc_, previous_);
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace pwg
