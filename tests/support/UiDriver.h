#pragma once
// Drives the UI thread from a test without sleeping: actions posted to a
// hidden window run, in order, from whichever message loop is running then
// (the test's own pump, or a modal loop the code under test entered).
#include <windows.h>

#include <functional>
#include <string>

namespace pwg::test {

// Queues an action behind the messages already waiting.
void Post(std::function<void()> action);
// Dispatches messages until the queue is empty.
void Pump();
// Dispatches messages until the condition holds or the time (ms) is up.
bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs = 5000);

// Waits on another thread for a window of the given class (and caption, if
// not null) owned by this process to appear, returns the text of its control
// `textId` and then sends it `closeCommand` as a WM_COMMAND. For message boxes
// that the code under test shows modally.
class ModalWatcher {
public:
    ModalWatcher(const char* windowClass, const char* caption, int textId, int closeCommand);
    ~ModalWatcher();
    // Joins the watcher; the text it read, or "<none>" when nothing appeared.
    std::string Text();
    HWND Found() const { return found_; }
    DWORD Style() const { return style_; }

private:
    static DWORD WINAPI Run(void* self);
    std::string windowClass_, caption_;
    bool anyCaption_;
    int textId_, closeCommand_;
    HANDLE thread_ = nullptr;
    std::string text_ = "<none>";
    HWND found_ = nullptr;
    DWORD style_ = 0;
};

}  // namespace pwg::test
