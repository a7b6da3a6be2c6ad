#include "tests/support/Controls.h"

#include <vector>

namespace pwg::test {
namespace {

// How long a window of the program may take to answer one message; its UI
// thread may be inside a network time fetch for up to a second.
constexpr UINT kAnswerMs = 3000;

bool Mine(HWND window) { return GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId(); }

}  // namespace

std::string ClassName(HWND window) {
    char name[128] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::optional<std::string> Text(HWND window) {
    DWORD_PTR length = 0, copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kAnswerMs, &length)) return std::nullopt;
    std::string text(length + 1, '\0');
    if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                             kAnswerMs, &copied))
        return std::nullopt;
    text.resize(copied);
    return text;
}

bool Type(HWND entry, std::string_view ansiText) {
    const std::string text(ansiText);
    DWORD_PTR taken = 0;
    return SendMessageTimeoutA(entry, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL, kAnswerMs,
                               &taken) &&
           taken;
}

void Press(HWND button) {
    if (Mine(button))
        SendMessageA(button, BM_CLICK, 0, 0);
    else
        PostMessageA(button, BM_CLICK, 0, 0);
}

void PressKeys(std::string_view keys) {
    std::vector<INPUT> inputs;
    const auto key = [&](WORD vk, bool up) {
        INPUT input{INPUT_KEYBOARD};
        input.ki.wVk = vk;
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(input);
    };
    for (const char c : keys) {
        WORD vk = 0;
        bool shift = false;
        switch (c) {
            case '\r': vk = VK_RETURN; break;
            case '\t': vk = VK_TAB; break;
            case '\b': vk = VK_BACK; break;
            case '\x1b': vk = VK_ESCAPE; break;
            default: {
                const SHORT scan = VkKeyScanA(c);
                vk = LOBYTE(scan);
                shift = (HIBYTE(scan) & 1) != 0;
            }
        }
        if (shift) key(VK_SHIFT, false);
        key(vk, false);
        key(vk, true);
        if (shift) key(VK_SHIFT, true);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void ClickWithMouse(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    // Absolute positions run from 0 to 65535 across the primary screen.
    INPUT inputs[3] = {{INPUT_MOUSE}, {INPUT_MOUSE}, {INPUT_MOUSE}};
    inputs[0].mi.dx = MulDiv((r.left + r.right) / 2, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    inputs[0].mi.dy = MulDiv((r.top + r.bottom) / 2, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(3, inputs, sizeof(INPUT));
}

}  // namespace pwg::test
