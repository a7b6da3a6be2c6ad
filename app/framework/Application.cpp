#include "app/framework/Application.h"

#include <memory>

#include "app/framework/ErrorReport.h"
#include "app/framework/Form.h"
#include "app/framework/Menu.h"
#include "app/framework/Thread.h"

namespace pwg {
namespace {

const char kApplicationClass[] = "PwgApplication";
// Posted when this window receives the focus; hands it on to the program's front window.
constexpr UINT kEnterMessage = WM_APP + 2;
// Posted by PostException; lParam is the error, on the heap.
constexpr UINT kReportMessage = WM_APP + 3;

// The program's visible, enabled window nearest the front, other than the application window.
HWND FrontWindow(HWND app) {
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT))
        if (w != app && GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId() && IsWindowVisible(w) &&
            IsWindowEnabled(w))
            return w;
    return nullptr;
}

void ShowWithoutAnimation(HWND hwnd, int command) {
    ANIMATIONINFO info{sizeof(info)};
    SystemParametersInfoA(SPI_GETANIMATION, sizeof(info), &info, 0);
    const int animate = info.iMinAnimate;
    if (animate) {
        info.iMinAnimate = 0;
        SystemParametersInfoA(SPI_SETANIMATION, sizeof(info), &info, 0);
    }
    ShowWindow(hwnd, command);
    if (animate) {
        info.iMinAnimate = animate;
        SystemParametersInfoA(SPI_SETANIMATION, sizeof(info), &info, 0);
    }
}

}  // namespace

Application& Application::Instance() {
    static Application application;
    return application;
}

HWND Application::Handle() {
    // Made once: while the process ends, Windows destroys it, and nothing
    // may bring it back then.
    if (!Window::Handle() && !created_) {
        created_ = true;
        RegisterWindowClass(kApplicationClass);
        // Hidden, 0 x 0 at the screen centre; owner of every other window.
        CreateHandle(kApplicationClass, title_.c_str(),
                     WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, 0,
                     GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr);
    }
    return Window::Handle();
}

void Application::SetTitle(const std::string& ansiTitle) {
    title_ = ansiTitle;
    SetWindowTextA(Handle(), title_.c_str());
}

void Application::Run() {
    if (mainForm_ && showMainForm_) {
        if (mainForm_->GetWindowState() == WindowState::Minimized)
            Minimize();
        else
            mainForm_->SetVisible(true);
    }
    while (!terminated_) HandleMessage();
}

bool Application::ProcessMessage() {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (msg.message == WM_QUIT) {
        // The program's own follows Terminate. Anyone else's is no more than a
        // request to close, which the main window's close query decides.
        if (!terminated_ && mainForm_) PostMessageA(mainForm_->Handle(), WM_CLOSE, 0, 0);
        return true;
    }
    // Only keys take a form's own way, and the form is looked for only for
    // them: under Wine, finding a window's root asks the server.
    if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) {
        Form* form = dynamic_cast<Form*>(Window::FromHandle(GetAncestor(msg.hwnd, GA_ROOT)));
        if (form && form->PreTranslateMessage(msg)) return true;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return true;
}

void Application::HandleMessage() {
    // Returns at once while anything is queued, seen before or not; so the
    // loop does not look into an empty queue before it waits, which under
    // Wine costs a request to its server and a yield of the processor.
    MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (!ProcessMessage()) CheckSynchronize();
}

void Application::ProcessMessages() {
    while (ProcessMessage()) {
    }
}

void Application::Terminate() {
    terminated_ = true;
    // Wakes a loop that waits for a message.
    PostQuitMessage(0);
}

