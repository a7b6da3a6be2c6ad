#include "core/TimeText.h"

#include <cmath>

#include "common/Error.h"

namespace pwg {
namespace {

constexpr long long kMsPerDay = 86400000;

void AppendTwoDigits(std::string& out, int value) {
    out.push_back(static_cast<char>('0' + value / 10));
    out.push_back(static_cast<char>('0' + value % 10));
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Walks the text once, left to right; every Take… step consumes only on success.
class TimeScanner {
public:
    TimeScanner(std::string_view text, const TimeFormat& format) : text_(text), format_(format) {}

    bool AtEnd() const { return pos_ == text_.size(); }

    void SkipBlanks() {
        while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
    }

    // An empty separator never matches: it would make every optional part look present.
    bool TakeExact(std::string_view token) {
        if (token.empty() || text_.substr(pos_, token.size()) != token) return false;
        pos_ += token.size();
        return true;
    }

    // ASCII letters in any case; the bytes of a double-byte character exactly.
    bool TakeIgnoringCase(std::string_view token) {
        if (token.empty() || text_.size() - pos_ < token.size()) return false;
        bool trailByte = false;
        for (size_t i = 0; i < token.size(); ++i) {
            const char a = text_[pos_ + i], b = token[i];
            const bool exact = trailByte || format_.leadBytes.test(static_cast<unsigned char>(b));
            trailByte = !trailByte && exact;
            if (exact ? a != b : AsciiUpper(a) != AsciiUpper(b)) return false;
        }
        pos_ += token.size();
        return true;
    }

    // 0 for morning, 12 for afternoon, -1 when no designator is here.
    int TakeDesignator() {
        if (TakeIgnoringCase(format_.amDesignator) || TakeIgnoringCase("AM")) return 0;
        if (TakeIgnoringCase(format_.pmDesignator) || TakeIgnoringCase("PM")) return 12;
        if (TakeAny(format_.otherAmDesignators)) return 0;
        if (TakeAny(format_.otherPmDesignators)) return 12;
        return -1;
    }

    bool TakeSeparator() { return TakeExact(format_.timeSeparator) || TakeAny(format_.otherTimeSeparators, true); }

    bool TakeAny(const std::vector<std::string>& tokens, bool exact = false) {
        for (const std::string& token : tokens)
            if (exact ? TakeExact(token) : TakeIgnoringCase(token)) return true;
        return false;
    }

    // One to four decimal digits; a fifth is left for the caller to trip over.
    bool TakeNumber(int& value) {
        size_t digits = 0;
        value = 0;
        while (digits < 4 && pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
            value = value * 10 + (text_[pos_] - '0');
            ++pos_;
            ++digits;
        }
        return digits > 0;
    }

private:
    std::string_view text_;
    const TimeFormat& format_;
    size_t pos_ = 0;
};

bool ScanTime(std::string_view text, const TimeFormat& format, long long& ms) {
    TimeScanner scan(text, format);
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    scan.SkipBlanks();
    int designator = scan.TakeDesignator();
    if (designator >= 0) scan.SkipBlanks();
    if (!scan.TakeNumber(hour)) return false;
    if (scan.TakeSeparator()) {
        if (!scan.TakeNumber(minute)) return false;
        if (scan.TakeSeparator()) {
            if (!scan.TakeNumber(second)) return false;
            if (scan.TakeExact(format.decimalSeparator) && !scan.TakeNumber(millisecond)) return false;
        }
    }
    if (designator < 0) {
        scan.SkipBlanks();
        designator = scan.TakeDesignator();
    }
    scan.SkipBlanks();
    if (!scan.AtEnd()) return false;
    if (designator >= 0) {
        if (hour < 1 || hour > 12) return false;
        hour = hour % 12 + designator;
    }
    if (hour >= 24 || minute >= 60 || second >= 60 || millisecond >= 1000) return false;
    ms = ((hour * 60LL + minute) * 60 + second) * 1000 + millisecond;
    return true;
}

}  // namespace

std::string TimeToText(double time, const TimeFormat& format) {
    // Round to whole milliseconds before splitting, so 7:59:59.9996 shows as 8:00:00.
    const double scaled = std::fabs(time) * kMsPerDay;
    const double rounded = std::isfinite(scaled) ? std::round(scaled) : 0.0;
    const long long ms = static_cast<long long>(std::fmod(rounded, static_cast<double>(kMsPerDay)));
    int hour = static_cast<int>(ms / 3600000);
    const int minute = static_cast<int>(ms / 60000 % 60);
    const int second = static_cast<int>(ms / 1000 % 60);

    const std::string* designator = nullptr;
    if (!format.twentyFourHour) {
        designator = hour < 12 ? &format.amDesignator : &format.pmDesignator;
        hour = hour % 12 == 0 ? 12 : hour % 12;
    }

    std::string out;
    if (designator && format.designatorBeforeHour) out.append(*designator).push_back(' ');
    if (format.hourLeadingZero || hour >= 10)
        AppendTwoDigits(out, hour);
    else
        out.push_back(static_cast<char>('0' + hour));
    out.append(format.timeSeparator);
    AppendTwoDigits(out, minute);
    out.append(format.timeSeparator);
    AppendTwoDigits(out, second);
    if (designator && !format.designatorBeforeHour) out.append(" ").append(*designator);
    return out;
}

double TextToTime(std::string_view text, const TimeFormat& format) {
    long long ms = 0;
    if (!ScanTime(text, format, ms)) throw Error(MessageWith("'%s' is not a valid time", text));
    return static_cast<double>(ms) / kMsPerDay;
}

}  // namespace pwg
