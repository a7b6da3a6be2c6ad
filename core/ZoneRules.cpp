#include "core/ZoneRules.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "common/Error.h"

namespace pwg {
namespace {

constexpr long long kMsPerMinute = 60000;
constexpr long long kMsPerDay = 86400000;

long long FloorDiv(long long a, long long b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

// Days since 1970-01-01 of a proleptic Gregorian date, and back (H. Hinnant's algorithms).
long long DaysFromCivil(long long y, int m, int d) {
    y -= m <= 2;
    const long long era = FloorDiv(y, 400);
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

CivilTime CivilFromMs(long long ms) {
    const long long days = FloorDiv(ms, kMsPerDay);
    long long rest = ms - days * kMsPerDay;
    const long long z = days + 719468;
    const long long era = FloorDiv(z, 146097);
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    CivilTime t;
    t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2));
    t.hour = static_cast<int>(rest / 3600000);
    rest %= 3600000;
    t.minute = static_cast<int>(rest / 60000);
    t.second = static_cast<int>(rest / 1000 % 60);
    t.millisecond = static_cast<int>(rest % 1000);
    return t;
}

long long MsFromCivil(const CivilTime& t) {
    return DaysFromCivil(t.year, t.month, t.day) * kMsPerDay +
           ((t.hour * 60LL + t.minute) * 60 + t.second) * 1000 + t.millisecond;
}

bool IsLeap(int y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

int DaysInMonth(int y, int m) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// 0 = Sunday; 1970-01-01 was a Thursday.
int WeekdayOf(long long days) { return static_cast<int>(((days + 4) % 7 + 7) % 7); }

bool IsTransition(const ZoneTransition& t) { return t.month >= 1 && t.month <= 12; }

// The local wall-clock time, in ms since 1970, at which the change happens in the year.
long long TransitionMs(const ZoneTransition& t, int year) {
    const int length = DaysInMonth(year, t.month);
    int day;
    if (t.year == 0) {
        const int first = 1 + ((t.dayOfWeek - WeekdayOf(DaysFromCivil(year, t.month, 1))) % 7 + 7) % 7;
        day = first + 7 * (std::clamp(t.day, 1, 5) - 1);
        while (day > length) day -= 7;
    } else {
        day = std::clamp(t.day, 1, length);
    }
    return DaysFromCivil(year, t.month, day) * kMsPerDay +
           ((t.hour * 60LL + t.minute) * 60 + t.second) * 1000 + t.millisecond;
}

// Local time of a UTC instant under one year's rules, with that year's change dates.
long long LocalMs(const ZoneRules& r, long long utcMs, int year) {
    int offset = r.bias + r.standardBias;
    if (IsTransition(r.daylightDate) && IsTransition(r.standardDate)) {
        const long long toDaylight = TransitionMs(r.daylightDate, year) + (r.bias + r.standardBias) * kMsPerMinute;
        const long long toStandard = TransitionMs(r.standardDate, year) + (r.bias + r.daylightBias) * kMsPerMinute;
        // Southern zones keep daylight time across the new year.
        const bool daylight = toDaylight <= toStandard ? utcMs >= toDaylight && utcMs < toStandard
                                                       : utcMs >= toDaylight || utcMs < toStandard;
        if (daylight) offset = r.bias + r.daylightBias;
    }
    return utcMs - offset * kMsPerMinute;
}

}  // namespace

const ZoneRules& TimeZoneRules::For(int year) const {
    if (years.empty()) return rules;
    const auto after = years.upper_bound(year);
    // The latest known year up to this one, or the earliest when it comes before them all.
    return after == years.begin() ? after->second : std::prev(after)->second;
}

CivilTime LocalFromUtc(const TimeZoneRules& zone, const CivilTime& utc) {
    const long long utcMs = MsFromCivil(utc);
    const CivilTime local = CivilFromMs(LocalMs(zone.For(utc.year), utcMs, utc.year));
    if (local.year == utc.year) return local;
    // Across the new year from UTC: that local year's rules, unless under
    // them the time falls back into the UTC year (rules that change at the
    // new year leave no local time that both agree on).
    const CivilTime other = CivilFromMs(LocalMs(zone.For(local.year), utcMs, local.year));
    return other.year == local.year ? other : local;
}

long long UnixMsOf(const CivilTime& t) { return MsFromCivil(t); }

CivilTime CivilOfUnixMs(long long ms) { return CivilFromMs(ms); }

std::string UtcText(long long unixSeconds) {
    const CivilTime t = CivilFromMs(unixSeconds * 1000);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

long long UtcFromText(std::string_view text) {
    // Exactly the form UtcText writes, every field in its range.
    static constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:ddZ";
    bool valid = text.size() == kShape.size();
    for (size_t i = 0; valid && i < text.size(); ++i)
        valid = kShape[i] == 'd' ? text[i] >= '0' && text[i] <= '9' : text[i] == kShape[i];
    CivilTime t;
    if (valid) {
        auto number = [&](size_t at, size_t digits) {
            int n = 0;
            for (size_t i = at; i < at + digits; ++i) n = n * 10 + (text[i] - '0');
            return n;
        };
        t = {number(0, 4), number(5, 2), number(8, 2), number(11, 2), number(14, 2), number(17, 2), 0};
        valid = t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= DaysInMonth(t.year, t.month) &&
                t.hour < 24 && t.minute < 60 && t.second < 60;
    }
    if (!valid) throw Error(MessageWith("'%s' is not a valid UTC time", text));
    return MsFromCivil(t) / 1000;
}

double TimeOfDayOf(const CivilTime& t) {
    return (((t.hour * 60 + t.minute) * 60 + t.second) * 1000.0 + t.millisecond) / kMsPerDay;
}

}  // namespace pwg
