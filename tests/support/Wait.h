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
// true when it held.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kWaitMs);

// What WaitUntil dispatches with: a plain message loop, unless a test program
// that runs the program's windows puts the program's own loop in its place
// (which handles a quit and dialog keys as the program does).
using MessagePump = void (*)();
void SetMessagePump(MessagePump pump);

}  // namespace pwg::test
