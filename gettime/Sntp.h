#pragma once
// The platform-free half of GetTime.dll: SNTP (RFC 4330) packets and their
// checks, NTP/Unix/Windows time arithmetic, and the rules that keep the
// library polite to servers. Times of the monotonic clock are nanoseconds on
// whatever base the caller's clock has; only their differences matter here.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace gettime {

// NTP timestamp: whole seconds of the NTP era in the high 32 bits, the
// fraction in the low 32. All arithmetic on it is modulo 2^64, which is what
// carries a result across an era change (2036-02-07 06:28:16 UTC).
using NtpTime = uint64_t;
// A signed difference of two NtpTime values, same scale (2^-32 s).
using NtpSpan = int64_t;
inline constexpr NtpSpan kNtpSecond = NtpSpan{1} << 32;

// Seconds from 1900-01-01 (NTP era 0) to 1970-01-01.
inline constexpr uint32_t kUnixEpochInNtpSeconds = 2208988800u;

// The library's time value is unsigned seconds since 1970-01-01 UTC, which
// spans 1970..2106: exactly one 2^32-second window, so converting to and from
// NTP seconds is a subtraction modulo 2^32 whatever the era.
constexpr uint32_t UnixFromNtpSeconds(uint32_t ntpSeconds) { return ntpSeconds - kUnixEpochInNtpSeconds; }
constexpr uint32_t NtpSecondsFromUnix(uint32_t unixSeconds) { return unixSeconds + kUnixEpochInNtpSeconds; }
// To the nearest second.
constexpr uint32_t UnixFromNtp(NtpTime t) {
    return UnixFromNtpSeconds(static_cast<uint32_t>((t + (NtpTime{1} << 31)) >> 32));
}

// Windows FILETIME ticks: 100 ns since 1601-01-01 UTC.
NtpTime NtpFromWindowsTicks(uint64_t ticks);
constexpr uint64_t WindowsTicksFromUnix(uint32_t unixSeconds) {
    return (uint64_t{unixSeconds} + 11644473600u) * 10000000u;
}
// A non-negative duration of the monotonic clock in NTP units.
NtpSpan NtpSpanFromNanoseconds(int64_t ns);

// A system clock this close to the time it is to be set to is left alone:
// each setting steps it, fights the Windows time service, and is an event in
// the security log of a machine that audits changes of the system time.
inline constexpr int64_t kClockTolerance = 10000000;  // Windows ticks: one second
// The step, in Windows ticks, that takes a clock reading `clockTicks` to
// `unixSeconds`; 0 when it is within kClockTolerance already.
constexpr int64_t ClockStep(uint64_t clockTicks, uint32_t unixSeconds) {
    const auto step = static_cast<int64_t>(WindowsTicksFromUnix(unixSeconds) - clockTicks);
    return step > kClockTolerance || step < -kClockTolerance ? step : 0;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
constexpr int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}
// Midnight UTC of a date in the compiler's __DATE__ form, "Mmm dd yyyy", or
// of the same day `yearsLater` years on (29 February then gives 1 March).
constexpr uint32_t UnixFromCompilerDate(const char* date, unsigned yearsLater = 0) {
    constexpr const char* months = "JanFebMarAprMayJunJulAugSepOctNovDec";
    unsigned month = 1;
    while (month <= 12 && !(months[3 * (month - 1)] == date[0] && months[3 * (month - 1) + 1] == date[1] &&
                            months[3 * (month - 1) + 2] == date[2]))
        ++month;
    const unsigned day = (date[4] == ' ' ? 0 : date[4] - '0') * 10 + (date[5] - '0');
    const int64_t year = (date[7] - '0') * 1000 + (date[8] - '0') * 100 + (date[9] - '0') * 10 + (date[10] - '0') +
                         yearsLater;
    return static_cast<uint32_t>(DaysFromCivil(year, month, day) * 86400);
}

// --- Packets ---------------------------------------------------------------

inline constexpr size_t kPacketSize = 48;
using Packet = std::array<uint8_t, kPacketSize>;

// A client request (version 4, mode 3) whose transmit timestamp is `nonce`:
// a random value rather than our clock, so that the reply's originate
// timestamp proves it answers this request and our clock is not disclosed.
Packet MakeRequest(NtpTime nonce);

// What the checks found in one datagram, in the order they are made.
enum class Check {
    Good,
    WrongLength,           // shorter than an NTP header
    NotOurRequest,         // originate timestamp is not our nonce
    WrongMode,             // not a server reply (mode 4)
    WrongVersion,          // neither version 3 nor 4
    KissRate,              // stratum 0 "RATE": ask less often
    KissDeny,              // stratum 0 "DENY" or "RSTR": never ask again
    KissOther,             // stratum 0 with another code
    Unsynchronised,        // leap indicator 3
    BadStratum,            // above 15
    ZeroTimestamp,         // receive or transmit timestamp not set
    ReceiveAfterTransmit,
    NegativeDelay,
    TooFarFromRoot,        // root distance above kMaxRootDistance
    TooEarly,              // before the earliest time we accept
    TooLate,               // after the latest
};

// The first two verdicts say the datagram is not the answer to our request,
// so we go on listening for it; any other verdict ends the request, since a
// server gets to answer each request once.
constexpr bool AnswersRequest(Check c) { return c != Check::WrongLength && c != Check::NotOurRequest; }

// Root delay / 2 + root dispersion + round-trip delay / 2 above this makes a
// reply useless for us (RFC 5905's MAXDIST).
inline constexpr NtpSpan kMaxRootDistance = kNtpSecond;

