#pragma once
// Worker threads and their hand-over to the UI thread: a worker queues a
// call, wakes the UI thread with a posted null message to the application
// window and waits until the UI thread has run it. The UI thread also runs
// queued calls when it goes idle and while it waits for a worker to end.
#include <windows.h>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <utility>

#include "common/Handles.h"

namespace pwg {

class Thread;

// Deletes a worker only after its thread has ended, so Execute never runs
// on in an object whose derived parts are already gone.
struct ThreadDeleter {
    void operator()(Thread* thread) const;
};
template <class Worker>
using ThreadPtr = std::unique_ptr<Worker, ThreadDeleter>;

class Thread {
public:
    // Only Start can make one, so no worker's thread runs before its whole
    // object is built: Execute is virtual, and a thread started from the
    // base constructor could call it through a half-built object.
    class StartKey {
        friend class Thread;
        StartKey() = default;
    };

    // Builds the worker (its constructor takes the key first), then lets its
    // thread run.
    template <class Worker, class... Args>
    static ThreadPtr<Worker> Start(Args&&... args) {
        ThreadPtr<Worker> worker(new Worker(StartKey{}, std::forward<Args>(args)...));
        worker->Resume();
        return worker;
    }

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
    // The thread is made suspended; Start resumes it.
    explicit Thread(StartKey);
    virtual void Execute() = 0;
    // Runs the call on the UI thread and waits for it; an error in the call
    // comes back here.
    void Synchronize(const std::function<void()>& call);

private:
    static DWORD WINAPI ThreadProc(void* self);
    void Resume();

    Handle handle_;
    // Written by the thread before it sets finished_, read by its owner after.
    std::exception_ptr fatalError_;
    std::atomic<bool> finished_{false};
    bool started_ = false;  // the owner's own
    // Set when the object goes before it was started: the thread then ends
    // without calling Execute.
    std::atomic<bool> cancelled_{false};
};

// Runs the calls workers have queued; true when there was one. The UI thread
// calls this from its message loop.
bool CheckSynchronize();

}  // namespace pwg
