#include "enforcement/u0_shutThread.h"

#include <windows.h>

#include <string>

#include "app/AppState.h"
#include "app/framework/Application.h"
#include "app/framework/ErrorReport.h"
#include "app/framework/Form.h"
#include "common/Ansi.h"
#include "common/OsCalls.h"
#include "common/OsError.h"
#include "core/U0_func.h"
#include "dialogs/U3_psw.h"
#include "enforcement/TickRules.h"

namespace pwg {
namespace {

constexpr UINT kTickMs = 1000;

void CloseUnlockDialog() {
    if (Tf3_psw* dialog = State().unlockDialog) {
        dialog->Close();
        dialog->Release();
    }
}

}  // namespace

TshutThread::TshutThread(StartKey key) : Thread(key) {}

TshutThread::~TshutThread() {
    if (timer_) timer_->SetEnabled(false);
    timer_.reset();
}

void TshutThread::Execute() {
    Synchronize([this] {
        try {
            timer_ = std::make_unique<Timer>();
            timer_->SetEnabled(false);
            timer_->SetInterval(kTickMs);
            timer_->SetOnTimer(EnforcementTick);
            timer_->SetEnabled(true);
        } catch (...) {
            // Without its timer the program runs on with no enforcement: that
            // is told, once. The error still ends this worker; the next
            // restart asks for a timer again.
            ReportLater(std::current_exception());
            throw;
        }
    });
}

namespace {

// Ticks run nested while an earlier tick waits in the unlock dialog, so the
// state is read afresh for every decision.
TickState CurrentTickState() {
    const AppState& state = State();
    return {state.shutdownLatch, state.locked, state.trustedTime, state.windowStart, state.windowEnd, state.countdown,
            state.unlockDialog != nullptr};
}

void Carry(const TickStep& step) {
    AppState& state = State();
    static const std::string unlockedCaption = ToAnsi("系统已解锁"), lockedCaption = ToAnsi("系统已锁定");
    if (step.caption != Caption::Unchanged)
        if (Form* main = Application::Instance().MainForm())
            main->SetCaption(step.caption == Caption::Locked ? lockedCaption : unlockedCaption);
    if (step.closeDialog) CloseUnlockDialog();
    state.countdown = step.countdown;
    if (step.showSecondsLeft && state.unlockDialog) state.unlockDialog->SetSecondsLeft(SecondsLeft(state.countdown));
    if (step.powerOff) {
        CloseUnlockDialog();
        state.shutdownLatch = true;
        state.closePermit = true;
        RequestPowerOff();
    }
}

}  // namespace

void EnforcementTick() {
    const TickStep step = DecideTick(CurrentTickState());
    Carry(step);
    if (!step.openDialog) return;
    AppState& state = State();
    state.unlockDialog = new Tf3_psw();
    state.unlockDialog->ShowModal();
    // The dialog has closed: by the password, its close box, or a later tick.
    Carry(ResumeTick(CurrentTickState()));
}

void RestartEnforcement() {
    AppState& state = State();
    state.countdown = 0;
    StopEnforcement();
    state.enforcementWorker = Thread::Start<TshutThread>();
    state.enforcementWorker->SetPriority(THREAD_PRIORITY_LOWEST);
}

void StopEnforcement() { State().enforcementWorker.reset(); }

bool EnforcementRefused() { return State().enforcementWorker && State().enforcementWorker->Refused(); }

void RequestPowerOff() {
    EnablePrivilege("SeShutdownPrivilege", true);
    if (!osCalls.exitWindowsEx(EWX_POWEROFF, 0)) RaiseLastOsError();
    char computer[16] = {};
    DWORD size = sizeof computer;
    GetComputerNameA(computer, &size);
    InitiateLocalShutdown(computer, ToAnsi("系统将要关机！").c_str(), 5, true, false);
}

}  // namespace pwg
