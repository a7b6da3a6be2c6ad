// The least a program of pw_gate's kind does to be resident: a hidden
// tool-window application window, a hidden main window owned by it holding
// two date-time pickers, one icon in the notification area and one 1 s timer.
// With "/minimise" it also starts as pw_gate must: it activates the
// application window, shows it at the main window's place and minimises it,
// and puts the icon in the tray when that minimise arrives.
// The resident-cost benchmark (scripts/bench-resident) runs it beside
// pw_gate.exe. It ends with the session.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "common/Handles.h"
#include "res/resource.h"

namespace {

constexpr UINT kTrayMessage = WM_APP + 1;
constexpr UINT kTrayId = 1;
constexpr UINT_PTR kTickTimer = 1;
constexpr char kPickerFormat[] = "yyyy-MM-dd  HH:mm";

LRESULT CALLBACK MainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER: return 0;
        case kTrayMessage:
            if (lParam == WM_LBUTTONDBLCLK) ShowWindow(hwnd, SW_SHOW);
            return 0;
        case WM_CLOSE: ShowWindow(hwnd, SW_HIDE); return 0;
        case WM_QUERYENDSESSION: return TRUE;
        case WM_ENDSESSION:
            if (wParam) PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// The icon waiting for the application window's minimise ("/minimise").
NOTIFYICONDATAA* pendingIcon;

LRESULT CALLBACK AppProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SIZE && wParam == SIZE_MINIMIZED && pendingIcon) {
        ShowWindow(hwnd, SW_HIDE);
        Shell_NotifyIconA(NIM_ADD, pendingIcon);
        pendingIcon = nullptr;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

ATOM Register(HINSTANCE instance, const char* name, WNDPROC proc) {
    WNDCLASSA cls{};
    cls.lpfnWndProc = proc;
    cls.hInstance = instance;
    cls.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    cls.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    cls.lpszClassName = name;
    return RegisterClassA(&cls);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    const bool minimise = lstrcmpiA(commandLine, "/minimise") == 0;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_DATE_CLASSES};
    InitCommonControlsEx(&controls);
    if (!Register(instance, "TrayReferenceApp", AppProc) || !Register(instance, "TrayReferenceMain", MainProc))
        return 1;
    HWND app = CreateWindowExA(WS_EX_TOOLWINDOW, "TrayReferenceApp", "TrayReference",
                               WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, GetSystemMetrics(SM_CXSCREEN) / 2,
                               GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr, nullptr, instance, nullptr);
    HWND main = CreateWindowExA(0, "TrayReferenceMain", "TrayReference", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU |
                                WS_MINIMIZEBOX, 0, 0, 500, 220, app, nullptr, instance, nullptr);
    if (!app || !main) return 1;
    for (int i = 0; i < 2; ++i) {
        HWND picker = CreateWindowExA(0, DATETIMEPICK_CLASSA, "", WS_CHILD | WS_VISIBLE | DTS_TIMEFORMAT, 88,
                                      48 + 40 * i, 121, 21, main, nullptr, instance, nullptr);
        SendMessageA(picker, DTM_SETFORMATA, 0, reinterpret_cast<LPARAM>(kPickerFormat));
    }

    pwg::IconHandle icon(static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_TRAY), IMAGE_ICON,
                                                       GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                                       0)));
    NOTIFYICONDATAA tray{NOTIFYICONDATAA_V2_SIZE};
    tray.hWnd = main;
    tray.uID = kTrayId;
    tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray.uCallbackMessage = kTrayMessage;
    tray.hIcon = icon.get();
    lstrcpynA(tray.szTip, "TrayReference", sizeof tray.szTip);
    if (minimise) {
        pendingIcon = &tray;
        SetActiveWindow(app);
        RECT place;
        GetWindowRect(main, &place);
        SetWindowPos(app, main, place.left, place.top, place.right - place.left, 0, SWP_SHOWWINDOW);
        DefWindowProcA(app, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        if (pendingIcon) return 1;
    } else if (!Shell_NotifyIconA(NIM_ADD, &tray)) {
        return 1;
    }
    if (!SetTimer(main, kTickTimer, 1000, nullptr)) return 1;

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    Shell_NotifyIconA(NIM_DELETE, &tray);
    return 0;
}
