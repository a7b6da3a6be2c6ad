#include "app/LocalClock.h"

#include <commctrl.h>

#include <cmath>
#include <optional>

#include "app/TrustedClockRules.h"
#include "common/Ansi.h"
#include "common/OsCalls.h"
#include "core/ZoneRules.h"

namespace pwg {

namespace {

constexpr double kMsPerDay = 86400000.0;
// FILETIME counts 100 ns from 1601-01-01; our dates count days from 1899-12-30.
constexpr long long kTicksPerDay = 864000000000LL;
constexpr long long kDays1601To1899 = 109205;

SYSTEMTIME PickerValue(HWND picker) {
    SYSTEMTIME st{};
    if (SendMessageA(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)) != GDT_VALID)
        osCalls.getLocalTime(&st);
    return st;
}

void SetPickerValue(HWND picker, const SYSTEMTIME& st) {
    SendMessageA(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
}

CivilTime CivilOf(const SYSTEMTIME& st) {
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

ZoneTransition TransitionOf(const SYSTEMTIME& st) {
    return {st.wYear, st.wMonth, st.wDayOfWeek, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

// Of a TIME_ZONE_INFORMATION or the same fields of a DYNAMIC_TIME_ZONE_INFORMATION.
template <class Info>
ZoneRules RulesOf(const Info& z) {
    return {static_cast<int>(z.Bias), static_cast<int>(z.StandardBias), TransitionOf(z.StandardDate),
            static_cast<int>(z.DaylightBias), TransitionOf(z.DaylightDate)};
}

std::optional<TimeZoneRules> captured;
std::string capturedName;

std::string NameOf(const DYNAMIC_TIME_ZONE_INFORMATION& info) {
    char name[sizeof info.TimeZoneKeyName * 2] = {};
    WideCharToMultiByte(CP_ACP, 0, info.TimeZoneKeyName, -1, name, sizeof name, nullptr, nullptr);
    return name;
}

long long SystemUtcMs() {
    SYSTEMTIME now;
    osCalls.getSystemTime(&now);
    return UnixMsOf(CivilOf(now));
}

double TimeOfDayAt(long long utcMs) {
    const CivilTime utc = CivilOfUnixMs(utcMs);
    if (captured) return TimeOfDayOf(LocalFromUtc(*captured, utc));
    const SYSTEMTIME st{static_cast<WORD>(utc.year), static_cast<WORD>(utc.month), 0, static_cast<WORD>(utc.day),
                        static_cast<WORD>(utc.hour), static_cast<WORD>(utc.minute), static_cast<WORD>(utc.second),
                        static_cast<WORD>(utc.millisecond)};
    SYSTEMTIME local = st;
    SystemTimeToTzSpecificLocalTime(nullptr, &st, &local);
    return TimeOfDay(local);
}

}  // namespace

double TimeOfDay(const SYSTEMTIME& st) { return TimeOfDayOf(CivilOf(st)); }

void CaptureTimeZone() {
    DYNAMIC_TIME_ZONE_INFORMATION info{};
    if (osCalls.getDynamicTimeZoneInformation(&info) == TIME_ZONE_ID_INVALID) {
        captured.reset();
        capturedName.clear();
        return;
    }
    TimeZoneRules zone{RulesOf(info), {}};
    // With dynamic daylight saving time disabled the fixed rules apply to every year.
    if (!info.DynamicDaylightTimeDisabled) {
        SYSTEMTIME now;
        osCalls.getSystemTime(&now);
        for (int year = now.wYear - 1; year <= now.wYear + 1; ++year) {
            TIME_ZONE_INFORMATION rules{};
            if (GetTimeZoneInformationForYear(static_cast<USHORT>(year), &info, &rules))
                zone.years[year] = RulesOf(rules);
        }
    }
    captured = std::move(zone);
    capturedName = NameOf(info);
}

bool UseTimeZone(std::string_view name) {
    DYNAMIC_TIME_ZONE_INFORMATION info{};
    const std::wstring wide = WideFromAnsi(name);
    if (name.empty() || wide.size() >= std::size(info.TimeZoneKeyName)) return false;
    wide.copy(info.TimeZoneKeyName, wide.size());
    SYSTEMTIME now;
    osCalls.getSystemTime(&now);
    TimeZoneRules zone;
    for (int year = now.wYear - 1; year <= now.wYear + 1; ++year) {
        TIME_ZONE_INFORMATION rules{};
        // Windows looks the zone up by its name.
        if (!GetTimeZoneInformationForYear(static_cast<USHORT>(year), &info, &rules)) return false;
        zone.years[year] = RulesOf(rules);
        if (year == now.wYear) zone.rules = RulesOf(rules);
    }
    captured = std::move(zone);
    capturedName = std::string(name);
    return true;
}

const std::string& TimeZoneName() { return capturedName; }

int DateOf(const SYSTEMTIME& st) {
    SYSTEMTIME midnight{st.wYear, st.wMonth, 0, st.wDay, 0, 0, 0, 0};
    FILETIME ft;
    SystemTimeToFileTime(&midnight, &ft);
    const long long ticks = (static_cast<long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return static_cast<int>(ticks / kTicksPerDay - kDays1601To1899);
}

double LocalTimeOfDay() { return TimeOfDayAt(SystemUtcMs()); }

double LocalTimeOfDayNotBefore(long long notBefore) {
    return TimeOfDayAt(BelievedUtcMs(SystemUtcMs(), notBefore * 1000));
}

int LocalDate() {
    SYSTEMTIME st;
    osCalls.getLocalTime(&st);
    return DateOf(st);
}

double PickerTime(HWND picker) {
    SYSTEMTIME st = PickerValue(picker);
    st.wMilliseconds = 0;
    return TimeOfDay(st);
}

void SetPickerTime(HWND picker, double timeOfDay) {
    SYSTEMTIME st = PickerValue(picker);
    long long ms = std::llround((timeOfDay - std::floor(timeOfDay)) * kMsPerDay);
    if (ms >= static_cast<long long>(kMsPerDay)) ms = 0;
    st.wHour = static_cast<WORD>(ms / 3600000);
    st.wMinute = static_cast<WORD>(ms / 60000 % 60);
    st.wSecond = static_cast<WORD>(ms / 1000 % 60);
    st.wMilliseconds = 0;
    SetPickerValue(picker, st);
}

void SetPickerDate(HWND picker, int date) {
    SYSTEMTIME st = PickerValue(picker);
    const long long ticks = (static_cast<long long>(date) + kDays1601To1899) * kTicksPerDay;
    FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME day;
    FileTimeToSystemTime(&ft, &day);
    st.wYear = day.wYear;
    st.wMonth = day.wMonth;
    st.wDay = day.wDay;
    st.wDayOfWeek = day.wDayOfWeek;
    SetPickerValue(picker, st);
}

}  // namespace pwg
