#include "tray/SimpleTimer.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/StandIn.h"
#include "tests/support/Wait.h"

namespace pwg {
namespace {

int Running() { return TSimpleTimerHandler::Instance()->TimersRunning(); }

TEST(SimpleTimer, SharedWindowLivesFromFirstTimerToLast) {
    ASSERT_EQ(TSimpleTimerHandler::Instance(), nullptr);
    auto first = std::make_unique<TSimpleTimer>(50);
    const HWND window = TSimpleTimerHandler::Instance()->Handle();
    auto second = std::make_unique<TSimpleTimer>(50);
    EXPECT_EQ(TSimpleTimerHandler::Instance()->Handle(), window);
    EXPECT_EQ(TSimpleTimerHandler::Instance()->TimerUsers(), 2);
    first->Arm();
    second->Arm();
    first.reset();  // destroyed while running
    EXPECT_EQ(TSimpleTimerHandler::Instance()->TimerUsers(), 1);
    EXPECT_EQ(Running(), 1);
    EXPECT_TRUE(IsWindow(window));
    second.reset();
    EXPECT_EQ(TSimpleTimerHandler::Instance(), nullptr);
    EXPECT_FALSE(IsWindow(window));
}

TEST(SimpleTimer, ArmingPeriodsAndHandlerKeepTheRunningCount) {
    TSimpleTimer timer(50, [](TSimpleTimer&) {});
    EXPECT_TRUE(timer.Arm());
    EXPECT_TRUE(timer.Arm());  // restarts: still one
    EXPECT_EQ(Running(), 1);
    timer.Disarm();
    timer.Disarm();
    EXPECT_FALSE(timer.Running());
    EXPECT_EQ(Running(), 0);

    timer.SetPeriod(60);  // stopped: only stored
    EXPECT_EQ(Running(), 0);
    timer.SetRunning(true);
    timer.SetPeriod(30);
    EXPECT_EQ(Running(), 1);
    timer.SetPeriod(0);  // stops ticking, stays marked running
    EXPECT_TRUE(timer.Running());
    EXPECT_EQ(Running(), 0);
    timer.SetPeriod(40);
    EXPECT_EQ(Running(), 1);
    timer.SetOnTick({});  // the same without a handler
    EXPECT_TRUE(timer.Running());
    EXPECT_EQ(Running(), 0);
    timer.SetRunning(false);
    EXPECT_FALSE(timer.Running());

    TSimpleTimer zero(0);
    EXPECT_FALSE(zero.Arm());
    EXPECT_FALSE(zero.Running());
    EXPECT_EQ(Running(), 0);
}

TEST(SimpleTimer, TimerMessageReachesTheTimerItNames) {
    TSimpleTimer* ticked = nullptr;
    auto note = [&](TSimpleTimer& t) { ticked = &t; };
    TSimpleTimer a(50, note), b(50, note);
    b.SetOneShot(true);
    a.Arm();
    b.Arm();
    SendMessageA(TSimpleTimerHandler::Instance()->Handle(), WM_TIMER, b.Identifier(), 0);
    EXPECT_EQ(ticked, &b);
    EXPECT_FALSE(b.Running());  // one shot
    EXPECT_TRUE(a.Running());
    EXPECT_EQ(Running(), 1);
}

TEST(SimpleTimer, RealTickArrivesThroughTheMessageLoop) {
    int ticks = 0;
    TSimpleTimer timer(10, [&](TSimpleTimer&) { ++ticks; });
    ASSERT_TRUE(timer.Arm());
    EXPECT_TRUE(test::WaitUntil([&] { return ticks > 0; }));
}

UINT_PTR WINAPI RefuseTimer(HWND, UINT_PTR, UINT, TIMERPROC) { return 0; }

TEST(SimpleTimer, FailedSetTimerLeavesTheTimerStopped) {
    TSimpleTimer timer(50);
    bool armed;
    {
        const test::StandIn<&OsCalls::setTimer> refused(RefuseTimer);
        armed = timer.Arm();
    }
    EXPECT_FALSE(armed);
    EXPECT_FALSE(timer.Running());
    EXPECT_EQ(Running(), 0);
}

}  // namespace
}  // namespace pwg
