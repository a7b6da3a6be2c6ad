#pragma once
// One wrapper for every window of the program: the object rides in
// lpCreateParams to WM_NCCREATE, lives in GWLP_USERDATA until WM_NCDESTROY,
// and each class answers messages in a flat switch of OnXxx calls. No
// exception leaves a window procedure: it goes to the standard error report.
#include <windows.h>

namespace pwg {

class Window {
public:
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window();

    HWND Handle() const { return hwnd_; }
    // The object behind a window of ours, or null for anyone else's window.
    static Window* FromHandle(HWND hwnd);

protected:
    // Registers the class once per name; every class of ours shares the procedure.
    static void RegisterWindowClass(const char* className, UINT style = 0, HBRUSH background = nullptr,
                                    HICON icon = nullptr);
    // Creates the window with this object behind it; raises on failure.
    void CreateHandle(const char* className, const char* caption, DWORD style, DWORD exStyle, int x, int y,
                      int width, int height, HWND parent, HMENU menu = nullptr);
    // A hidden top-level tool window that only receives messages.
    void CreateHiddenWindow(const char* className);
    // A message-only window, for what is only posted or sent to it (timers):
    // cheaper than a hidden top-level one, with no desktop window behind it.
    void CreateMessageWindow(const char* className);
    void DestroyHandle();

    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND hwnd_ = nullptr;
};

}  // namespace pwg
