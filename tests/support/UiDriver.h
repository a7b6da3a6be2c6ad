#pragma once
// Drives the UI thread from a test without sleeping: actions posted to a
// hidden window run, in order, from whichever message loop is running then
// (the test's own pump, or a modal loop the code under test entered), and
// watches look, from inside whatever loop runs, for a window to answer. Every
// wait is bounded; what does not come fails the test and ends the modal loops
// that would otherwise wait for it forever.
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <type_traits>

#include "app/framework/Form.h"
#include "common/Ansi.h"
#include "tests/support/Wait.h"

namespace pwg::test {

// Queues a step of the test behind the messages already waiting. An error
// raised in it fails the test.
void Post(std::function<void()> action);
// Queues a call that runs as one of the program's handlers does (a timer's
// tick, say): an error raised in it goes to the standard error report.
void PostAsHandler(std::function<void()> action);
// Dispatches messages, as the program's own loop does, until the queue is empty.
void Pump();
// Ends every modal loop of this thread: forms with cancel, system message
// boxes as Esc would.
void EndModalLoops();

// The first visible form of this thread that `match` accepts, or null.
Form* FindVisibleForm(const std::function<bool(Form&)>& match);
// The visible form of this thread of type F with this caption (UTF-8; any
// caption when empty), or null.
template <class F>
F* FindForm(std::string_view utf8Caption = {});

// Runs `answer` once `find` gives a window, checking every 10 ms from a
// thread timer, so that it runs inside whatever modal loop is dispatching.
// When nothing comes within the bound the test fails naming `what`, and the
// modal loops end; the bound is kept by a posted message, which comes even
// when a flood of posted messages keeps timers from coming. The destructor
// stops the watch, and fails the test when the window never came.
class Watch {
public:
    Watch(std::string what, std::function<HWND()> find, std::function<void(HWND)> answer,
          DWORD timeoutMs = kWaitMs);
    ~Watch();
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;
    bool Done() const { return done_; }

    // Looks now; after the bound, fails and ends the modal loops.
    void Check();

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD);
    static void CALLBACK OnDeadline(void* serial, BOOLEAN);
    void Stop();

    std::string what_;
    std::function<HWND()> find_;
    std::function<void(HWND)> answer_;
    ULONGLONG deadline_;
    UINT_PTR serial_;
    UINT_PTR timer_ = 0;
    HANDLE deadlineTimer_ = nullptr;
    bool done_ = false;
    bool came_ = false;
};

// Takes a step once a condition holds, from inside whatever loop runs then.
class WhenTrue : public Watch {
public:
    WhenTrue(std::string what, std::function<bool()> condition, std::function<void()> step,
             DWORD timeoutMs = kWaitMs);
};

// Answers a dialog of type F with this caption once it is inside its own
// modal loop.
template <class F>
class WhenModal : public Watch {
public:
    WhenModal(std::string_view utf8Caption, std::function<void(F&)> answer, DWORD timeoutMs = kWaitMs);
};

// Makes a call that runs a modal loop (ShowModal, a tick that opens the
// unlock dialog) until the loop ends; a loop still running after the bound
// fails the test naming `what`, and the modal loops end.
void WithinBound(std::string what, const std::function<void()>& call, DWORD timeoutMs = kWaitMs);

// Answers the program's message boxes (ShowMessage and the error report,
// both captioned with the application title): keeps their text and presses
// `button` (IDOK, or IDCANCEL as Esc does).
class WhenMessageBox : public Watch {
public:
    explicit WhenMessageBox(int button = IDOK, DWORD timeoutMs = kWaitMs);
    const std::string& Text() const { return text_; }
    // Whether the box was topmost when it was answered.
    bool Topmost() const { return topmost_; }

private:
    std::string text_ = "<none>";
    bool topmost_ = false;
};

// ---------------------------------------------------------------------------

template <class F>
F* FindForm(std::string_view utf8Caption) {
    return dynamic_cast<F*>(FindVisibleForm([&](Form& form) {
        if constexpr (!std::is_same_v<F, Form>)
            if (!dynamic_cast<F*>(&form)) return false;
        return utf8Caption.empty() || form.Caption() == ToAnsi(utf8Caption);
    }));
}

template <class F>
WhenModal<F>::WhenModal(std::string_view utf8Caption, std::function<void(F&)> answer, DWORD timeoutMs)
    : Watch(
          "the dialog \"" + std::string(utf8Caption) + "\" in its modal loop",
          [caption = std::string(utf8Caption)] {
              F* form = FindForm<F>(caption);
              return form && form->InModalLoop() ? form->Handle() : nullptr;
          },
          [answer = std::move(answer)](HWND hwnd) { answer(*dynamic_cast<F*>(Window::FromHandle(hwnd))); },
          timeoutMs) {}

}  // namespace pwg::test
