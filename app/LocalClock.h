#pragma once
// The local clock and the time pickers, in the program's own units: a time
// of day as a fraction of a day, a date as whole days since 1899-12-30.
#include <windows.h>

#include <string>
#include <string_view>

namespace pwg {

double TimeOfDay(const SYSTEMTIME& st);
int DateOf(const SYSTEMTIME& st);

// Takes the rules of the time zone set in Windows now (with those of the
// years around this one): at start-up, and when the administrator confirms a
// usage window. From then on the local time is the system time (UTC) in that
// zone, daylight saving changes included, whatever zone a user sets later:
// moving the time zone does not move the time of day compared.
void CaptureTimeZone();
// Takes the rules of the zone of this name (Windows' name for it, ANSI)
// instead; false, and the zone taken before stays, when Windows knows none.
bool UseTimeZone(std::string_view name);
// Windows' name of the zone taken; empty when it has none.
const std::string& TimeZoneName();
// The local clock's time of day: in the zone taken, or in the zone set in
// Windows when none could be taken.
double LocalTimeOfDay();
// The same, but never before `notBefore` (seconds since 1970, UTC; 0: no
// bound): a clock set back is not believed past the last time the network told.
double LocalTimeOfDayNotBefore(long long notBefore);
// The local clock's date, in the zone in force.
int LocalDate();

// Time pickers: the time part and the date part are set separately.
double PickerTime(HWND picker);
void SetPickerTime(HWND picker, double timeOfDay);
void SetPickerDate(HWND picker, int date);

}  // namespace pwg
