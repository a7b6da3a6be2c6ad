#pragma once
// Owning wrappers for the Windows handles the program holds.
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

inline void CloseKernelHandle(HANDLE h) { CloseHandle(h); }
inline void DestroyIconHandle(HICON h) { DestroyIcon(h); }
inline void DestroyMenuHandle(HMENU h) { DestroyMenu(h); }
inline void DeleteGdiObject(HGDIOBJ h) { DeleteObject(h); }

using Handle = UniqueHandle<HANDLE, CloseKernelHandle>;
using IconHandle = UniqueHandle<HICON, DestroyIconHandle>;
using MenuHandle = UniqueHandle<HMENU, DestroyMenuHandle>;
using FontHandle = UniqueHandle<HFONT, DeleteGdiObject>;
using BrushHandle = UniqueHandle<HBRUSH, DeleteGdiObject>;

}  // namespace pwg
