#include "enforcement/u0_shutThread.h"

#include <windows.h>

#include <string>

#include "app/AppState.h"
#include "app/Unit1.h"
#include "app/framework/Ansi.h"
#include "app/framework/OsError.h"
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
        timer_ = std::make_unique<Timer>();
        timer_->SetEnabled(false);
        timer_->SetInterval(kTickMs);
        timer_->SetOnTimer(EnforcementTick);
        timer_->SetEnabled(true);
    });
}

void EnforcementTick() {
    AppState& s = State();
    if (s.shutdownLatch) return;
    static const std::string unlockedCaption = A("系统已解锁"), lockedCaption = A("系统已锁定");
    TMainForm* main = MainForm();
    if (!s.locked) {
        if (main) main->SetCaption(unlockedCaption);
        return;
    }
    if (main) main->SetCaption(lockedCaption);

    // Ticks run nested while an earlier tick waits in the unlock dialog, so
    // the state is read afresh at every step.
    const double t = s.trustedTime, start = s.windowStart, end = s.windowEnd;
    if (IsInsideWindow(t, start, end)) {
        CloseUnlockDialog();
        s.countdown = 0;
    }
    if (IsOutsideWindow(t, start, end)) {
        if (!s.unlockDialog) {
            s.unlockDialog = new Tf3_psw();
            s.unlockDialog->ShowModal();
            // The dialog has closed: by the password, its close box, or a later tick.
            if (s.shutdownLatch) return;
        }
        ++s.countdown;
        if (s.unlockDialog) s.unlockDialog->SetSecondsLeft(SecondsLeft(s.countdown));
    }
    if (CountdownExpired(s.countdown)) {
        CloseUnlockDialog();
        s.shutdownLatch = true;
        s.closePermit = true;
        RequestPowerOff();
    }
}

void RequestPowerOff() {
    EnablePrivilege("SeShutdownPrivilege", true);
    if (!shutdownCalls.exitWindowsEx(EWX_POWEROFF, 0)) RaiseLastOsError();
    char computer[16] = {};
    DWORD size = sizeof computer;
    GetComputerNameA(computer, &size);
    InitiateLocalShutdown(computer, A("系统将要关机！").c_str(), 5, true, false);
}

}  // namespace pwg
