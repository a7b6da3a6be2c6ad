#include "common/Com.h"

#include "common/OsError.h"

namespace pwg {

void RaiseComError(HRESULT hr) {
    const DWORD code = HRESULT_FACILITY(hr) == FACILITY_WIN32 ? HRESULT_CODE(hr) : static_cast<DWORD>(hr);
    throw Error(OsErrorMessage(code));
}

}  // namespace pwg
