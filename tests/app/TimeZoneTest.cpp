// The trusted time in the time zone taken at start-up. This program runs in
// Central European time, with daylight saving time (ctest sets TZ), and
// drives the system time (UTC) as the program reads it.
//
// Wine cannot change the zone of a running program: SetTimeZoneInformation
// fails with "privilege not held" and SetDynamicTimeZoneInformation is not
// implemented. So the tests change it where the program would see a change:
// the zone and the local clock that Windows reports to it.
#include <gtest/gtest.h>

#include <cmath>

#include "FakeSntpServer.h"
#include "app/AppState.h"
#include "app/LocalClock.h"
#include "app/Settings.h"
#include "enforcement/Lock.h"
#include "tests/support/AppFixture.h"
#include "tests/support/Table.h"
#include "tests/support/UiDriver.h"

namespace pwg::test {
namespace {

SYSTEMTIME utcNow;
void WINAPI DrivenUtc(LPSYSTEMTIME st) { *st = utcNow; }

SYSTEMTIME Utc(WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD s = 0) { return {y, mo, 0, d, h, mi, s, 0}; }
long long Ms(double timeOfDay) { return std::llround(timeOfDay * 86400000); }
long long Ms(int h, int m, int s = 0) { return ((h * 60LL + m) * 60 + s) * 1000; }

// China Standard Time: UTC+8 all year.
DWORD WINAPI ChinaZone(PDYNAMIC_TIME_ZONE_INFORMATION zone) {
    *zone = {};
    zone->Bias = -480;
    lstrcpyW(zone->StandardName, L"China Standard Time");
    lstrcpyW(zone->TimeZoneKeyName, L"China Standard Time");
    return TIME_ZONE_ID_UNKNOWN;
}
void WINAPI ChinaLocalTime(LPSYSTEMTIME st) {
    FILETIME ft;
    SystemTimeToFileTime(&utcNow, &ft);
    ULARGE_INTEGER t{{ft.dwLowDateTime, ft.dwHighDateTime}};
    t.QuadPart += 8 * 36000000000ULL;
    ft = {t.LowPart, t.HighPart};
    FileTimeToSystemTime(&ft, st);
}

// The time zone set to China's while the program runs, as it sees it.
struct ZoneMovedToChina {
    const StandIn<&OsCalls::getDynamicTimeZoneInformation> zone{ChinaZone};
    const StandIn<&OsCalls::getLocalTime> clock{ChinaLocalTime};
};

class TimeZoneTest : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        DYNAMIC_TIME_ZONE_INFORMATION zone{};
        GetDynamicTimeZoneInformation(&zone);
        ASSERT_TRUE(zone.Bias == -60 && zone.DaylightDate.wMonth == 3 && zone.StandardDate.wMonth == 10)
            << "not in Central European time: run with TZ=CET-1CEST,M3.5.0,M10.5.0/3 (ctest sets it)";
    }

    const StandIn<&OsCalls::getSystemTime> drivenUtc_{DrivenUtc};

    void StartAt(const SYSTEMTIME& utc) {
        utcNow = utc;
        CreateMainForm();
    }
    void Restart() {
        delete main_;
        main_ = nullptr;
        Pump();
        CreateMainForm();
    }
    // Timer2 after four failed fetches: the snapshot from the local clock.
    double FallbackAt(const SYSTEMTIME& utc) {
        utcNow = utc;
        State().syncFailures = 4;
        main_->Timer2Timer();
        return State().trustedTime;
    }
};

// The last Sundays of March and of October 2026, at 01:00 UTC.
TEST_F(TimeZoneTest, ADaylightSavingChangeInTheCapturedZoneMovesTheSnapshot) {
    StartAt(Utc(2026, 3, 29, 0, 59, 59));
    EXPECT_EQ(Ms(State().trustedTime), Ms(1, 59, 59)) << "start-up";
    EXPECT_EQ(Ms(FallbackAt(Utc(2026, 3, 29, 1, 0))), Ms(3, 0));
    EXPECT_EQ(Ms(FallbackAt(Utc(2026, 10, 25, 0, 59, 59))), Ms(2, 59, 59));
    EXPECT_EQ(Ms(FallbackAt(Utc(2026, 10, 25, 1, 0))), Ms(2, 0));
}

