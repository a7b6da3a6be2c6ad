#pragma once
// Time of day as text in the user's long time format: the form in which the
// usage window is stored. Portable: the locale's settings come in as a plain
// struct (the Windows layer fills it from the user locale), texts are bytes in
// the ANSI code page.
#include <bitset>
#include <string>
#include <string_view>
#include <vector>

namespace pwg {

// The locale settings the long time format is assembled from.
struct TimeFormat {
    bool twentyFourHour = true;          // LOCALE_ITIME "1"
    bool hourLeadingZero = false;        // LOCALE_ITLZERO "1"
    std::string timeSeparator = ":";     // LOCALE_STIME
    std::string amDesignator = "AM";     // LOCALE_S1159
    std::string pmDesignator = "PM";     // LOCALE_S2359
    bool designatorBeforeHour = false;   // LOCALE_ITIMEMARKPOSN "1"
    std::string decimalSeparator = ".";  // LOCALE_SDECIMAL
    // Lead bytes of the ANSI code page's double-byte characters; their trail
    // bytes may look like ASCII letters and must not be case-folded.
    std::bitset<256> leadBytes;
    // Read as well as the locale's own, never written: the designators and
    // time separators of other locales, for text that another account wrote
    // in its own (the program runs under an administrator's account and under
    // SYSTEM's).
    std::vector<std::string> otherAmDesignators, otherPmDesignators, otherTimeSeparators;
};

// A time of day (fraction of a day, 0 = midnight, 0.5 = noon) as text, e.g.
// "8:00:00", "08:00:00", "8:00:00 PM" or "下午 8:00:00". Rounded to whole
// milliseconds first; a date part (whole days) is ignored. Not-finite values
// give midnight.
std::string TimeToText(double time, const TimeFormat& format);

// Reads a time of day: blanks, an optional AM/PM designator (the locale's,
// literal AM/PM or another locale's, any case) before the hour or after the
// last number, the hour, then optionally separator+minutes, separator+seconds
// (the locale's separator or another locale's), decimal separator+milliseconds,
// then blanks. At most four digits per number.
// Throws pwg::Error "'<text>' is not a valid time".
double TextToTime(std::string_view text, const TimeFormat& format);

}  // namespace pwg
