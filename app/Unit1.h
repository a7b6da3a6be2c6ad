#pragma once
// The main window: start-up and exit sequences, the usage-window pickers,
// the administrator's commands, and the two trusted-clock timers.
#include <memory>

#include "app/framework/Form.h"
#include "app/framework/Menu.h"
#include "app/framework/Timer.h"
#include "core/U0_func.h"
#include "tray/TrayIcon.h"

namespace pwg {

class TMainForm : public Form {
public:
    enum ControlId { kGroupBox1 = 101, kLabelFX1, kLabelFX2, kStartTime, kEndTime, kGroupBox2, kLabelFX3, kBitBtn1 };
    static constexpr UINT kSyncIntervalMs = 30000;      // Timer1: network time
    static constexpr UINT kFallbackIntervalMs = 60000;  // Timer2: local clock after failures
    static constexpr int kDesignLeft = 234, kDesignTop = 118;
    // Menu commands, fixed so that a click sent from outside names them.
    enum MenuCommand : UINT { kCmdN2 = 202, kCmdN3, kCmdN4, kCmdN6 = 206, kCmdN7, kCmdN8 };
    // Posted by the start-up sequence: the log-on task's failure, told once it is done.
    static constexpr UINT kTellTaskFailure = WM_APP + 10;
    // Posted after a resume from sleep: a network fetch at once.
    static constexpr UINT kSyncNow = WM_APP + 11;

    // Creates the window and runs the start-up sequence.
    TMainForm();
    ~TMainForm() override;

    HWND sGroupBox1, sLabelFX1, sLabelFX2, Start_Time, End_Time, sGroupBox2, sLabelFX3, sBitBtn1;
    MainMenu* MainMenu1;
    MenuItem *N1, *N2, *N3, *N4;
    PopupMenu* PopupMenu1;
    MenuItem *N6, *N7, *N8;
    TTrayIcon* TrayIcon1;
    std::unique_ptr<Timer> Timer1, Timer2;

    // The administrator's commands.
    void sBitBtn1Click();  // confirm settings
    void N2Click();        // change password, from the main window
    void N3Click();        // unlock
    void N4Click();        // relock
    void N6Click();        // show the main window
    void N7Click();        // change password, from the tray
    void N8Click();        // exit
    void TrayIcon1DblClick();

    // The trusted-clock handlers.
    void Timer1Timer();
    void Timer2Timer();

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnClose(CloseAction& action) override;
    bool OnCloseQuery() override;
    void OnCommand(int id, int code, HWND control) override;

private:
    void FormCreate();
    LRESULT OnQueryEndSession();
    void OnEndSession();
    void OnSysCommand(WPARAM command, LPARAM lParam);
    void OnSettingChange(const char* area);
    // Back from sleep: a new snapshot now, and a fetch right after.
    void OnResume();
    // "I am here; double-click me" in a balloon from the tray icon.
    void ShowHereNotice();
    // Shows a password prompt owned by this window; true when it ended with OK.
    bool AskPassword();

    std::string taskFailure_;
};

}  // namespace pwg
