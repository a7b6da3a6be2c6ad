#include "tests/support/AppFixture.h"

#include "app/framework/Application.h"
#include "core/U0_func.h"
#include "dialogs/U3_psw.h"
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
    return TRUE;
}

}  // namespace

void ResetApplication() {
    Application& app = Application::Instance();
    app.SetTitle(kTestTitle);
    app.ResetTerminated();
    app.SetMainForm(nullptr);
    if (IsIconic(app.Handle())) ShowWindow(app.Handle(), SW_RESTORE);
    ShowWindow(app.Handle(), SW_HIDE);
}

void ClearStoredSettings() {
    RegDeleteTreeA(HKEY_CURRENT_CONFIG, "ASTD");
    RegDeleteKeyA(HKEY_CURRENT_CONFIG, "ASTD");
}

std::string StoredSetting(const char* name) {
    char buffer[512];
    DWORD size = sizeof buffer;
    if (RegGetValueA(HKEY_CURRENT_CONFIG, "ASTD", name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
        return "<absent>";
    return buffer;
}

void StoreSetting(const char* name, const std::string& value) {
    ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_CONFIG, "ASTD", name, REG_SZ, value.c_str(),
                              static_cast<DWORD>(value.size() + 1)),
              ERROR_SUCCESS)
        << name;
    ASSERT_EQ(StoredSetting(name), value) << "read back at once";
}

void StoreDwordSetting(const char* name, DWORD value) {
    ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_CONFIG, "ASTD", name, REG_DWORD, &value, sizeof value), ERROR_SUCCESS)
        << name;
}

ShutdownRecorder::ShutdownRecorder() {
    calls.clear();
    exitResult = TRUE;
    exitError = 0;
    shutdownCalls.exitWindowsEx = RecordExitWindows;
    shutdownCalls.initiateSystemShutdown = RecordShutdown;
}

ShutdownRecorder::~ShutdownRecorder() {
    // Never the real ones in a test: they would end the test run's session.
    shutdownCalls.exitWindowsEx = [](UINT, DWORD) -> BOOL { return FALSE; };
    shutdownCalls.initiateSystemShutdown = [](LPSTR, LPSTR, DWORD, BOOL, BOOL) -> BOOL { return FALSE; };
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
