#include "app/framework/Thread.h"

#include <deque>
#include <mutex>

#include "app/framework/Application.h"
#include "common/OsError.h"

namespace pwg {
namespace {

struct SyncRequest {
    const std::function<void()>* call;
    std::exception_ptr error;
    Handle done;
};

std::mutex g_queueLock;
std::deque<SyncRequest*> g_queue;
// Set whenever a call is queued, so a UI thread waiting for a worker wakes.
// Lives as long as the process: a worker may still be waited for while
// static objects are being destroyed at exit.
HANDLE SyncEvent() {
    static const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    return event;
}

// Wine fills about a megabyte of a new thread's stack and keeps the stack of
// a finished thread until another thread ends: the worker hands back the
// pages below what its ending still uses. They stay committed, their content
// no longer of interest (as below any stack pointer).
void ReleaseUnusedStack() {
    constexpr ULONG_PTR kKept = 64 * 1024, kPage = 4096;
    const auto inUse = reinterpret_cast<ULONG_PTR>(__builtin_frame_address(0));
    const ULONG_PTR top = (inUse - kKept) & ~(kPage - 1);
    MEMORY_BASIC_INFORMATION region{};
    if (!VirtualQuery(reinterpret_cast<void*>(inUse), &region, sizeof region)) return;
    // Its committed pages begin above the guard page.
    for (auto at = reinterpret_cast<ULONG_PTR>(region.AllocationBase);
         at < top && VirtualQuery(reinterpret_cast<void*>(at), &region, sizeof region); at += region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Protect == PAGE_READWRITE) {
            VirtualAlloc(region.BaseAddress, top - at, MEM_RESET, PAGE_READWRITE);
            return;
        }
    }
}

}  // namespace

bool CheckSynchronize() {
    std::deque<SyncRequest*> pending;
    {
        std::lock_guard<std::mutex> lock(g_queueLock);
        pending.swap(g_queue);
    }
    for (SyncRequest* request : pending) {
        try {
            (*request->call)();
        } catch (...) {
            request->error = std::current_exception();
        }
        SetEvent(request->done.get());
    }
    return !pending.empty();
}

void ThreadDeleter::operator()(Thread* thread) const {
    // A destructor must not raise; a failed wait means the thread is gone.
    try {
        thread->WaitFor();
    } catch (const std::exception&) {
    }
    delete thread;
}

Thread::Thread(StartKey) {
    SyncEvent();  // both made on the UI thread, before any worker needs them
    Application::Instance().Handle();
    handle_.reset(CreateThread(nullptr, 0, ThreadProc, this, CREATE_SUSPENDED, nullptr));
    if (!handle_) RaiseLastOsError();
}

Thread::~Thread() {
    if (!handle_) return;
    // Never started (the worker's constructor failed): let the thread end
    // without touching what is left of the object.
    if (!started_) {
        cancelled_ = true;
        Resume();
    }
    try {
        WaitFor();
    } catch (const std::exception&) {
    }
}

void Thread::Resume() {
    started_ = true;
    ResumeThread(handle_.get());
}

void Thread::SetPriority(int priority) { SetThreadPriority(handle_.get(), priority); }

int Thread::Priority() const { return GetThreadPriority(handle_.get()); }

bool Thread::Finished() const { return finished_; }

void Thread::WaitFor() {
    HANDLE waits[2] = {handle_.get(), SyncEvent()};
    for (;;) {
        const DWORD r = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (r == WAIT_OBJECT_0) break;
        if (r != WAIT_OBJECT_0 + 1) RaiseLastOsError();
        CheckSynchronize();
    }
}

void Thread::Synchronize(const std::function<void()>& call) {
    SyncRequest request{&call, nullptr, Handle(CreateEventA(nullptr, TRUE, FALSE, nullptr))};
    if (!request.done) RaiseLastOsError();
    {
        std::lock_guard<std::mutex> lock(g_queueLock);
        g_queue.push_back(&request);
    }
    SetEvent(SyncEvent());
    PostMessageA(Application::Instance().Handle(), WM_NULL, 0, 0);
    WaitForSingleObject(request.done.get(), INFINITE);
    if (request.error) std::rethrow_exception(request.error);
}

DWORD WINAPI Thread::ThreadProc(void* param) {
    auto* self = static_cast<Thread*>(param);
    try {
        if (!self->cancelled_) self->Execute();
    } catch (...) {
        self->fatalError_ = std::current_exception();
    }
    self->finished_ = true;
    ReleaseUnusedStack();
    return 0;
}

}  // namespace pwg
