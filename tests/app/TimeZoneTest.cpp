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

#include "app/AppState.h"
#include "app/LocalClock.h"
#include "tests/support/AppFixture.h"
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

}  // namespace
}  // namespace pwg::test