TEST_F(TimeZoneTest, ChangingTheTimeZoneWhileRunningMovesNothingUntilTheNextStart) {
    StartAt(Utc(2026, 7, 1, 18, 0));
    ASSERT_EQ(Ms(State().trustedTime), Ms(20, 0));
    const ZoneMovedToChina moved;
    EXPECT_EQ(Ms(FallbackAt(Utc(2026, 7, 1, 18, 30))), Ms(20, 30));
    Restart();
    EXPECT_EQ(Ms(State().trustedTime), Ms(2, 30));
}

// The lock, and the usage window confirmed, keep the zone they were set in:
// a zone set by a user afterwards, before or after a restart, moves nothing.
TEST_F(TimeZoneTest, TheZoneTheLockWasSetInOutlivesAZoneChangeAndARestart) {
    StartAt(Utc(2026, 7, 1, 18, 0));
    Lock();
    EXPECT_EQ(StoredSetting("TIMEZONE"), "Central Europe Standard Time");
    const ZoneMovedToChina moved;
    Restart();
    EXPECT_EQ(Ms(State().trustedTime), Ms(20, 0)) << "in the zone stored, not China's 02:00";
    EXPECT_EQ(Ms(FallbackAt(Utc(2026, 12, 1, 18, 0))), Ms(19, 0)) << "with that zone's winter time";
}

TEST_F(TimeZoneTest, ConfirmingAWindowTakesTheZoneSetNow) {
    StartAt(Utc(2026, 7, 1, 18, 0));
    const ZoneMovedToChina moved;
    settings::ConfirmWindow(8.0 / 24, 21.5 / 24);
    EXPECT_EQ(StoredSetting("TIMEZONE"), "China Standard Time");
    EXPECT_EQ(Ms(State().trustedTime), Ms(2, 0)) << "the snapshot taken again in the new zone";
    Restart();
    EXPECT_EQ(Ms(State().trustedTime), Ms(2, 0));
}

// A clock set back (by the firmware's setup, with the network off) is not
// believed past the last time the network told, at start-up or in the
// fallback; a clock ahead of it is.
struct FloorRow {
    const char* name;
    const char* networkTime;  // stored; nullptr: never told
    SYSTEMTIME start, fallback;
    long long atStart, atFallback;
};
const FloorRow kFloors[] = {
    {"NeverTold", nullptr, Utc(2026, 7, 1, 10, 0), Utc(2026, 7, 1, 10, 30), Ms(12, 0), Ms(12, 30)},
    {"ClockSetBack", "2026-07-01T20:00:00Z", Utc(2026, 7, 1, 10, 0), Utc(2026, 7, 1, 10, 30), Ms(22, 0), Ms(22, 0)},
    {"ClockCatchesUp", "2026-07-01T20:00:00Z", Utc(2026, 7, 1, 10, 0), Utc(2026, 7, 1, 20, 30), Ms(22, 0),
     Ms(22, 30)},
    {"ClockAhead", "2026-07-01T20:00:00Z", Utc(2026, 7, 2, 9, 0), Utc(2026, 7, 2, 9, 30), Ms(11, 0), Ms(11, 30)},
};

class ClockSetBack : public TimeZoneTest, public ::testing::WithParamInterface<FloorRow> {};

TEST_P(ClockSetBack, IsNotBelievedPastTheLastNetworkTime) {
    const FloorRow& row = GetParam();
    if (row.networkTime) StoreSetting("NETTIME", row.networkTime);
    StartAt(row.start);
    EXPECT_EQ(Ms(State().trustedTime), row.atStart) << "start-up";
    EXPECT_EQ(Ms(FallbackAt(row.fallback)), row.atFallback) << "fallback";
}

INSTANTIATE_TEST_SUITE_P(Floors, ClockSetBack, ::testing::ValuesIn(kFloors), RowName);

TEST_F(TimeZoneTest, AResumeFromSleepRenewsTheSnapshotAtOnceAndAsksTheNetwork) {
    const gettime::ServerListInRegistry closed("127.0.0.1:" + std::to_string(gettime::ClosedPort()));
    StartAt(Utc(2026, 7, 1, 18, 0));
    utcNow = Utc(2026, 7, 1, 21, 0);  // three hours asleep
    SendMessageA(main_->Handle(), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    EXPECT_EQ(Ms(State().trustedTime), Ms(23, 0));
    EXPECT_TRUE(WaitUntil([] { return State().syncFailures == 1; })) << "no fetch after the resume";
}

}  // namespace
}  // namespace pwg::test
