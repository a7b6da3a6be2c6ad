#include "gettime/Sntp.h"

#include <gtest/gtest.h>

#include "ReplyBytes.h"

#include <functional>

namespace gettime {
namespace {

constexpr NtpTime Seconds(uint64_t s) { return s << 32; }
constexpr NtpSpan kQuarter = kNtpSecond / 4;

// --- Time arithmetic ---------------------------------------------------------

struct EraRow {
    const char* when;
    uint32_t unix;
    uint32_t ntpSeconds;
};
// Worked from the calendar: NTP era 0 ends 2^32 s after 1900-01-01, at
// 2036-02-07 06:28:16 UTC, where era 1 starts at NTP second 0.
constexpr EraRow kEraTable[] = {
    {"1970-01-01 00:00:00", 0, 2208988800u},
    {"2000-01-01 00:00:00", 946684800u, 3155673600u},
    {"2036-02-07 06:28:15", 2085978495u, 4294967295u},
    {"2036-02-07 06:28:16", 2085978496u, 0u},
    {"2036-02-07 06:28:17", 2085978497u, 1u},
    {"2106-02-07 06:28:15", 4294967295u, 2208988799u},
};

TEST(TimeArithmetic, NtpAndUnixSecondsEitherSideOfTheEraChange) {
    EXPECT_EQ(DaysFromCivil(2036, 2, 7) * 86400 + 6 * 3600 + 28 * 60 + 16, 2085978496);
    for (const EraRow& row : kEraTable) {
        SCOPED_TRACE(row.when);
        EXPECT_EQ(UnixFromNtpSeconds(row.ntpSeconds), row.unix);
        EXPECT_EQ(NtpSecondsFromUnix(row.unix), row.ntpSeconds);
        EXPECT_EQ(UnixFromNtp(Seconds(row.ntpSeconds) | 0x7FFFFFFF), row.unix);
        EXPECT_EQ(UnixFromNtp(Seconds(row.ntpSeconds) | 0x80000000), row.unix + 1) << "rounds to nearest";
        // A FILETIME of the same instant gives the same NTP time.
        EXPECT_EQ(NtpFromWindowsTicks(WindowsTicksFromUnix(row.unix)), Seconds(row.ntpSeconds));
        EXPECT_EQ(NtpFromWindowsTicks(WindowsTicksFromUnix(row.unix) + 2500000), Seconds(row.ntpSeconds) | 0x40000000);
    }
    EXPECT_EQ(WindowsTicksFromUnix(0), 116444736000000000u);
}

TEST(TimeArithmetic, CompilerDatesAndDurations) {
    EXPECT_EQ(UnixFromCompilerDate("Jan  1 1970"), 0u);
    EXPECT_EQ(UnixFromCompilerDate("Dec 31 2024"), 1735603200u);
    EXPECT_EQ(UnixFromCompilerDate("Feb  7 2036"), 2085955200u);
    EXPECT_EQ(UnixFromCompilerDate("Dec 31 2024", 20), 2366755200u);
    EXPECT_EQ(UnixFromCompilerDate("Feb 29 2024", 1), 1740787200u) << "1 March 2025";
    static_assert(UnixFromCompilerDate(__DATE__) > 1735603200u);

    EXPECT_EQ(NtpSpanFromNanoseconds(0), 0);
    EXPECT_EQ(NtpSpanFromNanoseconds(250000000), kQuarter);
    EXPECT_EQ(NtpSpanFromNanoseconds(1024 * kNsPerSecond + 500000000), 1024 * kNtpSecond + 2 * kQuarter);
}

struct ExchangeRow {
    const char* what;
    NtpTime t1, t2, t3, t4;
    NtpSpan offset, delay;
};

TEST(TimeArithmetic, OffsetAndDelay) {
    const NtpTime base = Seconds(3900000000u);
    const NtpTime eraEnd = Seconds(0xFFFFFFFFu);       // last second of era 0
    const NtpSpan fiftyYears = NtpSpan{1577923200} << 32;  // 2020 - 1970 in seconds
    const ExchangeRow rows[] = {
        {"clocks agree", base, base + kQuarter, base + kQuarter, base + 2 * kQuarter, 0, 2 * kQuarter},
        {"server ahead", base, base + 10 * kNtpSecond, base + 10 * kNtpSecond + kQuarter, base + 2 * kQuarter,
         10 * kNtpSecond - kQuarter / 2, kQuarter},
        {"server behind", base, base - 5 * kNtpSecond, base - 5 * kNtpSecond, base + kQuarter,
         -5 * kNtpSecond - kQuarter / 2, kQuarter},
        {"server already in era 1", eraEnd, eraEnd + 3 * kNtpSecond, eraEnd + 3 * kNtpSecond,
         eraEnd + 2 * kQuarter, 3 * kNtpSecond - kQuarter, 2 * kQuarter},
        {"client already in era 1", eraEnd + 5 * kNtpSecond, eraEnd, eraEnd, eraEnd + 5 * kNtpSecond,
         -5 * kNtpSecond, 0},
        {"client fifty years slow", base - fiftyYears, base, base, base - fiftyYears, fiftyYears, 0},
        {"client fifty years fast", base + fiftyYears, base, base, base + fiftyYears, -fiftyYears, 0},
    };
    for (const ExchangeRow& row : rows) {
        const Exchange e = Measure(row.t1, row.t2, row.t3, row.t4);
        EXPECT_EQ(e.offset, row.offset) << row.what;
        EXPECT_EQ(e.delay, row.delay) << row.what;
    }
}

TEST(TimeArithmetic, AClockIsSetOnlyWhenMoreThanASecondOff) {
    const uint32_t at = 2085978495u;  // the last second of NTP era 0
    struct Row {
        int64_t clockAhead;  // Windows ticks
        int64_t step;
    };
    constexpr int64_t kTenYears = 3652 * 86400 * int64_t{10000000};
    const Row rows[] = {
        {0, 0},
        {kClockTolerance, 0},
        {-kClockTolerance, 0},
        {kClockTolerance + 1, -kClockTolerance - 1},
        {-kClockTolerance - 1, kClockTolerance + 1},
        {-kTenYears, kTenYears},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ClockStep(WindowsTicksFromUnix(at) + row.clockAhead, at), row.step) << row.clockAhead;
}

// --- Packets -------------------------------------------------------------------

TEST(Packets, RequestIsVersion4ClientWithTheNonceAsTransmitTimestamp) {
    const Packet p = MakeRequest(0x0123456789ABCDEFu);
    const uint8_t nonce[] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    EXPECT_EQ(p[0], 0x23);  // leap 0, version 4, mode 3
    for (size_t i = 1; i < 40; ++i) EXPECT_EQ(p[i], 0) << i;
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(p[40 + i], nonce[i]) << i;
}

constexpr NtpTime kNonce = 0x0123456789ABCDEFu;
// The server's clock is an hour ahead of ours; the round trip takes half a
// second, a quarter of it inside the server.
const NtpTime kT1 = Seconds(3900000000u);
const NtpTime kT2 = kT1 + 3600 * kNtpSecond + kQuarter / 2;
const NtpTime kT3 = kT2 + kQuarter;
const NtpTime kT4 = kT1 + 2 * kQuarter;
const TimeBounds kBounds{UnixFromNtpSeconds(3900000000u) - 86400, UnixFromNtpSeconds(3900000000u) + 86400};

TestReply GoodReply() {
    TestReply r;
    r.originate = kNonce;
    r.receive = kT2;
    r.transmit = kT3;
    return r;
}

struct CheckRow {
    const char* what;
    std::function<void(TestReply&)> change;
    Check expected;
};

TEST(Packets, EachCheckOnItsOwn) {
    const CheckRow rows[] = {
        {"good", [](TestReply&) {}, Check::Good},
        {"47 bytes", [](TestReply& r) { r.size = 47; }, Check::WrongLength},
        {"with a 20-byte authenticator", [](TestReply& r) { r.size = 68; }, Check::Good},
        {"another originate", [](TestReply& r) { r.originate = kNonce + 1; }, Check::NotOurRequest},
        {"zero originate", [](TestReply& r) { r.originate = 0; }, Check::NotOurRequest},
        {"mode 3", [](TestReply& r) { r.mode = 3; }, Check::WrongMode},
        {"mode 5", [](TestReply& r) { r.mode = 5; }, Check::WrongMode},
        {"version 2", [](TestReply& r) { r.version = 2; }, Check::WrongVersion},
        {"version 5", [](TestReply& r) { r.version = 5; }, Check::WrongVersion},
        {"version 3", [](TestReply& r) { r.version = 3; }, Check::Good},
        {"kiss RATE", [](TestReply& r) { r.Kiss("RATE"); }, Check::KissRate},
        {"kiss DENY", [](TestReply& r) { r.Kiss("DENY"); }, Check::KissDeny},
        {"kiss RSTR", [](TestReply& r) { r.Kiss("RSTR"); }, Check::KissDeny},
        {"kiss INIT", [](TestReply& r) { r.Kiss("INIT"); }, Check::KissOther},
        {"leap indicator 3", [](TestReply& r) { r.leap = 3; }, Check::Unsynchronised},
        {"leap second ahead", [](TestReply& r) { r.leap = 1; }, Check::Good},
        {"stratum 15", [](TestReply& r) { r.stratum = 15; }, Check::Good},
        {"stratum 16", [](TestReply& r) { r.stratum = 16; }, Check::BadStratum},
        {"zero receive", [](TestReply& r) { r.receive = 0; }, Check::ZeroTimestamp},
        {"zero transmit", [](TestReply& r) { r.transmit = 0; }, Check::ZeroTimestamp},
        {"receive after transmit", [](TestReply& r) { r.receive = kT3 + 1; }, Check::ReceiveAfterTransmit},
        {"server held it longer than the round trip", [](TestReply& r) { r.transmit = kT2 + kNtpSecond; },
         Check::NegativeDelay},
        {"root distance 0.875 s", [](TestReply& r) { r.rootDelay = 0x18000; }, Check::Good},
        {"root distance 1.025 s", [](TestReply& r) { r.rootDelay = 0x1CCCD; }, Check::TooFarFromRoot},
        {"root dispersion 1 s", [](TestReply& r) { r.rootDispersion = 0x10000; }, Check::TooFarFromRoot},
        {"two days before the earliest time", [](TestReply& r) { r.receive -= 2 * 86400 * kNtpSecond,
                                                              r.transmit -= 2 * 86400 * kNtpSecond; },
         Check::TooEarly},
        {"two days after the latest time", [](TestReply& r) { r.receive += 2 * 86400 * kNtpSecond,
                                                           r.transmit += 2 * 86400 * kNtpSecond; },
         Check::TooLate},
    };
    for (const CheckRow& row : rows) {
        TestReply reply = GoodReply();
        row.change(reply);
        const std::vector<uint8_t> bytes = reply.Bytes();
        EXPECT_EQ(CheckReply(bytes, kNonce, kT1, kT4, kBounds).check, row.expected) << row.what;
    }
}

TEST(Packets, GoodReplyGivesTheServerTimeAtReceipt) {
    const std::vector<uint8_t> bytes = GoodReply().Bytes();
    const ReplyCheck result = CheckReply(bytes, kNonce, kT1, kT4, kBounds);
    ASSERT_EQ(result.check, Check::Good);
    // Half the network time (a quarter second) after the server sent it.
    EXPECT_EQ(result.serverTimeAtT4, kT3 + kQuarter / 2);
}

// --- Politeness ----------------------------------------------------------------

constexpr int64_t kSecond = kNsPerSecond;

TEST(Courtesy, WaitsAfterEachOutcome) {
    struct Row {
        const char* what;
        std::vector<Outcome> history;  // one request every 2000 s, the last at t = 0
        int64_t wait;                  // until the next request is allowed
    };
    const Row rows[] = {
        {"answered", {Outcome::Good}, 16 * kSecond},
        {"one failure", {Outcome::Failed}, 64 * kSecond},
        {"two failures", {Outcome::Failed, Outcome::Failed}, 128 * kSecond},
        {"five failures", std::vector<Outcome>(5, Outcome::Failed), 1024 * kSecond},
        {"eight failures", std::vector<Outcome>(8, Outcome::Failed), 1024 * kSecond},
        {"failures, an answer, a failure", {Outcome::Failed, Outcome::Failed, Outcome::Good, Outcome::Failed},
         64 * kSecond},
        {"RATE", {Outcome::Rate}, 1024 * kSecond},
        {"RATE, then a failure", {Outcome::Rate, Outcome::Failed}, 1024 * kSecond},
    };
    for (const Row& row : rows) {
        ServerCourtesy c;
        EXPECT_TRUE(c.MayAsk(-5000 * kSecond)) << row.what << ": never asked";
        int64_t at = -2000 * static_cast<int64_t>(row.history.size() - 1) * kSecond;
        for (Outcome o : row.history) {
            c.Record(o, at);
            at += 2000 * kSecond;
        }
        EXPECT_FALSE(c.MayAsk(row.wait - 1)) << row.what;
        EXPECT_TRUE(c.MayAsk(row.wait)) << row.what;
    }
}

TEST(Courtesy, DenyRetiresTheServer) {
    ServerCourtesy c;
    c.Record(Outcome::Good, 0);
    c.Record(Outcome::Deny, 100 * kSecond);
    EXPECT_TRUE(c.Retired());
    EXPECT_FALSE(c.MayAsk(1000000 * kSecond));
}

// --- Sample --------------------------------------------------------------------

TEST(Sample, AdvancesWithTheMonotonicClockUntilTooOld) {
    const int64_t at = 7 * kSecond;  // any base
    const Sample s{Seconds(NtpSecondsFromUnix(2085978490u)), at};  // ten seconds before the era change
    EXPECT_EQ(UnixTimeFromSample(s, at), 2085978490u);
    EXPECT_EQ(UnixTimeFromSample(s, at + 10 * kSecond + kSecond / 2), 2085978501u);
    EXPECT_EQ(UnixTimeFromSample(s, at + kMaxSampleAge), 2085978490u + 1024);
    EXPECT_EQ(UnixTimeFromSample(s, at + kMaxSampleAge + 1), std::nullopt);
    EXPECT_EQ(UnixTimeFromSample(s, at - 1), std::nullopt);
}

TEST(Sample, AgreementWithinFiveMinutesOnTheMonotonicClock) {
    const int64_t at = 7 * kSecond;
    const NtpTime eraEnd = Seconds(0xFFFFFFFFu);
    const Sample reference{eraEnd, at};
    struct Row {
        const char* what;
        Sample reply;
        bool agrees;
    };
    const Row rows[] = {
        {"an hour on, same time", {eraEnd + 3600 * kNtpSecond, at + 3600 * kSecond}, true},
        {"an hour on, five minutes ahead, into era 1", {eraEnd + 3900 * kNtpSecond, at + 3600 * kSecond}, true},
        {"a tick more than five minutes ahead", {eraEnd + kMaxDisagreement + 1, at}, false},
        {"five minutes behind", {eraEnd - kMaxDisagreement, at}, true},
        {"a day ahead", {eraEnd + 86400 * kNtpSecond, at}, false},
        {"taken before the reference, a day ahead", {eraEnd + 86400 * kNtpSecond, at - kSecond}, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Agree(reference, row.reply), row.agrees) << row.what;
        EXPECT_EQ(Agree(row.reply, reference), row.agrees) << row.what << ", the other way round";
    }
    EXPECT_TRUE(HoldsBack(reference, at + kReferenceLifetime));
    EXPECT_FALSE(HoldsBack(reference, at + kReferenceLifetime + 1));
    EXPECT_FALSE(HoldsBack(reference, at - 1));
}

TEST(Sample, StalledOnceTheWitnessRunsAheadOfTheMonotonicClock) {
    const Sample s{Seconds(1), 7 * kSecond, -5 * kSecond};  // any bases
    constexpr int64_t kDay = 86400 * kSecond;
    struct Row {
        const char* what;
        int64_t monotonic, witness;  // how far each ran on since the sample
        bool stalled;
    };
    const Row rows[] = {
        {"both on alike", kMaxSampleAge, kMaxSampleAge, false},
        {"the witness two seconds ahead", 10 * kSecond, 12 * kSecond, false},
        {"the witness more than two seconds ahead", 10 * kSecond, 12 * kSecond + 1, true},
        {"a day on, the witness a thousandth ahead", kDay, kDay + kDay / 1000, false},
        {"a day on, the witness more than a thousandth ahead", kDay, kDay + kDay / 1000 + 1, true},
        {"an hour asleep, the monotonic clock stood still", 0, 3600 * kSecond, true},
        {"the monotonic clock a year ahead", 365 * kDay, 0, false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Stalled(s, s.monotonic + row.monotonic, s.witness + row.witness), row.stalled) << row.what;
}

// --- Server list ---------------------------------------------------------------

TEST(ServerList, Entries) {
    struct Row {
        std::string_view text;
        std::vector<ServerName> expected;
    };
    const Row rows[] = {
        {"", {}},
        {"ntp.example.org", {{"ntp.example.org", 123}}},
        {"127.0.0.1:50123", {{"127.0.0.1", 50123}}},
        {"  a, b;c\td\r\ne ", {{"a"}, {"b"}, {"c"}, {"d"}, {"e"}}},
        {std::string_view("a:1\0b:2\0\0", 9), {{"a", 1}, {"b", 2}}},  // REG_MULTI_SZ
        {"[::1]:5000 [fe80::1] ::1", {{"::1", 5000}, {"fe80::1"}, {"::1"}}},
        {"a:0 b:65536 c:x d: :5 [::1 [::1]x e:65535", {{"e", 65535}}},
        {"1 2 3 4 5 6 7 8 9", {{"1"}, {"2"}, {"3"}, {"4"}, {"5"}, {"6"}, {"7"}, {"8"}}},
    };
    for (const Row& row : rows) EXPECT_EQ(ParseServerList(row.text), row.expected) << row.text;
}

}  // namespace
}  // namespace gettime
