#include "common/Com.h"

#include "common/OsError.h"

namespace pwg {

void RaiseComError(HRESULT hr) {
    const DWORD code = HRESULT_FACILITY(hr) == FACILITY_WIN32 ? HRESULT_CODE(hr) : static_cast<DWORD>(hr);
    throw Error(OsErrorMessage(code));
}

Bstr::Bstr(const wchar_t* text) {
    SetLastError(ERROR_SUCCESS);
    b_ = com::AllocString(text);
    if (b_) return;
    const DWORD error = GetLastError();
    RaiseComError(error == ERROR_SUCCESS ? E_OUTOFMEMORY : HRESULT_FROM_WIN32(error));
}

}  // namespace pwg
