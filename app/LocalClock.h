#pragma once
// The local clock and the time pickers, in the program's own units: a time
// of day as a fraction of a day, a date as whole days since 1899-12-30.
#include <windows.h>

namespace pwg {

double TimeOfDay(const SYSTEMTIME& st);
int DateOf(const SYSTEMTIME& st);
double LocalTimeOfDay();
int LocalDate();

// Time pickers: the time part and the date part are set separately.
double PickerTime(HWND picker);
void SetPickerTime(HWND picker, double timeOfDay);
void SetPickerDate(HWND picker, int date);

}  // namespace pwg
