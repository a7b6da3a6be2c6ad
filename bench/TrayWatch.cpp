// Watches Wine's notification area for the resident-cost benchmark: prints
// "ready" once no icon is in it, then "icon <µs since 1970>" at the first
// poll that finds one, and ends. Fails when the area does not empty within
// 10 s or no icon comes within 30 s.
#include <windows.h>

#include <cstdio>

namespace {

constexpr DWORD kPollMs = 1;

// Wine shows the icons in a window of its own where no X tray runs, and
// docks each in the X tray where one does.
bool IconShown() {
    if (HWND tray = FindWindowA("__winex11_standalone_tray", nullptr))
        if (FindWindowExA(tray, nullptr, "__winex11_tray_icon", nullptr)) return true;
    return FindWindowA("__winex11_tray_icon", nullptr) != nullptr;
}

bool WaitFor(bool shown, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (IconShown() != shown) {
        if (GetTickCount64() >= end) return false;
        Sleep(kPollMs);
    }
    return true;
}

// The wall clock, which Wine reads from the host: the launcher's clock too.
unsigned long long MicrosecondsSince1970() {
    FILETIME ft;
    GetSystemTimePreciseAsFileTime(&ft);
    const unsigned long long ticks = (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return (ticks - 116444736000000000ULL) / 10;
}

}  // namespace

int main() {
    // Brings Wine's desktop up first, as a log-on does before programs start.
    GetDesktopWindow();
    if (!WaitFor(false, 10000)) {
        std::puts("busy");
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    if (!WaitFor(true, 30000)) {
        std::puts("none");
        return 1;
    }
    std::printf("icon %llu\n", MicrosecondsSince1970());
    return 0;
}
