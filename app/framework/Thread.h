#pragma once
// Worker threads and their hand-over to the UI thread: a worker queues a
// call, wakes the UI thread with a posted null message to the application
// window and waits until the UI thread has run it. The UI thread also runs
// queued calls when it goes idle and while it waits for a worker to end.
#include <windows.h>

#include <exception>
#include <functional>

#include "app/framework/Handles.h"

namespace pwg {

class Thread {
public:
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    // Waits for the thread to finish (running handed-over calls meanwhile).
    virtual ~Thread();

    void SetPriority(int priority);
    int Priority() const;
    // Waits until the thread has ended; on the UI thread, runs the calls
    // workers hand over while it waits.
    void WaitFor();
    bool Finished() const;
    // The error that ended Execute, if any (it ends the worker silently).
    std::exception_ptr FatalError() const { return fatalError_; }

protected:
    // Starts at once unless created suspended; Resume starts a suspended one.
    explicit Thread(bool createSuspended);
    void Resume();
    virtual void Execute() = 0;
    // Runs the call on the UI thread and waits for it; an error in the call
    // comes back here.
    void Synchronize(const std::function<void()>& call);

private:
    static DWORD WINAPI ThreadProc(void* self);

    Handle handle_;
    std::exception_ptr fatalError_;
    volatile LONG finished_ = 0;
};

// Runs the calls workers have queued; true when there was one. The UI thread
// calls this from its message loop.
bool CheckSynchronize();

}  // namespace pwg
