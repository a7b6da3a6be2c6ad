#pragma once
// Owners for what COM hands out: an interface pointer, a BSTR, and the
// thread's membership of a COM apartment. COM's own calls are found at their
// first use (common/SystemDll.h): the program uses COM only for its log-on
// task, and a resident program that neither registers nor removes one does
// not map ole32, oleaut32 and what they bring.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <utility>

#include "common/Error.h"
#include "common/SystemDll.h"

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

namespace com {
inline constexpr char kCoInitializeEx[] = "CoInitializeEx";
inline constexpr char kCoUninitialize[] = "CoUninitialize";
inline constexpr char kSysAllocString[] = "SysAllocString";
inline constexpr char kSysFreeString[] = "SysFreeString";
inline constexpr auto InitializeEx = &OnFirstUse<kOle32, kCoInitializeEx, decltype(&::CoInitializeEx)>::Call;
inline constexpr auto Uninitialize = &OnFirstUse<kOle32, kCoUninitialize, decltype(&::CoUninitialize)>::Call;
inline constexpr auto AllocString = &OnFirstUse<kOleAut32, kSysAllocString, decltype(&::SysAllocString)>::Call;
inline constexpr auto FreeString = &OnFirstUse<kOleAut32, kSysFreeString, decltype(&::SysFreeString)>::Call;
}  // namespace com

class Bstr {
public:
    Bstr() = default;
    // Raises out of memory, or why oleaut32 could not be had.
    explicit Bstr(const wchar_t* text);
    Bstr(Bstr&& o) noexcept : b_(std::exchange(o.b_, nullptr)) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr& operator=(Bstr&&) = delete;
    ~Bstr() { reset(); }

    BSTR get() const { return b_; }
    // The text, "" for a null BSTR (which COM treats as empty).
    const wchar_t* c_str() const { return b_ ? b_ : L""; }
    BSTR* put() {
        reset();
        return &b_;
    }

private:
    // A BSTR there came from oleaut32, which is loaded by then.
    void reset() {
        if (b_) com::FreeString(std::exchange(b_, nullptr));
    }

    BSTR b_ = nullptr;
};

// Joins the thread to a single-threaded apartment for its lifetime; a thread
// already in one (of either kind) stays in it.
class ComApartment {
public:
    ComApartment() : hr_(com::InitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {
        if (FAILED(hr_) && hr_ != RPC_E_CHANGED_MODE) RaiseComError(hr_);
    }
    ~ComApartment() {
        if (SUCCEEDED(hr_)) com::Uninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT hr_;
};

}  // namespace pwg
