#pragma once
// The main window: start-up and exit sequences, the usage-window pickers,
// the administrator's commands, and the two trusted-clock timers.
#include <memory>

#include "app/framework/Form.h"
#include "app/framework/Menu.h"
#include "app/framework/Timer.h"

namespace pwg {

class TMainForm : public Form {
public:
    enum ControlId { kGroupBox1 = 101, kLabelFX1, kLabelFX2, kStartTime, kEndTime, kGroupBox2, kLabelFX3, kBitBtn1 };
    static constexpr UINT kSyncIntervalMs = 30000;      // Timer1: network time
    static constexpr UINT kFallbackIntervalMs = 60000;  // Timer2: local clock after failures
    static constexpr int kDesignLeft = 234, kDesignTop = 118;

    // Creates the window and runs the start-up sequence.
    TMainForm();
    ~TMainForm() override;

    HWND sGroupBox1, sLabelFX1, sLabelFX2, Start_Time, End_Time, sGroupBox2, sLabelFX3, sBitBtn1;
    MainMenu* MainMenu1;
    MenuItem *N1, *N2, *N3, *N4;
    PopupMenu* PopupMenu1;
    MenuItem *N6, *N7, *N8;
    std::unique_ptr<Timer> Timer1, Timer2;

    // The trusted-clock handlers.
    void Timer1Timer();
    void Timer2Timer();

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnClose(CloseAction& action) override;

private:
    void FormCreate();
    LRESULT OnQueryEndSession();
    void OnSysCommand(WPARAM command, LPARAM lParam);
    void OnSettingChange(const char* area);
};

// The main window while it exists.
TMainForm* MainForm();

}  // namespace pwg
