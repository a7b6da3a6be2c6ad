#include "tests/support/AppFixture.h"

#include "app/framework/Application.h"
#include "common/Handles.h"
#include "core/U0_func.h"
#include "dialogs/U3_psw.h"
#include "enforcement/u0_shutThread.h"
#include "tests/support/UiDriver.h"

namespace pwg::test {
namespace {

BOOL WINAPI RecordExitWindows(UINT flags, DWORD) {
    ShutdownRecorder::calls.push_back("ExitWindowsEx " + std::to_string(flags));
    SetLastError(ShutdownRecorder::exitError);
    return ShutdownRecorder::exitResult;
}

BOOL WINAPI RecordShutdown(LPSTR computer, LPSTR message, DWORD timeout, BOOL force, BOOL reboot) {
    ShutdownRecorder::calls.push_back(std::string("InitiateSystemShutdown ") + computer + " " + message + " " +
                                      std::to_string(timeout) + " " + std::to_string(force) + " " +
                                      std::to_string(reboot));
    ShutdownRecorder::privilegeHeld = ShutdownPrivilegeEnabled();
    return ShutdownRecorder::shutdownResult;
}

// Never the real ones in a test: they would end the test run's own session.
BOOL WINAPI RefuseExitWindows(UINT, DWORD) { return FALSE; }
BOOL WINAPI RefuseShutdown(LPSTR, LPSTR, DWORD, BOOL, BOOL) { return FALSE; }
// In place before any test runs (the table is made before this, being
// defined before it here); a recorder puts back what it found.
const bool g_shutdownRefused = [] {
    osCalls.exitWindowsEx = RefuseExitWindows;
    osCalls.initiateSystemShutdown = RefuseShutdown;
    return true;
}();

UINT_PTR WINAPI RecordTimerRequest(HWND window, UINT_PTR id, UINT ms, TIMERPROC proc) {
    TimerRequests::intervals.push_back(ms);
    return TimerRequests::fail ? 0 : ::SetTimer(window, id, ms, proc);
}

}  // namespace

void ResetApplication() {
    Application& app = Application::Instance();
    app.SetTitle(kTestTitle);
    app.ResetTerminated();
    app.SetMainForm(nullptr);
    app.SetShowMainForm(true);
    if (IsIconic(app.Handle())) ShowWindow(app.Handle(), SW_RESTORE);
    ShowWindow(app.Handle(), SW_HIDE);
}

void ResetState() {
    StopEnforcement();
    State() = AppState{};
}

ShutdownRecorder::ShutdownRecorder() : exit_(RecordExitWindows), shutdown_(RecordShutdown) {
    calls.clear();
    exitResult = shutdownResult = TRUE;
    exitError = 0;
    privilegeHeld = false;
}

bool ShutdownPrivilegeEnabled() {
    HANDLE raw = nullptr;
    EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw));
    const Handle token(raw);
    PRIVILEGE_SET set{1, PRIVILEGE_SET_ALL_NECESSARY, {}};
    EXPECT_TRUE(LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &set.Privilege[0].Luid));
    BOOL enabled = FALSE;
    EXPECT_TRUE(PrivilegeCheck(token.get(), &set, &enabled));
    return enabled != FALSE;
}

TimerRequests::TimerRequests() : recording_(RecordTimerRequest) {
    intervals.clear();
    fail = false;
}

void AppFixture::SetUp() {
    ResetApplication();
    ResetState();
    ClearStoredSettings();
}

void AppFixture::CreateMainForm() {
    main_ = new TMainForm();
    Application::Instance().SetMainForm(main_);
    // The test drives the ticks itself.
    StopEnforcement();
}

void AppFixture::TearDown() {
    if (Tf3_psw* dialog = State().unlockDialog) delete dialog;
    delete main_;
    Pump();
    ResetState();
    ClearStoredSettings();
}

}  // namespace pwg::test
