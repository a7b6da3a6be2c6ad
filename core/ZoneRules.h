#pragma once
// Local time from UTC under a time zone's rules as Windows states them
// (TIME_ZONE_INFORMATION and its year-specific variants). Portable: the
// Windows layer captures the rules once and passes them in, so a time zone
// changed later does not move the local time computed here.
#include <map>
#include <string>
#include <string_view>

namespace pwg {

// A calendar date and time of day, the fields of a SYSTEMTIME without the weekday.
struct CivilTime {
    int year = 1601, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    friend bool operator==(const CivilTime&, const CivilTime&) = default;
};

// When the clock changes between standard and daylight time, in Windows'
// SYSTEMTIME form. Year 0: the day-th (1 to 5, 5 = the last) dayOfWeek
// (0 = Sunday) of the month, every year. Any other year: the day of the month
// (the year only selects this form). Month 0: no change.
struct ZoneTransition {
    int year = 0, month = 0, dayOfWeek = 0, day = 0;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// One year's rules. Biases are minutes: UTC = local time + bias + the
// standard or daylight bias. Daylight time is kept only when both dates are
// given; daylightDate is stated in standard time, standardDate in daylight time.
struct ZoneRules {
    int bias = 0;
    int standardBias = 0;
    ZoneTransition standardDate;
    int daylightBias = 0;
    ZoneTransition daylightDate;
};

// A zone: its rules for the years known, and for all others.
struct TimeZoneRules {
    ZoneRules rules;                 // when no year is known
    std::map<int, ZoneRules> years;  // a year not in here takes the nearest one's

    const ZoneRules& For(int year) const;
};

// The local time of a UTC time. Each local year is judged by that year's rules.
CivilTime LocalFromUtc(const TimeZoneRules& zone, const CivilTime& utc);

// The time of day of a civil time as a fraction of a day.
double TimeOfDayOf(const CivilTime& t);

// Milliseconds since 1970-01-01 00:00 of a civil time, and back.
long long UnixMsOf(const CivilTime& t);
CivilTime CivilOfUnixMs(long long ms);

// A UTC instant, whole seconds since 1970, as stored: "2026-12-10T02:43:24Z",
// and back. Throws pwg::Error "'<text>' is not a valid UTC time".
std::string UtcText(long long unixSeconds);
long long UtcFromText(std::string_view text);

}  // namespace pwg
