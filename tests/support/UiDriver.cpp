#include "tests/support/UiDriver.h"

#include <memory>

#include "app/framework/Application.h"
#include "app/framework/Window.h"

namespace pwg::test {
namespace {

constexpr UINT kRunAction = WM_APP + 77;

class DriverWindow : public Window {
public:
    static DriverWindow& Instance() {
        static DriverWindow window;
        return window;
    }

private:
    DriverWindow() {
        CreateHiddenWindow("PwgTestDriver");
    }
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
            case kRunAction: OnRunAction(reinterpret_cast<std::function<void()>*>(lParam)); return 0;
        }
        return DefaultHandling(message, wParam, lParam);
    }
    void OnRunAction(std::function<void()>* raw) {
        std::unique_ptr<std::function<void()>> action(raw);
        (*action)();
    }
};

}  // namespace

void Post(std::function<void()> action) {
    PostMessageA(DriverWindow::Instance().Handle(), kRunAction, 0,
                 reinterpret_cast<LPARAM>(new std::function<void()>(std::move(action))));
}

void Pump() { Application::Instance().ProcessMessages(); }

bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs) return false;
        Pump();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

ModalWatcher::ModalWatcher(const char* windowClass, const char* caption, int textId, int closeCommand)
    : windowClass_(windowClass), caption_(caption ? caption : ""), anyCaption_(caption == nullptr),
      textId_(textId), closeCommand_(closeCommand) {
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

ModalWatcher::~ModalWatcher() { Text(); }

std::string ModalWatcher::Text() {
    if (thread_) {
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    return text_;
}

DWORD WINAPI ModalWatcher::Run(void* param) {
    auto* self = static_cast<ModalWatcher*>(param);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 5000) {
        HWND hwnd = FindWindowA(self->windowClass_.c_str(), self->anyCaption_ ? nullptr : self->caption_.c_str());
        DWORD pid = 0;
        if (hwnd) GetWindowThreadProcessId(hwnd, &pid);
        if (hwnd && pid == GetCurrentProcessId() && IsWindowVisible(hwnd)) {
            char text[1024] = {};
            GetDlgItemTextA(hwnd, self->textId_, text, sizeof text);
            self->text_ = text;
            self->found_ = hwnd;
            self->style_ = static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE));
            PostMessageA(hwnd, WM_COMMAND, self->closeCommand_, 0);
            return 0;
        }
        Sleep(10);
    }
    return 0;
}

}  // namespace pwg::test
