#include "app/Unit1.h"

#include <cstring>

#include "app/AppState.h"
#include "app/LocalClock.h"
#include "app/Settings.h"
#include "app/TrustedClockRules.h"
#include "app/framework/Application.h"
#include "app/framework/ErrorReport.h"
#include "app/framework/ShowMessage.h"
#include "common/Ansi.h"
#include "common/Error.h"
#include "core/LogonTask.h"
#include "core/U0_func.h"
#include "dialogs/U1_psw.h"
#include "dialogs/U2_psw.h"
#include "enforcement/Lock.h"
#include "enforcement/u0_shutThread.h"
#include "gettime/GetTime.h"
#include "res/resource.h"

namespace pwg {
namespace {

constexpr char kPickerFormat[] = "yyyy-MM-dd  HH:mm";

// A command's dialog is discarded when the command ends, however it ends.
template <class Dialog>
struct CommandDialog {
    Dialog* dialog;
    ~CommandDialog() { dialog->Release(); }
    Dialog* operator->() const { return dialog; }
};

}  // namespace

TMainForm::TMainForm() : Form(nullptr, "岚栖自动关机助手", 492, 180, Border::Single) {
    // Parts are made and set up first, told their settings are in, and only
    // then does the start-up sequence run.
    BeginLoading();
    sGroupBox1 = AddGroupBox(kGroupBox1, 16, 24, 201, 97, "时间区间");
    // The group boxes' children sit at the box's origin plus their own place.
    sLabelFX1 = AddLabel(kLabelFX1, 16 + 8, 24 + 28, 62, 15, "开始时间：");
    sLabelFX2 = AddLabel(kLabelFX2, 16 + 8, 24 + 68, 62, 15, "结束时间：");
    Start_Time = AddTimePicker(kStartTime, 16 + 72, 24 + 24, 121, 21, kPickerFormat);
    End_Time = AddTimePicker(kEndTime, 16 + 72, 24 + 64, 121, 21, kPickerFormat);
    sGroupBox2 = AddGroupBox(kGroupBox2, 232, 24, 233, 97, "说明");
    sLabelFX3 = AddLabel(kLabelFX3, 232 + 10, 24 + 26, 209, 67,
                         "如果使用者没有在设定的 [开始时间] 和 [结束时间] 区间内操作电脑，系统会发出警告并且电脑会锁定到"
                         "关机状态，没有解锁60秒后自动关机，解锁必须输入管理员密码。",
                         true);
    sBitBtn1 = AddButton(kBitBtn1, 80, 136, 73, 33, "确 认 设 置");

    MainMenu1 = new MainMenu(this);
    N1 = MainMenu1->Items().Add("系统");
    N2 = N1->Add("密码设置", [this] { N2Click(); }, kCmdN2);
    N3 = N1->Add("解除锁定", [this] { N3Click(); }, kCmdN3);
    N4 = N1->Add("重新锁定", [this] { N4Click(); }, kCmdN4);
    AttachMenuBar(MainMenu1->BuildMenuBar());

    PopupMenu1 = new PopupMenu(this);
    N6 = PopupMenu1->Items().Add("显示主界面", [this] { N6Click(); }, kCmdN6);
    N7 = PopupMenu1->Items().Add("修改管理密码", [this] { N7Click(); }, kCmdN7);
    N8 = PopupMenu1->Items().Add("退出", [this] { N8Click(); }, kCmdN8);

    TrayIcon1 = new TTrayIcon(this);
    TrayIcon1->SetHint(ToAnsi("双击我，或者点击右键"));
    TrayIcon1->Icon().LoadFromResource(GetModuleHandleA(nullptr), IDI_TRAY);
    TrayIcon1->SetIconIndex(0);
    TrayIcon1->SetCycleInterval(0);
    TrayIcon1->SetPopupMenu(PopupMenu1);
    TrayIcon1->SetMinimizeToTray(true);
    TrayIcon1->OnDblClick = [this](TTrayIcon&) { TrayIcon1DblClick(); };

    Timer1 = std::make_unique<Timer>(kSyncIntervalMs, true, [this] { Timer1Timer(); });
    Timer2 = std::make_unique<Timer>(kFallbackIntervalMs, true, [this] { Timer2Timer(); });

    SetBounds(kDesignLeft, kDesignTop);
    EndLoading();
    FormCreate();
}

TMainForm::~TMainForm() {
    StopEnforcement();
    Timer1.reset();
    Timer2.reset();
}

void TMainForm::FormCreate() {
    AppState& state = State();
    try {
        CaptureTimeZone();
        if (std::optional<std::string> failure = RegisterAutoStart()) {
            // Told when the start-up is done: a message box now would hold it up.
            taskFailure_ = std::move(*failure);
            PostMessageA(Handle(), kTellTaskFailure, 0, 0);
        }
        state.locked.value = false;  // in force once loaded
        state.closePermit = false;
        state.shutdownLatch = false;
        state.syncFailures = 0;
        settings::Load();
        SetPickerTime(Start_Time, state.windowStart);
        SetPickerTime(End_Time, state.windowEnd);
        state.trustedTime = LocalTimeOfDayNotBefore(state.networkTime);
        state.today = LocalDate();
        SetPickerDate(Start_Time, state.today);
        SetPickerDate(End_Time, state.today);
        RestartEnforcement();
        PlaceBottomRight();
        // Only recorded: the message loop minimises the application instead of showing this window.
        SetWindowState(WindowState::Minimized);
    } catch (const std::exception& e) {
        ShowMessage(e.what());
    }
}

void TMainForm::OnClose(CloseAction&) {
    // A failed Run entry leaves the window open and the settings unwritten;
    // the log-on task's failure was told at start-up and never stops leaving.
    RegisterAutoStart();
    settings::Save();
    RemoveUnwantedLogonTask();
}

void TMainForm::ShowHereNotice() {
    static const std::string title = ToAnsi("提示"), text = ToAnsi("我在这里.\r有事双击我.");
    TrayIcon1->ShowNotice(title, text, NoticeIcon::Info, 10);
}

bool TMainForm::AskPassword() {
    CommandDialog<Tf1_psw> prompt{new Tf1_psw(this)};
    return prompt->ShowModal() == kModalOk;
}

void TMainForm::OnCommand(int id, int code, HWND) {
    if (id == kBitBtn1 && code == BN_CLICKED) sBitBtn1Click();
}

void TMainForm::sBitBtn1Click() {
    CommandDialog<Tf1_psw> prompt{new Tf1_psw(this)};
    if (prompt->ShowModal() == kModalOk) {
        try {
            settings::ConfirmWindow(PickerTime(Start_Time), PickerTime(End_Time));
            RestartEnforcement();
        } catch (const std::exception& e) {
            ShowMessage(e.what());
        }
        Lock();
        TrayIcon1->SendToTray();
    } else {
        // Undo unconfirmed edits; what is in force stays.
        const UsageWindow stored = settings::StoredWindow();
        SetPickerTime(Start_Time, stored.start);
        SetPickerTime(End_Time, stored.end);
    }
}

void TMainForm::N2Click() {
    CommandDialog<TF2_psw> change{new TF2_psw(this)};
    if (change->ShowModal() == kModalOk) {
        TrayIcon1->SendToTray();
        ShowHereNotice();
    }
}

void TMainForm::N3Click() {
    if (AskPassword()) Unlock();
}

void TMainForm::N4Click() {
    if (!AskPassword()) return;
    Lock();
    // A lock without a tick would be no lock: where Windows refused the
    // enforcement its timer, the relock asks for one again.
    if (EnforcementRefused()) RestartEnforcement();
    TrayIcon1->SendToTray();
}

void TMainForm::N6Click() { TrayIcon1->RestoreFromTray(); }

void TMainForm::N7Click() {
    CommandDialog<TF2_psw> change{new TF2_psw(this)};
    if (change->ShowModal() == kModalOk) TrayIcon1->SendToTray();
    // From the tray the notice comes whatever the answer.
    ShowHereNotice();
}

void TMainForm::N8Click() {
    if (!AskPassword()) return;
    State().closePermit = true;
    Close();
}

void TMainForm::TrayIcon1DblClick() { TrayIcon1->RestoreFromTray(); }

bool TMainForm::OnCloseQuery() {
    if (State().closePermit) return true;
    TrayIcon1->SendToTray();
    ShowHereNotice();
    return false;
}

LRESULT TMainForm::OnQueryEndSession() {
    State().closePermit = true;
    // A failing exit sequence raises out of here: the boundary reports it and
    // answers 0, refusing the end of the session.
    Close();
    return 1;
}

void TMainForm::OnEndSession() {
    // Windows normally asks first, and then the exit sequence has run; a
    // session that ends unasked (or a posted message) closes the same way.
    if (!Application::Instance().Terminated()) OnQueryEndSession();
}

void TMainForm::OnSysCommand(WPARAM command, LPARAM lParam) {
    if (command == SC_MINIMIZE) ShowHereNotice();
    // Minimising and restoring are the application's, not this window's.
    switch (command & 0xFFF0) {
        case SC_MINIMIZE: Application::Instance().Minimize(); return;
        case SC_RESTORE: Application::Instance().Restore(); return;
    }
    DefaultHandling(WM_SYSCOMMAND, command, lParam);
}

void TMainForm::OnSettingChange(const char* area) {
    if (area && std::strcmp(area, "intl") == 0) RefreshTimeFormat();
}

void TMainForm::Timer1Timer() {
    AppState& state = State();
    // Blocks the UI thread for at most the library's one-second bound.
    const bool fetched = GetTimeFromServer(6, &state.fetchedTime) != 0;
    if (fetched) {
        UpdateSysTime(state.fetchedTime);
        state.networkTime = state.fetchedTime;
        settings::StoreNetworkTime();
    }
    const FetchOutcome outcome = AfterFetch(fetched, state.syncFailures);
    state.syncFailures = outcome.failures;
    if (outcome.takeSnapshot) {
        // Read from the clock just set, so a clock moved by hand counts only until here.
        state.trustedTime = LocalTimeOfDayNotBefore(state.networkTime);
        state.today = LocalDate();
    }
}

void TMainForm::Timer2Timer() {
    AppState& state = State();
    if (FallbackTakesSnapshot(state.syncFailures)) state.trustedTime = LocalTimeOfDayNotBefore(state.networkTime);
}

void TMainForm::OnResume() {
    // The snapshot is as old as the sleep was long: the local clock stands in
    // at once, as at start-up, and the network is asked as soon as the
    // message queue lets it (not inside the power notice, which Windows
    // expects answered at once).
    State().trustedTime = LocalTimeOfDayNotBefore(State().networkTime);
    PostMessageA(Handle(), kSyncNow, 0, 0);
}

LRESULT TMainForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_QUERYENDSESSION: return OnQueryEndSession();
        case WM_ENDSESSION:
            if (wParam) OnEndSession();
            return 0;
        case WM_SYSCOMMAND: OnSysCommand(wParam, lParam); return 0;
        case WM_SETTINGCHANGE: OnSettingChange(reinterpret_cast<const char*>(lParam)); break;
        case WM_POWERBROADCAST:
            // Sent at every resume; a resume by the user brings PBT_APMRESUMESUSPEND after it.
            if (wParam == PBT_APMRESUMEAUTOMATIC) OnResume();
            return TRUE;
        case kSyncNow: Timer1Timer(); return 0;
        case kTellTaskFailure: ReportError(Error(taskFailure_)); return 0;
    }
    return Form::HandleMessage(message, wParam, lParam);
}

}  // namespace pwg
