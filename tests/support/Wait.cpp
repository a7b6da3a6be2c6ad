#include "tests/support/Wait.h"

namespace pwg::test {
namespace {

constexpr DWORD kPollMs = 10;

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (MSG msg;;) {
        if (condition()) return true;
        if (GetTickCount64() >= deadline) return false;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, kPollMs, QS_ALLINPUT);
    }
}

}  // namespace pwg::test
