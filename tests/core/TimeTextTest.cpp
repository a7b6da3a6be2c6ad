#include "core/TimeText.h"

#include <gtest/gtest.h>

#include <cmath>

#include "common/Error.h"

namespace pwg {
namespace {

// GBK (code page 936) designators of a Chinese locale: 上午, 下午.
const std::string kShangWu = "\xC9\xCF\xCE\xE7";
const std::string kXiaWu = "\xCF\xC2\xCE\xE7";

TimeFormat TwentyFour(bool leadingZero) {
    TimeFormat f;
    f.hourLeadingZero = leadingZero;
    return f;
}

TimeFormat TwelveHour(bool designatorFirst) {
    TimeFormat f;
    f.twentyFourHour = false;
    f.designatorBeforeHour = designatorFirst;
    return f;
}

TimeFormat ChineseTwelveHour() {
    TimeFormat f = TwelveHour(true);
    f.amDesignator = kShangWu;
    f.pmDesignator = kXiaWu;
    for (int b = 0x81; b <= 0xFE; ++b) f.leadBytes.set(b);
    return f;
}

// 0x81 0x41 is one double-byte character whose trail byte looks like 'A'.
TimeFormat TrailByteLikeALetter() {
    TimeFormat f = TwelveHour(true);
    f.pmDesignator = "\x81\x41";
    f.leadBytes.set(0x81);
    return f;
}

TimeFormat DotSeparated() {
    TimeFormat f;
    f.timeSeparator = ".";
    f.decimalSeparator = ",";
    return f;
}

// A 24-hour format that also reads what another account wrote in a Chinese
// twelve-hour format with dots.
TimeFormat KnowingOtherLocales() {
    TimeFormat f;
    f.otherAmDesignators = {kShangWu};
    f.otherPmDesignators = {kXiaWu};
    f.otherTimeSeparators = {"."};
    for (int b = 0x81; b <= 0xFE; ++b) f.leadBytes.set(b);
    return f;
}

double At(int h, int m, int s = 0, int ms = 0) {
    return (((h * 60.0 + m) * 60 + s) * 1000 + ms) / 86400000.0;
}

long long InMs(double time) { return std::llround(time * 86400000.0); }

TEST(TimeToText, WritesTheLocaleLongTimeFormat) {
    struct Case { TimeFormat format; double time; std::string text; };
    const Case cases[] = {
        {TwentyFour(false), At(8, 0), "8:00:00"},
        {TwentyFour(false), At(21, 30), "21:30:00"},
        {TwentyFour(false), 0.0, "0:00:00"},
        {TwentyFour(true), At(8, 0), "08:00:00"},
        {TwentyFour(true), At(23, 59, 59), "23:59:59"},
        {TwentyFour(true), 0.0, "00:00:00"},
        {TwelveHour(false), 0.0, "12:00:00 AM"},
        {TwelveHour(false), At(0, 30), "12:30:00 AM"},
        {TwelveHour(false), At(11, 59, 59), "11:59:59 AM"},
        {TwelveHour(false), 0.5, "12:00:00 PM"},
        {TwelveHour(false), At(13, 5, 9), "1:05:09 PM"},
        {TwelveHour(true), At(21, 30), "PM 9:30:00"},
        {ChineseTwelveHour(), At(8, 0), kShangWu + " 8:00:00"},
        {ChineseTwelveHour(), At(21, 30), kXiaWu + " 9:30:00"},
        {DotSeparated(), At(21, 5, 7), "21.05.07"},
    };
    for (const Case& c : cases) EXPECT_EQ(TimeToText(c.time, c.format), c.text) << c.text;
}

TEST(TimeToText, RoundsToWholeMillisecondsBeforeSplitting) {
    const TimeFormat f = TwentyFour(true);
    // Just under 8:00 by less than half a millisecond is 8:00.
    EXPECT_EQ(TimeToText(At(8, 0) - 0.4 / 86400000.0, f), "08:00:00");
    // 8:00:00.9994 stays in its second, 8:00:00.9996 is the next one.
    EXPECT_EQ(TimeToText(At(8, 0, 0, 999) + 0.4 / 86400000.0, f), "08:00:00");
    EXPECT_EQ(TimeToText(At(8, 0, 0, 999) + 0.6 / 86400000.0, f), "08:00:01");
    // Rounding up to a whole day wraps to midnight; whole days are ignored.
    EXPECT_EQ(TimeToText(1.0 - 0.4 / 86400000.0, f), "00:00:00");
    EXPECT_EQ(TimeToText(45000.25, f), "06:00:00");
    EXPECT_EQ(TimeToText(NAN, f), "00:00:00");
    EXPECT_EQ(TimeToText(1e306, f), "00:00:00");
}

TEST(TextToTime, Accepts) {
    struct Case { TimeFormat format; std::string text; long long ms; };
    const TimeFormat plain;
    const Case cases[] = {
        {plain, "8", 8 * 3600000LL},
        {plain, " 8 ", 8 * 3600000LL},
        {plain, "8:5", 8 * 3600000LL + 5 * 60000},
        {plain, "08:00:00", 8 * 3600000LL},
        {plain, "21:30:00", 21 * 3600000LL + 30 * 60000},
        {plain, "0:00", 0},
        {plain, "0008:00", 8 * 3600000LL},
        {plain, "0001:0002:0003.0004", 3723004},
        {plain, "08:00:00.5", 8 * 3600000LL + 5},
        {plain, "pm 3:00", 15 * 3600000LL},
        {plain, "3:00 PM", 15 * 3600000LL},
        {plain, "3:00pm  ", 15 * 3600000LL},
        {plain, "  Am 11:00", 11 * 3600000LL},
        {plain, "12:00 AM", 0},
        {plain, "12:30:15 am", 30 * 60000 + 15000},
        {plain, "12 PM", 12 * 3600000LL},
        {plain, "11:59:59.999 pm", 86399999},
        {DotSeparated(), "8.05.09,250", 8 * 3600000LL + 5 * 60000 + 9000 + 250},
        {ChineseTwelveHour(), kXiaWu + " 3:00:00", 15 * 3600000LL},
        {ChineseTwelveHour(), kXiaWu + "3:00", 15 * 3600000LL},
        {ChineseTwelveHour(), "3:00 " + kShangWu, 3 * 3600000LL},
        {ChineseTwelveHour(), "PM 3:00", 15 * 3600000LL},
        {ChineseTwelveHour(), "21:30", 21 * 3600000LL + 30 * 60000},
        {TrailByteLikeALetter(), "\x81\x41 3:00", 15 * 3600000LL},
        {KnowingOtherLocales(), kXiaWu + " 9.30.00", 21 * 3600000LL + 30 * 60000},
        {KnowingOtherLocales(), "9:30 " + kShangWu, 9 * 3600000LL + 30 * 60000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        double time = -1;
        ASSERT_NO_THROW(time = TextToTime(c.text, c.format));
        EXPECT_EQ(InMs(time), c.ms);
        EXPECT_DOUBLE_EQ(time, c.ms / 86400000.0);
    }
}

TEST(TextToTime, Rejects) {
    struct Case { TimeFormat format; std::string text; };
    const TimeFormat plain;
    const Case cases[] = {
        {plain, ""}, {plain, "   "}, {plain, "abc"}, {plain, "25:00"}, {plain, "24:00"},
        {plain, "12:60"}, {plain, "8:00:60"}, {plain, "8:00:00.1000"}, {plain, "13 PM"},
        {plain, "0 AM"}, {plain, "8::00"}, {plain, "8:"}, {plain, "8:00:"}, {plain, "8:00:00."},
        {plain, "8:00:00:00"}, {plain, "12345"}, {plain, "8:00:00x"}, {plain, "8:00 PM junk"},
        {plain, "PM 3:00 PM"}, {plain, "3:00 XM"}, {plain, "-1:00"}, {plain, "PM"},
        {DotSeparated(), "8:05"},
        {ChineseTwelveHour(), kXiaWu + " 13:00"},
        {ChineseTwelveHour(), "\xC9\xCF\xCE\xC7 3:00"},  // neither designator
        {TrailByteLikeALetter(), "\x81\x61 3:00"},  // trail bytes are not case-folded
        {TwentyFour(false), kXiaWu + " 9.30.00"},  // another locale's, unknown here
    };
    for (const Case& c : cases) {
        try {
            TextToTime(c.text, c.format);
            ADD_FAILURE() << "accepted '" << c.text << "'";
        } catch (const Error& e) {
            EXPECT_EQ(e.what(), "'" + c.text + "' is not a valid time");
        }
    }
}

TEST(TimeText, EverySecondOfTheDayRoundTrips) {
    const TimeFormat formats[] = {TwentyFour(false), TwentyFour(true), TwelveHour(false),
                                  TwelveHour(true), ChineseTwelveHour(), DotSeparated()};
    for (const TimeFormat& f : formats) {
        for (long long s = 0; s < 86400; ++s) {
            const double time = s / 86400.0;
            const std::string text = TimeToText(time, f);
            ASSERT_EQ(InMs(TextToTime(text, f)), s * 1000) << text;
        }
    }
}

}  // namespace
}  // namespace pwg
