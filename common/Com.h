#pragma once
// Owners for what COM hands out: an interface pointer, a BSTR, and the
// thread's membership of a COM apartment.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <utility>

#include "common/Error.h"

namespace pwg {

// "System Error.  Code: <code>.\r\n<text>" for a failed HRESULT: a Win32
// failure wrapped in one as its own code, any other as the HRESULT.
[[noreturn]] void RaiseComError(HRESULT hr);
inline void ComCheck(HRESULT hr) {
    if (FAILED(hr)) RaiseComError(hr);
}

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& o) noexcept {
        if (this != &o) {
            reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For an out-parameter: lets go of what it held first.
    T** put() {
        reset();
        return &p_;
    }
    void reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    template <class U>
    ComPtr<U> As() const {
        ComPtr<U> other;
        ComCheck(p_->QueryInterface(__uuidof(U), reinterpret_cast<void**>(other.put())));
        return other;
    }

private:
    T* p_ = nullptr;
};

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const wchar_t* text) : b_(SysAllocString(text)) {
        if (!b_) RaiseComError(E_OUTOFMEMORY);
    }
    Bstr(Bstr&& o) noexcept : b_(std::exchange(o.b_, nullptr)) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr& operator=(Bstr&&) = delete;
    ~Bstr() { SysFreeString(b_); }

    BSTR get() const { return b_; }
    // The text, "" for a null BSTR (which COM treats as empty).
    const wchar_t* c_str() const { return b_ ? b_ : L""; }
    BSTR* put() {
        SysFreeString(std::exchange(b_, nullptr));
        return &b_;
    }

private:
    BSTR b_ = nullptr;
};

// Joins the thread to a single-threaded apartment for its lifetime; a thread
// already in one (of either kind) stays in it.
class ComApartment {
public:
    ComApartment() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {
        if (FAILED(hr_) && hr_ != RPC_E_CHANGED_MODE) RaiseComError(hr_);
    }
    ~ComApartment() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT hr_;
};

}  // namespace pwg
