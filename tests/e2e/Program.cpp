#include "tests/e2e/Program.h"

#include <commctrl.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <stdexcept>

#include "app/Unit1.h"
#include "common/Ansi.h"
#include "core/Processes.h"
#include "dialogs/U1_psw.h"

namespace pwg::test {
namespace {

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param) {
    reinterpret_cast<std::vector<WindowInfo>*>(param)->push_back(
        {window, ClassName(window), Shown(window)});
    return TRUE;
}

BOOL CALLBACK CollectTrayIcon(HWND window, LPARAM param) {
    if (ClassName(window) == "__winex11_tray_icon") reinterpret_cast<std::set<HWND>*>(param)->insert(window);
    return TRUE;
}

}  // namespace

void Command(HWND window, UINT id) { PostMessageA(window, WM_COMMAND, id, 0); }

std::vector<WindowInfo> TopLevelWindows() {
    std::vector<WindowInfo> windows;
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// ---------------------------------------------------------------------------

std::string Program::Path() {
    char self[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path(self, n);
    return path.substr(0, path.find_last_of('\\') + 1) + "pw_gate.exe";
}

Program::Program(const std::string& path) {
    std::string commandLine = "\"" + path + "\"";
    STARTUPINFOA startup{sizeof(startup)};
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info))
        throw std::runtime_error("cannot start " + path + ": error " + std::to_string(GetLastError()));
    const Handle thread(info.hThread);
    process_.reset(info.hProcess);
    id_ = info.dwProcessId;
}

Program::Program(DWORD runningProcessId) : id_(runningProcessId) {
    process_.reset(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE,
                               id_));
    if (!process_) throw std::runtime_error("cannot open process " + std::to_string(id_));
}

Program::~Program() {
    if (Running()) {
        TerminateProcess(process_.get(), 99);
        WaitForSingleObject(process_.get(), 10000);
    }
}

std::string Program::ImagePath() const {
    char path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (!QueryFullProcessImageNameA(process_.get(), 0, path, &size)) return {};
    return std::string(path, size);
}

std::string Program::ModulePath(const char* moduleName) const {
    HMODULE modules[256];
    DWORD bytes = 0;
    if (!EnumProcessModules(process_.get(), modules, sizeof modules, &bytes)) return {};
    for (DWORD i = 0; i < bytes / sizeof(HMODULE) && i < 256; ++i) {
        char path[MAX_PATH] = {};
        const DWORD n = GetModuleFileNameExA(process_.get(), modules[i], path, MAX_PATH);
        const std::string file(path, n);
        if (lstrcmpiA(file.substr(file.find_last_of('\\') + 1).c_str(), moduleName) == 0) return file;
    }
    return {};
}

bool Program::Running() const { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

std::optional<DWORD> Program::WaitForExit(DWORD timeoutMs) {
    if (WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return code;
}

void Program::End(UINT exitCode) {
    TerminateProcess(process_.get(), exitCode);
    WaitForSingleObject(process_.get(), 10000);
}

std::vector<WindowInfo> Program::Windows() const {
    std::vector<WindowInfo> mine;
    for (const WindowInfo& w : TopLevelWindows()) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w.handle, &owner);
        if (owner == id_) mine.push_back(w);
    }
    return mine;
}

HWND Program::WindowOfClass(const char* className) const {
    for (const WindowInfo& w : Windows())
        if (w.className == className) return w.handle;
    return nullptr;
}

HWND Program::MainWindow() const {
    constexpr int kStartTimePicker = 104;
    for (const WindowInfo& w : Windows()) {
        if (w.className != "PwgForm") continue;
        HWND picker = GetDlgItem(w.handle, kStartTimePicker);
        if (picker && ClassName(picker) == "SysDateTimePick32") return w.handle;
    }
    return nullptr;
}

HWND Program::VisibleForm(std::string_view utf8Caption) const {
    const std::string caption = ToAnsi(utf8Caption);
    for (const WindowInfo& w : Windows())
        if (w.className == "PwgForm" && w.visible && Text(w.handle) == caption) return w.handle;
    return nullptr;
}

HWND Program::WaitForVisibleForm(std::string_view utf8Caption, DWORD timeoutMs) const {
    HWND found = nullptr;
    WaitUntil([&] { return (found = VisibleForm(utf8Caption)) != nullptr; }, timeoutMs);
    return found;
}

HWND Program::WaitUntilRunning() {
    HWND main = nullptr;
    // Wine may have to start its desktop process first.
    if (!WaitUntil([&] { return (main = MainWindow()) != nullptr || !Running(); }, 20000) || !main) return nullptr;
    const std::string unlocked = ToAnsi("系统已解锁");
    // The first enforcement tick comes a second after start-up.
    if (!WaitUntil([&] { return Text(main) == unlocked; }, 3000)) return nullptr;
    return main;
}

