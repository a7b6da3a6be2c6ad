#pragma once
// Functions of system DLLs that the program needs only now and then (COM, for
// the log-on task), found at their first call instead of imported: the
// resident program maps such a DLL, and all it brings, only once it needs it.
// The DLL comes from the system folder, never from the program's, and stays.
#include <windows.h>

#include <type_traits>

namespace pwg {

inline constexpr char kOle32[] = "ole32.dll";
inline constexpr char kOleAut32[] = "oleaut32.dll";

struct SystemFunction {
    FARPROC address;  // null when not found
    DWORD error;      // why not: ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND, ...
};
SystemFunction FindSystemFunction(const char* dll, const char* name);

// OnFirstUse<Dll, Name, F>::Call has the type F (calling convention included)
// and calls Name of Dll, found at the first call. Where it cannot be found, a
// function that returns an HRESULT answers the reason as one; any other
// answers zero (void: nothing) with the reason in GetLastError.
template <const char* Dll, const char* Name, class F>
struct OnFirstUse;

template <const char* Dll, const char* Name, class R, class... Args>
struct OnFirstUse<Dll, Name, R(WINAPI*)(Args...)> {
    static R WINAPI Call(Args... args) {
        static const SystemFunction found = FindSystemFunction(Dll, Name);
        if (found.address)
            return reinterpret_cast<R(WINAPI*)(Args...)>(reinterpret_cast<void*>(found.address))(args...);
        if constexpr (std::is_same_v<R, HRESULT>) {
            return HRESULT_FROM_WIN32(found.error);
        } else {
            SetLastError(found.error);
            return R();
        }
    }
};

}  // namespace pwg
