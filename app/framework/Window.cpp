#include "app/framework/Window.h"

#include <exception>
#include <utility>

#include "app/framework/ErrorReport.h"
#include "common/OsError.h"

namespace pwg {
namespace {

// Marks our windows so that FromHandle never misreads another window's user data.
const char kOwnerProperty[] = "pwg.Window";

}  // namespace

Window::~Window() { DestroyHandle(); }

Window* Window::FromHandle(HWND hwnd) {
    if (!hwnd || !GetPropA(hwnd, kOwnerProperty)) return nullptr;
    return reinterpret_cast<Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

void Window::RegisterWindowClass(const char* className, UINT style, HBRUSH background, HICON icon) {
    WNDCLASSEXA existing{sizeof(existing)};
    if (GetClassInfoExA(GetModuleHandleA(nullptr), className, &existing)) return;
    WNDCLASSEXA wc{sizeof(wc)};
    wc.style = style;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.hIcon = icon;
    wc.lpszClassName = className;
    if (!RegisterClassExA(&wc)) RaiseLastOsError();
}

void Window::CreateHandle(const char* className, const char* caption, DWORD style, DWORD exStyle, int x, int y,
                          int width, int height, HWND parent, HMENU menu) {
    if (!CreateWindowExA(exStyle, className, caption, style, x, y, width, height, parent, menu,
                         GetModuleHandleA(nullptr), this))
        RaiseLastOsError();
}

void Window::CreateHiddenWindow(const char* className) {
    RegisterWindowClass(className);
    CreateHandle(className, "", WS_POPUP, WS_EX_TOOLWINDOW, 0, 0, 0, 0, nullptr);
}

void Window::CreateMessageWindow(const char* className) {
    RegisterWindowClass(className);
    CreateHandle(className, "", 0, 0, 0, 0, 0, 0, HWND_MESSAGE);
}

void Window::DestroyHandle() {
    if (!hwnd_) return;
    // The object is going: messages sent while the window dies go to the default procedure.
    HWND hwnd = std::exchange(hwnd_, nullptr);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    RemovePropA(hwnd, kOwnerProperty);
    DestroyWindow(hwnd);
}

LRESULT Window::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefaultHandling(message, wParam, lParam);
}

LRESULT Window::DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK Window::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* self;
    if (message == WM_NCCREATE) {
        self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        SetPropA(hwnd, kOwnerProperty, reinterpret_cast<HANDLE>(1));
    } else {
        self = reinterpret_cast<Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcA(hwnd, message, wParam, lParam);

    LRESULT result = 0;
    try {
        result = self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        ReportCurrentError();
    }
    if (message == WM_NCDESTROY) {
        RemovePropA(hwnd, kOwnerProperty);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
    }
    return result;
}

}  // namespace pwg
