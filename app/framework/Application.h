#pragma once
// The application object: the program's hidden top-level window, which owns
// every other window, carries the tool-window style that keeps the program
// off the taskbar, and is what minimises and restores; and the message loop
// that all modal loops share.
#include <windows.h>

#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "app/framework/Window.h"

namespace pwg {

class Form;

class Application : private Window {
public:
    // A hook sees each message of the application window before the
    // application does; returning true consumes it.
    using Hook = std::function<bool(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)>;

    static Application& Instance();

    HWND Handle();  // created on first use
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& ansiTitle);

    Form* MainForm() const { return mainForm_; }
    void SetMainForm(Form* form) { mainForm_ = form; }
    // When false, Run neither shows nor minimises the main window.
    bool ShowMainForm() const { return showMainForm_; }
    void SetShowMainForm(bool show) { showMainForm_ = show; }

    // Shows the main window (or minimises the application when the main
    // window's recorded state is minimised), then runs the message loop
    // until the program terminates.
    void Run();
    // Waits for a message unless one is queued, then retrieves and dispatches
    // it; when there is none after all, runs the calls that worker threads
    // handed over.
    void HandleMessage();
    // Dispatches every message waiting now.
    void ProcessMessages();
    // Ends the message loop and every modal loop. A WM_QUIT that the program
    // did not ask for this way only asks the main window to close.
    void Terminate();
    bool Terminated() const { return terminated_; }

    void Minimize();
    void Restore();
    bool IsMinimized() { return IsIconic(Handle()) != FALSE; }

    int AddHook(Hook hook);
    void RemoveHook(int id);

    void ShowException(const std::exception& error);
    // Shows it as the error report does when this window's message is next
    // dispatched. Raises nothing: an error that cannot be posted goes untold.
    void PostException(std::exception_ptr error) noexcept;

    // For tests: a fresh loop after a test ended one.
    void ResetTerminated();

private:
    Application() = default;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool ProcessMessage();
    void OnSysCommand(WPARAM command);

    std::string title_;
    Form* mainForm_ = nullptr;
    bool showMainForm_ = true;
    bool terminated_ = false;
    bool created_ = false;
    struct InstalledHook {
        int id;
        Hook hook;
    };
    std::vector<InstalledHook> hooks_;
    int nextHookId_ = 1;
};

}  // namespace pwg
