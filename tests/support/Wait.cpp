#include "tests/support/Wait.h"

namespace pwg::test {
namespace {

constexpr DWORD kPollMs = 10;

void DispatchWaiting() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

MessagePump g_pump = DispatchWaiting;

}  // namespace

void SetMessagePump(MessagePump pump) { g_pump = pump; }

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (GetTickCount64() >= deadline) return false;
        g_pump();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, kPollMs, QS_ALLINPUT);
    }
}

}  // namespace pwg::test
