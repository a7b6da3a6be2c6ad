#include "core/ZoneRules.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/Error.h"

namespace pwg {
namespace {

std::string Text(const CivilTime& t) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, t.millisecond);
    return text;
}

CivilTime At(int y, int mo, int d, int h, int mi, int s = 0, int ms = 0) { return {y, mo, d, h, mi, s, ms}; }
// A change on the week-th (5 = last) weekday of the month, every year.
ZoneTransition Nth(int month, int week, int weekday, int hour) { return {0, month, weekday, week, hour}; }
// Daylight time one hour ahead of standard time.
ZoneRules Rules(int bias, ZoneTransition toDaylight = {}, ZoneTransition toStandard = {}) {
    return {bias, 0, toStandard, -60, toDaylight};
}
TimeZoneRules Zone(ZoneRules rules) { return {rules, {}}; }

constexpr int kSunday = 0, kWednesday = 3;
const TimeZoneRules kChina = Zone(Rules(-480));
const TimeZoneRules kPacific = Zone(Rules(480, Nth(3, 2, kSunday, 2), Nth(11, 1, kSunday, 2)));
const TimeZoneRules kSydney = Zone(Rules(-600, Nth(10, 1, kSunday, 2), Nth(4, 1, kSunday, 3)));
const TimeZoneRules kCentralEurope = Zone(Rules(-60, Nth(3, 5, kSunday, 2), Nth(10, 5, kSunday, 3)));
// Dates of the month; the weekday is ignored in this form.
const TimeZoneRules kAbsolute = Zone(Rules(-120, {2026, 3, 6, 27, 0}, {2026, 10, 6, 24, 1}));
// Moscow 2014 as Windows states it: UTC+4 all year until 26 October, then
// UTC+3, written as daylight time from 1 January.
const TimeZoneRules kMoscow = {
    Rules(-180),
    {{2013, Rules(-240)}, {2014, Rules(-180, Nth(1, 1, kWednesday, 0), Nth(10, 5, kSunday, 2))}, {2015, Rules(-180)}}};
// A zone that moves from UTC+3 to UTC+4 at the new year.
const TimeZoneRules kForwardAtNewYear = {Rules(-240), {{2013, Rules(-180)}, {2014, Rules(-240)}}};

