// Program entry: a tool-window application window (no taskbar button, no
// task-switcher entry), the main window, and the message loop; unless the
// program's service runs one in this session already.
#include <windows.h>

#include "app/Unit1.h"
#include "app/framework/Application.h"
#include "app/framework/ErrorReport.h"
#include "common/Ansi.h"
#include "core/Instance.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    using namespace pwg;
    // One program per session where the service is installed: before any window.
    const InstanceFacts facts = ReadInstanceFacts();
    if (LeavesToTheService(facts)) return kLeftToTheService;
    if (facts.startedByService) MarkServed();
    Application& app = Application::Instance();
    try {
        HWND appWindow = app.Handle();
        SetWindowLongA(appWindow, GWL_EXSTYLE, GetWindowLongA(appWindow, GWL_EXSTYLE) | WS_EX_TOOLWINDOW);
        app.SetTitle(ToAnsi("岚栖自动关机助手"));
        auto* mainForm = new TMainForm();
        app.SetMainForm(mainForm);
        app.Run();
        // Going now takes the tray icon with it at once.
        delete mainForm;
    } catch (...) {
        // Only a window that could not be made gets here.
        ReportCurrentError();
        return 1;
    }
    return 0;
}
