#pragma once
// The real pw_gate.exe in its own process, driven from outside as a user
// would: its windows are found by process, read and written with window
// messages, and clicked with posted messages. This test program makes no
// window of its own, so an end of the Wine session ends only pw_gate.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/Ansi.h"
#include "common/Handles.h"
#include "tests/support/Controls.h"
#include "tests/support/Wait.h"

namespace pwg::test {

// A menu item's command, posted to the window whose menu holds it.
void Command(HWND window, UINT id);

struct WindowInfo {
    HWND handle;
    std::string className;
    bool visible;
};

// Every top-level window, topmost first.
std::vector<WindowInfo> TopLevelWindows();

class Program {
public:
    // Starts pw_gate.exe from the folder of this test program, or another program.
    explicit Program(const std::string& path = Path());
    // Takes on an instance that something else started.
    explicit Program(DWORD runningProcessId);
    // Ends the process if it is still running.
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The file as it was started: what the auto-start entry must name.
    static std::string Path();

    DWORD Id() const { return id_; }
    // The file the process runs, as Windows reports it.
    std::string ImagePath() const;
    // The file of a module the process has loaded; empty when it has none of that name.
    std::string ModulePath(const char* moduleName) const;
    bool Running() const;
    // Waits for the process to end; its exit code, or nullopt when it runs on.
    std::optional<DWORD> WaitForExit(DWORD timeoutMs);
    // Ends it from outside, as the Task Manager does, with this exit code.
    void End(UINT exitCode);

    // The program's top-level windows, topmost first.
    std::vector<WindowInfo> Windows() const;
    HWND WindowOfClass(const char* className) const;
    HWND ApplicationWindow() const { return WindowOfClass("PwgApplication"); }
    HWND TrayHandlerWindow() const { return WindowOfClass("PwgTrayIconHandler"); }
    // The main window: the program's form that holds the time pickers.
    HWND MainWindow() const;
    // A visible form of the program with this caption (UTF-8).
    HWND VisibleForm(std::string_view utf8Caption) const;
    HWND WaitForVisibleForm(std::string_view utf8Caption, DWORD timeoutMs) const;
    // Waits until the main window exists and its caption reads "系统已解锁"
    // (the first enforcement tick after start-up).
    HWND WaitUntilRunning();
    // Waits until the main window exists and the first tick has shown the
    // lock: its caption reads "系统已锁定", and outside the usage window the
    // unlock dialog has opened. The unlock dialog, or null.
    HWND WaitUntilLockedOutside();

private:
    Handle process_;
    DWORD id_ = 0;
};

// Starts a program of the host, named by its Unix path (Wine runs it as a
// host process, which no Windows handle can wait for), such as xdotool,
// which types on the X display as a keyboard does. True when it started; what
// it does shows in its effects.
bool StartOnHost(const std::string& commandLine);
// The window that has the keyboard focus in the thread of this window, and
// whether `upper` is in front of `lower`.
HWND FocusInThreadOf(HWND window);
bool InFrontOf(HWND upper, HWND lower);

// Ends the Wine session as Windows ends it at power-off: every window of the
// prefix is asked to end; processes without windows live on. wineboot goes
// on to start a new session (and its auto-start entries) unless told that
// this is a shutdown.
void EndSession();
// Ends the Wine session and starts a new one, as a log-off and the next
// log-on do; the new session starts the auto-start entries.
void RestartSession();
// The processes that have a window of this class now.
std::set<DWORD> ProcessesWithWindow(const char* className);
// The password prompt's caption.
inline constexpr char kPasswordPrompt[] = "管理员密码";
// Types the password into the prompt that opens and confirms it; fails when
// no prompt came or it stayed (a wrong password).
testing::AssertionResult AnswerPrompt(const Program& program, std::string_view password);
// The tray menu's exit command (退出), answered in its prompt with the
// password; the program then ends by itself.
testing::AssertionResult ExitWithPassword(const Program& program, std::string_view password);

// The one program that a new session started by itself (its auto-start
// entry), taken on; null, with the test failed, when none or several came.
std::unique_ptr<Program> StartedAtLogOn();

// A program running now from the file at `path` (any case), other than
// `before`, taken on; null when none comes within the bound. For programs
// that something else starts, as the service does.
std::unique_ptr<Program> NextProgramFrom(const std::string& path, const Program* before, DWORD timeoutMs);

// The tray icons Wine's shell shows: one window each, in the standalone tray
// window that stands in for the notification area where no X tray runs.
std::set<HWND> ShellTrayIcons();
// The balloon notices the shell shows over its tray icons now.
std::set<HWND> ShellBalloons();

}  // namespace pwg::test
