#pragma once
// The local clock and the time pickers, in the program's own units: a time
// of day as a fraction of a day, a date as whole days since 1899-12-30.
#include <windows.h>

namespace pwg {

double TimeOfDay(const SYSTEMTIME& st);
int DateOf(const SYSTEMTIME& st);

// Takes the rules of the time zone in force (with those of the years around
// this one), once at start-up. From then on LocalTimeOfDay is the system time
// (UTC) in that zone, daylight saving changes included, whatever zone is set
// later: moving the time zone does not move the time of day compared.
void CaptureTimeZone();
// The local clock's time of day: in the captured zone, or in the zone in
// force when none could be taken.
double LocalTimeOfDay();
// The local clock's date, in the zone in force.
int LocalDate();

// Time pickers: the time part and the date part are set separately.
double PickerTime(HWND picker);
void SetPickerTime(HWND picker, double timeOfDay);
void SetPickerDate(HWND picker, int date);

}  // namespace pwg