// Clock offset and round-trip delay of one exchange, as RFC 4330 computes
// them from T1 (request sent, our clock), T2 (received, server clock), T3
// (reply sent, server clock) and T4 (reply received, our clock). The offset's
// two halves are added separately so that the sum cannot overflow, and each
// difference is taken modulo 2^64 so that an era change between the clocks
// does no harm.
struct Exchange {
    NtpSpan offset;
    NtpSpan delay;
};
Exchange Measure(NtpTime t1, NtpTime t2, NtpTime t3, NtpTime t4);

struct ReplyCheck {
    Check check;
    NtpTime serverTimeAtT4 = 0;  // our T4 corrected by the offset; set when Good
};
// The times a reply may tell, whole Unix seconds, both included.
struct TimeBounds {
    uint32_t earliest, latest;
};
// Checks one datagram received in answer to MakeRequest(nonce) sent at t1 and
// received at t4; a time outside `bounds` is TooEarly or TooLate.
ReplyCheck CheckReply(std::span<const uint8_t> datagram, NtpTime nonce, NtpTime t1, NtpTime t4, TimeBounds bounds);

// --- Politeness ------------------------------------------------------------

inline constexpr int64_t kNsPerSecond = 1000000000;
// A server that answered well is not asked again sooner than this
// (RFC 4330 forbids asking more often than every 15 s).
inline constexpr int64_t kMinPollInterval = 16 * kNsPerSecond;
// A server that failed waits this long first, doubling at each further
// failure up to kMaxBackoff; a RATE kiss goes straight to kMaxBackoff.
inline constexpr int64_t kFirstBackoff = 64 * kNsPerSecond;
inline constexpr int64_t kMaxBackoff = 1024 * kNsPerSecond;

// How one request to a server ended, as far as asking it again goes.
enum class Outcome { Good, Failed, Rate, Deny };
Outcome OutcomeOf(Check c);

class ServerCourtesy {
public:
    bool MayAsk(int64_t now) const { return !retired_ && (!asked_ || now >= nextAllowed_); }
    bool Retired() const { return retired_; }
    // `sentAt` is when the request went out: intervals run between requests.
    void Record(Outcome outcome, int64_t sentAt);

private:
    bool asked_ = false;
    bool retired_ = false;
    int64_t nextAllowed_ = 0;
    int64_t backoff_ = kFirstBackoff;
};

// --- The last good sample ----------------------------------------------------

// Between real requests a call is answered from the last good sample advanced
// by the monotonic clock; one older than this asks a server again. The
// monotonic clock's rate error over this span stays well under a second.
inline constexpr int64_t kMaxSampleAge = 1024 * kNsPerSecond;

struct Sample {
    NtpTime serverTime;   // what the server's clock read...
    int64_t monotonic;    // ...at this instant of our monotonic clock,
    int64_t witness = 0;  // and of the witness clock (see Stalled)
};
// The sample's time at `now`, or nothing when the sample is too old (or from
// the future, which a monotonic clock never makes).
std::optional<uint32_t> UnixTimeFromSample(const Sample& sample, int64_t now);

// Once the library holds a good sample, a reply that differs from it (advanced
// on the monotonic clock) by more than kMaxDisagreement is believed only when
// another server's reply agrees with it. The limit leaves room for the
// monotonic clock's rate error over kReferenceLifetime, after which a sample
// no longer holds replies back.
inline constexpr NtpSpan kMaxDisagreement = 300 * kNtpSecond;
inline constexpr int64_t kReferenceLifetime = 86400 * kNsPerSecond;
// Whether the two tell the same time within kMaxDisagreement, the earlier
// advanced to the later one's instant.
bool Agree(const Sample& a, const Sample& b);
// Whether `reference` still holds back a disagreeing reply received at `now`.
constexpr bool HoldsBack(const Sample& reference, int64_t now) {
    return now >= reference.monotonic && now - reference.monotonic <= kReferenceLifetime;
}

// Whether the monotonic clock counts the time the machine sleeps is not
// settled on Windows. Where it stands still, a sample advanced on it tells a
// time behind by the time asleep, which a caller would set the clock back to,
// and which would hold back every honest reply. So a sample keeps a reading of
// a witness clock that counts sleep too, and is stalled once the witness has
// run ahead of the monotonic clock since by more than kMaxLag or a thousandth
// of the sample's age: the two clocks' normal rates differ by far less.
// Advances are compared, not readings; a monotonic clock ahead is no stall.
inline constexpr int64_t kMaxLag = 2 * kNsPerSecond;
constexpr bool Stalled(const Sample& sample, int64_t monotonicNow, int64_t witnessNow) {
    const int64_t age = monotonicNow - sample.monotonic;
    const int64_t lag = witnessNow - sample.witness - age;
    return lag > kMaxLag && lag > age / 1000;
}

// --- Server list --------------------------------------------------------------

inline constexpr uint16_t kNtpPort = 123;
inline constexpr size_t kMaxServers = 8;

struct ServerName {
    std::string host;
    uint16_t port = kNtpPort;
    bool operator==(const ServerName&) const = default;
};
// Entries "host", "host:port", "[ipv6]" or "[ipv6]:port", separated by white
// space, commas, semicolons or NULs (so REG_SZ and REG_MULTI_SZ read alike).
// Malformed entries are skipped; at most kMaxServers are kept.
std::vector<ServerName> ParseServerList(std::string_view text);

}  // namespace gettime
