#include "app/Unit1.h"

#include <cstring>

#include "app/AppState.h"
#include "app/LocalClock.h"
#include "app/TrustedClockRules.h"
#include "app/framework/Ansi.h"
#include "app/framework/Application.h"
#include "app/framework/ErrorReport.h"
#include "app/framework/ShowMessage.h"
#include "core/Error.h"
#include "core/LogonTask.h"
#include "core/Scramble.h"
#include "core/U0_func.h"
#include "dialogs/U1_psw.h"
#include "dialogs/U2_psw.h"
#include "gettime/GetTime.h"
#include "res/resource.h"

namespace pwg {
namespace {

TMainForm* g_mainForm = nullptr;
constexpr char kPickerFormat[] = "yyyy-MM-dd  HH:mm";

// A command's dialog is discarded when the command ends, however it ends.
template <class Dialog>
struct CommandDialog {
    Dialog* dialog;
    ~CommandDialog() { dialog->Release(); }
    Dialog* operator->() const { return dialog; }
};

// The stored password, and the usage window, into force, each with the
// stored text it came from.
void LoadPasswordIntoForce() {
    AppState& state = State();
    LoadedSetting<std::string> loaded = LoadPassword();
    state.password = std::move(loaded.value);
    state.passwordStored = std::move(loaded.stored);
    state.passwordKnown = true;
}

void LoadWindowIntoForce() {
    AppState& state = State();
    LoadedSetting<double> start = LoadTime(kBeginTimeValue, kDefaultBeginTime);
    state.windowStart = start.value;
    state.windowStartStored = std::move(start.stored);
    state.windowStartKnown = true;
    LoadedSetting<double> end = LoadTime(kEndTimeValue, kDefaultEndTime);
    state.windowEnd = end.value;
    state.windowEndStored = std::move(end.stored);
    state.windowEndKnown = true;
}

// True while the store holds no text for the value, or the text this
// instance last read or wrote: nobody else has changed it since.
bool StillOurs(std::string_view name, const std::optional<std::string>& ours) {
    try {
        const std::optional<std::string> now = ReadStoredSetting(kSettingsSection, name);
        return !now || now == ours;
    } catch (const std::exception&) {
        return false;  // not text at all: not ours either
    }
}

}  // namespace

TMainForm* MainForm() { return g_mainForm; }

TMainForm::TMainForm() : Form(nullptr, "岚栖自动关机助手", 492, 180, Border::Single) {
    g_mainForm = this;
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
    TrayIcon1->SetName("TrayIcon1");
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
    if (g_mainForm == this) g_mainForm = nullptr;
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
        state.locked = false;
        state.closePermit = false;
        state.shutdownLatch = false;
        state.syncFailures = 0;
        LoadPasswordIntoForce();
        LoadWindowIntoForce();
        SetPickerTime(Start_Time, state.windowStart);
        SetPickerTime(End_Time, state.windowEnd);
        state.trustedTime = LocalTimeOfDay();
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

std::vector<SettingRecord> SettingsInForce() {
    const AppState& state = State();
    const std::string section(kSettingsSection);
    std::vector<SettingRecord> batch;
    if (state.windowStartKnown && StillOurs(kBeginTimeValue, state.windowStartStored))
        batch.push_back({section, std::string(kBeginTimeValue), TimeToText(state.windowStart)});
    if (state.windowEndKnown && StillOurs(kEndTimeValue, state.windowEndStored))
        batch.push_back({section, std::string(kEndTimeValue), TimeToText(state.windowEnd)});
    if (state.passwordKnown && StillOurs(kPasswordValue, state.passwordStored))
        batch.push_back({section, std::string(kPasswordValue), Scramble(state.password, kPasswordKey)});
    return batch;
}

void TMainForm::OnClose(CloseAction&) {
    // A failed Run entry leaves the window open and the settings unwritten;
    // the log-on task's failure was told at start-up and never stops leaving.
    RegisterAutoStart();
    WriteSettings(SettingsInForce());
    RemoveLogonTaskWithoutUac();
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
    AppState& state = State();
    CommandDialog<Tf1_psw> prompt{new Tf1_psw(this)};
    if (prompt->ShowModal() == kModalOk) {
        try {
            const std::string section(kSettingsSection);
            WriteSettings({{section, std::string(kBeginTimeValue), TimeToText(PickerTime(Start_Time))},
                           {section, std::string(kEndTimeValue), TimeToText(PickerTime(End_Time))}});
            // What is stored is what counts: a failed write leaves the old values in force.
            LoadWindowIntoForce();
            RestartEnforcement();
        } catch (const std::exception& e) {
            ShowMessage(e.what());
        }
        state.locked = true;
        state.countdown = 0;
        TrayIcon1->SendToTray();
    } else {
        // Undo unconfirmed edits; what is in force stays.
        SetPickerTime(Start_Time, LoadTime(kBeginTimeValue, kDefaultBeginTime).value);
        SetPickerTime(End_Time, LoadTime(kEndTimeValue, kDefaultEndTime).value);
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
    if (!AskPassword()) return;
    State().locked = false;
    State().countdown = 0;
}

void TMainForm::N4Click() {
    if (!AskPassword()) return;
    State().locked = true;
    State().countdown = 0;
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
    if (fetched) UpdateSysTime(state.fetchedTime);
    const FetchOutcome outcome = AfterFetch(fetched, state.syncFailures);
    state.syncFailures = outcome.failures;
    if (outcome.takeSnapshot) {
        // Read from the clock just set, so a clock moved by hand counts only until here.
        state.trustedTime = LocalTimeOfDay();
        state.today = LocalDate();
    }
}

void TMainForm::Timer2Timer() {
    AppState& state = State();
    if (FallbackTakesSnapshot(state.syncFailures)) state.trustedTime = LocalTimeOfDay();
}

LRESULT TMainForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_QUERYENDSESSION: return OnQueryEndSession();
        case WM_ENDSESSION:
            if (wParam) OnEndSession();
            return 0;
        case WM_SYSCOMMAND: OnSysCommand(wParam, lParam); return 0;
        case WM_SETTINGCHANGE: OnSettingChange(reinterpret_cast<const char*>(lParam)); break;
        case kTellTaskFailure: ReportError(Error(taskFailure_)); return 0;
    }
    return Form::HandleMessage(message, wParam, lParam);
}

}  // namespace pwg
