#pragma once
// Shared by the tray tests: a tray icon that records its shell calls (still
// making them), and the shell's notifications and timer ticks delivered as
// Windows would, to icons of a test form that stands for the main window.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/framework/Application.h"
#include "common/Handles.h"
#include "tests/support/AppFixture.h"
#include "tests/support/Controls.h"
#include "tests/support/TestForm.h"
#include "tray/SimpleTimer.h"
#include "tray/TrayIcon.h"

namespace pwg::test {

using Log = std::vector<std::string>;

struct ShellCall {
    std::string kind;
    IconRecord record;
    bool accepted;
};

class RecordingTrayIcon : public TTrayIcon {
public:
    using TTrayIcon::TTrayIcon;
    std::vector<ShellCall> calls;

    bool AddTrayIcon() override { return Record("add", TTrayIcon::AddTrayIcon()); }
    bool DeleteTrayIcon() override { return Record("delete", TTrayIcon::DeleteTrayIcon()); }
    bool UpdateTrayIcon() override { return Record("update", TTrayIcon::UpdateTrayIcon()); }
    const ShellCall& Last() const { return calls.back(); }

private:
    bool Record(const char* kind, bool accepted) {
        calls.push_back({kind, IconData(), accepted});
        return accepted;
    }
};

inline void LogEvents(TTrayIcon& icon, Log& log) {
    auto note = [&log](const char* what) { return [&log, what](TTrayIcon&) { log.push_back(what); }; };
    auto button = [&log](const char* what) {
        return [&log, what](TTrayIcon&, MouseButton b, ShiftState, int, int) {
            log.push_back(std::string(what) + (b == MouseButton::Left ? "L" : b == MouseButton::Right ? "R" : "M"));
        };
    };
    icon.OnClick = note("click");
    icon.OnDblClick = note("dblclick");
    icon.OnMouseDown = button("down ");
    icon.OnMouseUp = button("up ");
    icon.OnMouseMove = [&log](TTrayIcon&, ShiftState, int, int) { log.push_back("move"); };
    icon.OnMouseEnter = note("enter");
    icon.OnMouseExit = note("exit");
    icon.OnCycle = [&log](TTrayIcon&, int next) { log.push_back("cycle " + std::to_string(next)); };
    icon.OnBalloonHintShow = note("balloon show");
    icon.OnBalloonHintHide = note("balloon hide");
    icon.OnBalloonHintTimeout = note("balloon timeout");
    icon.OnBalloonHintClick = note("balloon click");
}

inline LRESULT Notify(const TTrayIcon& icon, LPARAM notification) {
    return SendMessageA(TTrayIconHandler::Instance()->Handle(), TrayCallbackMessage, icon.Identifier(),
                        notification);
}

inline void Tick(const TSimpleTimer& timer) {
    SendMessageA(TSimpleTimerHandler::Instance()->Handle(), WM_TIMER, timer.Identifier(), 0);
}

inline IconHandle MakeIcon(int size) {
    BitmapHandle color(CreateCompatibleBitmap(WindowDC(nullptr).get(), size, size));
    BitmapHandle mask(CreateBitmap(size, size, 1, 1, nullptr));
    ICONINFO info{TRUE, 0, 0, mask.get(), color.get()};
    return IconHandle(CreateIconIndirect(&info));
}

// 0 for no icon.
inline int IconWidth(HICON icon) {
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info)) return 0;
    BitmapHandle color(info.hbmColor), mask(info.hbmMask);
    BITMAP bm{};
    GetObjectA(color ? color.get() : mask.get(), sizeof(bm), &bm);
    return bm.bmWidth;
}

// A main window for the application; nothing minimised or hidden is left
// for the next test.
class TrayTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetApplication();
        form = new TestForm(Form::Border::Single);
        app().SetMainForm(form);
    }
    void TearDown() override {
        delete form;  // with its tray icons
        ResetApplication();
    }
    static Application& app() { return Application::Instance(); }
    RecordingTrayIcon& NewTray() { return *new RecordingTrayIcon(form); }

    TestForm* form = nullptr;
};

}  // namespace pwg::test