void Application::ResetTerminated() {
    terminated_ = false;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

void Application::Minimize() {
    HWND app = Handle();
    if (IsIconic(app)) return;
    SetActiveWindow(app);
    if (mainForm_ && (showMainForm_ || mainForm_->Visible()) && IsWindowEnabled(mainForm_->Handle())) {
        // Minimise from where the main window stands, so the owned windows
        // hide with the application window.
        RECT r;
        GetWindowRect(mainForm_->Handle(), &r);
        SetWindowPos(app, mainForm_->Handle(), r.left, r.top, r.right - r.left, 0, SWP_SHOWWINDOW);
        DefWindowProcA(app, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    } else {
        ShowWithoutAnimation(app, SW_MINIMIZE);
    }
}

void Application::Restore() {
    HWND app = Handle();
    if (!IsIconic(app)) return;
    SetActiveWindow(app);
    ShowWithoutAnimation(app, SW_RESTORE);
    SetWindowPos(app, nullptr, GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0,
                 SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    if (mainForm_ && mainForm_->GetWindowState() == WindowState::Minimized && !mainForm_->Visible()) {
        mainForm_->SetWindowState(WindowState::Normal);
        mainForm_->SetVisible(true);
    }
}

int Application::AddHook(Hook hook) {
    hooks_.push_back({nextHookId_, std::move(hook)});
    return nextHookId_++;
}

void Application::RemoveHook(int id) {
    std::erase_if(hooks_, [id](const InstalledHook& h) { return h.id == id; });
}

void Application::ShowException(const std::exception& error) {
    const std::string text = WithFullStop(error.what());
    // The report itself must not fail: without an application window the box has no owner.
    // In front of the unlock dialog, too, when it is open: a newer box of ours
    // comes before an older one. MB_SYSTEMMODAL is MB_APPLMODAL made topmost
    // (Wine makes a box topmost for it, not for MB_TOPMOST).
    MessageBoxA(Window::Handle(), text.c_str(), title_.c_str(),
                MB_OK | MB_ICONSTOP | (TopmostWindowShown() ? MB_SYSTEMMODAL : MB_APPLMODAL));
}

void Application::PostException(std::exception_ptr error) noexcept {
    try {
        auto posted = std::make_unique<std::exception_ptr>(std::move(error));
        if (PostMessageA(Handle(), kReportMessage, 0, reinterpret_cast<LPARAM>(posted.get()))) posted.release();
    } catch (...) {
    }
}

void Application::OnSysCommand(WPARAM command) {
    switch (command & 0xFFF0) {
        case SC_MINIMIZE: Minimize(); break;
        case SC_RESTORE: Restore(); break;
        default: DefaultHandling(WM_SYSCOMMAND, command, 0);
    }
}

LRESULT Application::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    // A hook may remove itself or others while it runs: walk a copy.
    const std::vector<InstalledHook> hooks = hooks_;
    for (const InstalledHook& h : hooks) {
        LRESULT result = 0;
        if (h.hook(message, wParam, lParam, result)) return result;
    }
    switch (message) {
        case WM_SYSCOMMAND: OnSysCommand(wParam); return 0;
        case WM_CLOSE:
            if (mainForm_) mainForm_->Close();
            return 0;
        case WM_NULL: CheckSynchronize(); return 0;
        case WM_SETFOCUS:
            // This window is brought to the foreground (restoring from the tray,
            // opening the tray menu) but shows nothing: once the activation has
            // settled, the program's front window takes the focus.
            PostMessageA(Handle(), kEnterMessage, 0, 0);
            break;
        case kReportMessage: {
            const std::unique_ptr<std::exception_ptr> error(reinterpret_cast<std::exception_ptr*>(lParam));
            try {
                std::rethrow_exception(*error);
            } catch (...) {
                ReportCurrentError();
            }
            return 0;
        }
        case kEnterMessage:
            if (!IsIconic(Handle()) && GetFocus() == Handle())
                if (HWND front = FrontWindow(Handle())) SetFocus(front);
            return 0;
        case WM_COMMAND:
            if (HIWORD(wParam) == 0 && MenuItem::DispatchCommand(LOWORD(wParam))) return 0;
            break;
        case WM_QUERYENDSESSION: return 1;
        case WM_ENDSESSION:
            // The session ends, asked first or not: the main window closes the
            // way it does at the end-of-session query, saving what it holds.
            if (wParam) {
                if (mainForm_)
                    SendMessageA(mainForm_->Handle(), WM_ENDSESSION, wParam, lParam);
                else
                    Terminate();
            }
            return 0;
    }
    return DefaultHandling(message, wParam, lParam);
}

}  // namespace pwg