HWND Program::WaitUntilLockedOutside() {
    HWND main = nullptr;
    if (!WaitUntil([&] { return (main = MainWindow()) != nullptr || !Running(); }, 20000) || !main) return nullptr;
    const std::string locked = ToAnsi("系统已锁定");
    if (!WaitUntil([&] { return Text(main) == locked; }, 3000)) return nullptr;
    return WaitForVisibleForm("管理员解锁", 3000);
}

// ---------------------------------------------------------------------------

namespace {

void RunWineboot(std::string commandLine) {
    STARTUPINFOA startup{sizeof(startup)};
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        throw std::runtime_error("cannot start wineboot: error " + std::to_string(GetLastError()));
    const Handle thread(info.hThread), process(info.hProcess);
    WaitForSingleObject(process.get(), 30000);
}

}  // namespace

bool StartOnHost(const std::string& commandLine) {
    std::string line = commandLine;
    STARTUPINFOA startup{sizeof(startup)};
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return true;
}

HWND FocusInThreadOf(HWND window) {
    GUITHREADINFO info{sizeof(info)};
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
}

bool InFrontOf(HWND upper, HWND lower) {
    for (const WindowInfo& w : TopLevelWindows()) {
        if (w.handle == upper) return true;
        if (w.handle == lower) return false;
    }
    return false;
}

void EndSession() { RunWineboot("C:\\windows\\system32\\wineboot.exe --end-session --shutdown"); }

void RestartSession() { RunWineboot("C:\\windows\\system32\\wineboot.exe --end-session"); }

std::set<DWORD> ProcessesWithWindow(const char* className) {
    std::set<DWORD> ids;
    for (const WindowInfo& w : TopLevelWindows()) {
        if (w.className != className) continue;
        DWORD id = 0;
        GetWindowThreadProcessId(w.handle, &id);
        ids.insert(id);
    }
    return ids;
}

testing::AssertionResult AnswerPrompt(const Program& program, std::string_view password) {
    HWND prompt = program.WaitForVisibleForm(kPasswordPrompt, 3000);
    if (!prompt) return testing::AssertionFailure() << "no password prompt";
    TypePassword<Tf1_psw>(prompt, password);
    if (!WaitUntil([&] { return !Shown(prompt); }, 3000))
        return testing::AssertionFailure() << "the prompt stayed, showing \""
                                           << Text(GetDlgItem(prompt, Tf1_psw::kLabelFX2)).value_or("") << "\"";
    return testing::AssertionSuccess();
}

testing::AssertionResult ExitWithPassword(const Program& program, std::string_view password) {
    Command(program.ApplicationWindow(), TMainForm::kCmdN8);
    return AnswerPrompt(program, password);
}

std::unique_ptr<Program> StartedAtLogOn() {
    std::set<DWORD> ids;
    if (!WaitUntil([&] { return !(ids = ProcessesWithWindow("PwgApplication")).empty(); }, 10000)) {
        ADD_FAILURE() << "nothing started at log-on";
        return nullptr;
    }
    // Each is ended when the test ends, however it ends.
    std::vector<std::unique_ptr<Program>> started;
    for (DWORD id : ids) started.push_back(std::make_unique<Program>(id));
    if (started.size() != 1) {
        ADD_FAILURE() << started.size() << " programs started at log-on";
        return nullptr;
    }
    return std::move(started.front());
}

std::unique_ptr<Program> NextProgramFrom(const std::string& path, const Program* before, DWORD timeoutMs) {
    const std::string file = path.substr(path.find_last_of('\\') + 1);
    std::unique_ptr<Program> next;
    WaitUntil(
        [&] {
            for (const DWORD id : ProcessesNamed(file.c_str())) {
                const Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
                if ((before && id == before->Id()) || !process ||
                    lstrcmpiA(ProcessImage(process.get()).c_str(), path.c_str()) != 0)
                    continue;
                next = std::make_unique<Program>(id);
                return true;
            }
            return false;
        },
        timeoutMs);
    return next;
}

std::set<HWND> ShellTrayIcons() {
    std::set<HWND> icons;
    for (const WindowInfo& w : TopLevelWindows()) {
        if (w.className == "__winex11_standalone_tray")
            EnumChildWindows(w.handle, CollectTrayIcon, reinterpret_cast<LPARAM>(&icons));
        else if (w.className == "__winex11_tray_icon")  // docked in an X tray, where one runs
            icons.insert(w.handle);
    }
    return icons;
}

std::set<HWND> ShellBalloons() {
    std::set<HWND> balloons;
    for (const WindowInfo& w : TopLevelWindows())
        if (w.visible && w.className == "tooltips_class32" && (GetWindowLongA(w.handle, GWL_STYLE) & TTS_BALLOON))
            balloons.insert(w.handle);
    return balloons;
}

}  // namespace pwg::test