TEST(ZoneRules, LocalFromUtc) {
    struct Case {
        const char* zone;
        const TimeZoneRules& rules;
        CivilTime utc, local;
    };
    const Case cases[] = {
        {"no daylight time", kChina, At(2026, 12, 9, 3, 6, 13, 250), At(2026, 12, 9, 11, 6, 13, 250)},
        {"no daylight time", kChina, At(2028, 2, 28, 16, 0), At(2028, 2, 29, 0, 0)},

        // Second Sunday of March 2026 is the 8th, first of November the 1st.
        {"north", kPacific, At(2026, 3, 8, 9, 59, 59, 999), At(2026, 3, 8, 1, 59, 59, 999)},
        {"north", kPacific, At(2026, 3, 8, 10, 0), At(2026, 3, 8, 3, 0)},
        {"north", kPacific, At(2026, 11, 1, 8, 59, 59, 999), At(2026, 11, 1, 1, 59, 59, 999)},
        {"north", kPacific, At(2026, 11, 1, 9, 0), At(2026, 11, 1, 1, 0)},
        {"north", kPacific, At(2027, 1, 1, 7, 30), At(2026, 12, 31, 23, 30)},

        // Daylight time across the new year; it ends on 5 April and starts on 4 October 2026.
        {"south", kSydney, At(2026, 4, 4, 15, 59, 59, 999), At(2026, 4, 5, 2, 59, 59, 999)},
        {"south", kSydney, At(2026, 4, 4, 16, 0), At(2026, 4, 5, 2, 0)},
        {"south", kSydney, At(2026, 10, 3, 15, 59, 59, 999), At(2026, 10, 4, 1, 59, 59, 999)},
        {"south", kSydney, At(2026, 10, 3, 16, 0), At(2026, 10, 4, 3, 0)},
        {"south", kSydney, At(2026, 12, 31, 13, 30), At(2027, 1, 1, 0, 30)},
        {"south", kSydney, At(2027, 1, 15, 0, 0), At(2027, 1, 15, 11, 0)},

        // Week 5: March 2026 has five Sundays (the 29th), October only four (the 25th).
        {"last week", kCentralEurope, At(2026, 3, 29, 0, 59, 59, 999), At(2026, 3, 29, 1, 59, 59, 999)},
        {"last week", kCentralEurope, At(2026, 3, 29, 1, 0), At(2026, 3, 29, 3, 0)},
        {"last week", kCentralEurope, At(2026, 10, 25, 0, 59, 59, 999), At(2026, 10, 25, 2, 59, 59, 999)},
        {"last week", kCentralEurope, At(2026, 10, 25, 1, 0), At(2026, 10, 25, 2, 0)},

        {"absolute dates", kAbsolute, At(2026, 3, 26, 21, 59, 59, 999), At(2026, 3, 26, 23, 59, 59, 999)},
        {"absolute dates", kAbsolute, At(2026, 3, 26, 22, 0), At(2026, 3, 27, 1, 0)},
        {"absolute dates", kAbsolute, At(2026, 10, 23, 21, 59, 59, 999), At(2026, 10, 24, 0, 59, 59, 999)},
        {"absolute dates", kAbsolute, At(2026, 10, 23, 22, 0), At(2026, 10, 24, 0, 0)},

        {"year rules", kMoscow, At(2010, 6, 1, 12, 0), At(2010, 6, 1, 16, 0)},  // before them: the earliest
        {"year rules", kMoscow, At(2013, 12, 31, 20, 30), At(2014, 1, 1, 0, 30)},
        {"year rules", kMoscow, At(2014, 10, 25, 21, 59, 59, 999), At(2014, 10, 26, 1, 59, 59, 999)},
        {"year rules", kMoscow, At(2014, 10, 25, 22, 0), At(2014, 10, 26, 1, 0)},
        {"year rules", kMoscow, At(2014, 12, 31, 21, 30), At(2015, 1, 1, 0, 30)},
        {"year rules", kMoscow, At(2016, 6, 1, 12, 0), At(2016, 6, 1, 15, 0)},  // after them: the latest
        {"new-year change", kForwardAtNewYear, At(2013, 12, 31, 20, 30), At(2013, 12, 31, 23, 30)},
        {"new-year change", kForwardAtNewYear, At(2013, 12, 31, 21, 30), At(2014, 1, 1, 1, 30)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Text(LocalFromUtc(c.rules, c.utc)), Text(c.local)) << c.zone << ", UTC " << Text(c.utc);
}

TEST(ZoneRules, ADaylightDateAloneKeepsStandardTime) {
    const TimeZoneRules halfGiven = Zone(Rules(480, Nth(3, 2, kSunday, 2)));
    EXPECT_EQ(Text(LocalFromUtc(halfGiven, At(2026, 7, 1, 12, 0))), Text(At(2026, 7, 1, 4, 0)));
}

TEST(UtcText, IsWhatItReadsAndNothingElse) {
    for (long long t : {0LL, 951782399LL, 1796870604LL, 4102444799LL}) EXPECT_EQ(UtcFromText(UtcText(t)), t) << t;
    EXPECT_EQ(UtcText(1796870604), "2026-12-10T02:43:24Z");
    for (const char* bad : {"", "2026-12-10 02:43:24Z", "2026-12-10T02:43:24", "2026-02-29T00:00:00Z",
                            "2026-13-01T00:00:00Z", "2026-12-10T24:00:00Z", "2026-1-10T02:43:24Z", "1796870604"}) {
        try {
            UtcFromText(bad);
            ADD_FAILURE() << bad << " was read";
        } catch (const Error& e) {
            EXPECT_EQ(e.what(), "'" + std::string(bad) + "' is not a valid UTC time");
        }
    }
}

}  // namespace
}  // namespace pwg
