#include "tray/SimpleTimer.h"

#include <memory>

#include "common/OsCalls.h"

namespace pwg {
namespace {

const char kTimerWindowClass[] = "PwgSimpleTimer";

// Freed with the last timer object, or at program end if one is left.
std::unique_ptr<TSimpleTimerHandler>& SharedHandler() {
    static std::unique_ptr<TSimpleTimerHandler> handler;
    return handler;
}

}  // namespace

TSimpleTimerHandler* TSimpleTimerHandler::Instance() { return SharedHandler().get(); }

TSimpleTimerHandler::TSimpleTimerHandler() {
    CreateMessageWindow(kTimerWindowClass);
}

TSimpleTimerHandler& TSimpleTimerHandler::AddUser() {
    auto& shared = SharedHandler();
    if (!shared) shared.reset(new TSimpleTimerHandler);
    ++shared->timerUsers_;
    return *shared;
}

void TSimpleTimerHandler::RemoveUser() {
    auto& shared = SharedHandler();
    if (!shared) return;
    if (shared->timerUsers_ > 0) --shared->timerUsers_;
    if (shared->timerUsers_ == 0) shared.reset();
}

LRESULT TSimpleTimerHandler::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam) OnTimer(*reinterpret_cast<TSimpleTimer*>(wParam));
            return 0;
    }
    return DefaultHandling(message, wParam, lParam);
}

void TSimpleTimerHandler::OnTimer(TSimpleTimer& timer) {
    if (timer.oneShot_) timer.Disarm(true);
    // The handler may destroy the timer: call a copy.
    if (TSimpleTimer::TickHandler tick = timer.onTick_) tick(timer);
}

TSimpleTimer::TSimpleTimer(UINT periodMs, TickHandler onTick)
    : handler_(TSimpleTimerHandler::AddUser()), periodMs_(periodMs), onTick_(std::move(onTick)) {}

TSimpleTimer::~TSimpleTimer() {
    if (running_) Disarm(true);
    TSimpleTimerHandler::RemoveUser();
}

bool TSimpleTimer::Arm() {
    if (periodMs_ == 0) return false;
    if (running_) Disarm(true);
    if (!osCalls.setTimer(handler_.Handle(), Identifier(), periodMs_, nullptr)) return false;
    running_ = true;
    ++handler_.timersRunning_;
    return true;
}

void TSimpleTimer::Disarm(bool clearRunning) {
    if (clearRunning) running_ = false;
    if (KillTimer(handler_.Handle(), Identifier()) && handler_.timersRunning_ > 0) --handler_.timersRunning_;
}

void TSimpleTimer::SetRunning(bool running) {
    if (running)
        Arm();
    else
        Disarm(true);
}

void TSimpleTimer::SetPeriod(UINT periodMs) {
    if (periodMs == periodMs_) return;
    periodMs_ = periodMs;
    if (!running_) return;
    if (periodMs_ != 0)
        Arm();
    else
        Disarm(false);
}

void TSimpleTimer::SetOnTick(TickHandler onTick) {
    onTick_ = std::move(onTick);
    if (!onTick_ && running_) Disarm(false);
}

}  // namespace pwg
