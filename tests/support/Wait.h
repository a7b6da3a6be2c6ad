#pragma once
// Bounded waiting, for tests in the program's own thread and for tests that
// watch the program from outside alike.
#include <windows.h>

#include <functional>

namespace pwg::test {

// How long a test waits for anything the code under test is to do at once.
inline constexpr DWORD kWaitMs = 5000;

// Checks the condition until it holds or timeoutMs has passed, dispatching
// this thread's messages in between (a thread without windows just waits);
// true when it held. It dispatches as a plain message loop does: where the
// program's own loop must handle a message (a quit, dialog keys), pump it.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kWaitMs);

}  // namespace pwg::test
