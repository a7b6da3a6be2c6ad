#include "gettime/TimeClient.h"

#include <gtest/gtest.h>
#include <ws2tcpip.h>

#include <optional>

#include "FakeSntpServer.h"

namespace gettime {
namespace {

constexpr int64_t kSecond = kNsPerSecond;
constexpr uint32_t kServerTime = 1893456000u;  // 2030-01-01 00:00:00 UTC
constexpr uint32_t kLastSecondOfEra0 = 2085978495u;  // 2036-02-07 06:28:15 UTC
// Generous slack over the promised second: a correctness bound, not a speed target.
constexpr int64_t kBound = 1500 * kMillisecond;

using Shape = FakeSntpServer::Shape;
const Shape kHonest = [](TestReply&) {};
Shape Kiss(const char* code) {
    return [code](TestReply& r) { r.Kiss(code); };
}

// A client against a fake server on loopback, named in the real registry
// ("{port}" stands for the fake server's port). The client's monotonic clock
// is the real one moved on by `skip`, so that intervals of minutes pass at
// once, and its system clock the real one moved on by `systemSkip`, which the
// client's setting moves too.
class TimeClientTest : public ::testing::Test {
protected:
    explicit TimeClientTest(std::string servers = "127.0.0.1:{port}")
        : list_(servers.replace(servers.find("{port}"), 6, std::to_string(server.Port()))) {}

    // One call, with its real duration.
    bool Call() {
        const int64_t start = MonotonicNow();
        const bool ok = client.GetTime(kServerListMode, &value);
        took = MonotonicNow() - start;
        return ok;
    }
    void Answer(std::vector<Shape> datagrams) { server.Set({std::move(datagrams)}); }

    FakeSntpServer server{kServerTime};
    ServerListInRegistry list_;
    int64_t skip = 0, systemSkip = 0;
    int clockSets = 0;
    const SystemClock systemClock{[this] { return ReadSystemClock() + systemSkip / 100; },
                                  [this](const SYSTEMTIME* time) {
                                      FILETIME set;
                                      SystemTimeToFileTime(time, &set);
                                      const uint64_t ticks = uint64_t{set.dwHighDateTime} << 32 | set.dwLowDateTime;
                                      systemSkip = static_cast<int64_t>(ticks - ReadSystemClock()) * 100;
                                      ++clockSets;
                                      return TRUE;
                                  }};
    TimeClient client{[this] { return MonotonicNow() + skip; }, systemClock};
    uint32_t value = 0;
    int64_t took = 0;
};

TEST_F(TimeClientTest, GoodReply) {
    ASSERT_TRUE(Call());
    EXPECT_EQ(value, kServerTime);
    EXPECT_EQ(server.Requests(), 1);
}

TEST_F(TimeClientTest, OnlyModeSixAndAPlaceForTheValue) {
    EXPECT_FALSE(client.GetTime(5, &value));
    EXPECT_FALSE(client.GetTime(7, &value));
    EXPECT_FALSE(client.GetTime(kServerListMode, nullptr));
    EXPECT_EQ(server.Requests(), 0);
}

TEST_F(TimeClientTest, RepliesThatFailACheck) {
    struct Row {
        const char* what;
        std::vector<Shape> datagrams;
    };
    const Row rows[] = {
        {"mode 3", {[](TestReply& r) { r.mode = 3; }}},
        {"version 2", {[](TestReply& r) { r.version = 2; }}},
        {"leap indicator 3", {[](TestReply& r) { r.leap = 3; }}},
        {"stratum 16", {[](TestReply& r) { r.stratum = 16; }}},
        {"kiss INIT", {Kiss("INIT")}},
        {"zero receive timestamp", {[](TestReply& r) { r.receive = 0; }}},
        {"zero transmit timestamp", {[](TestReply& r) { r.transmit = 0; }}},
        {"receive after transmit", {[](TestReply& r) { r.receive += kNtpSecond; }}},
        {"negative delay", {[](TestReply& r) { r.transmit += 10 * kNtpSecond; }}},
        {"root distance over a second", {[](TestReply& r) { r.rootDispersion = 0x10000; }}},
        {"before the library was built", {[](TestReply& r) { r.receive = r.transmit = NtpTime{3155673600u} << 32; }}},
        {"a second after the latest time",
         {[](TestReply& r) { r.receive = r.transmit = NtpTime{NtpSecondsFromUnix(kLatestTime + 1)} << 32; }}},
        {"one reply per request: the first, unusable, counts", {[](TestReply& r) { r.leap = 3; }, kHonest}},
        {"short datagrams only", {[](TestReply& r) { r.size = 47; }}},
        {"other originate only", {[](TestReply& r) { r.originate ^= 1; }}},
    };
    for (const Row& row : rows) {
        TimeClient fresh{MonotonicNow};
        server.Set({row.datagrams});
        const int before = server.Requests();
        EXPECT_FALSE(fresh.GetTime(kServerListMode, &value)) << row.what;
        EXPECT_EQ(server.Requests(), before + 1) << row.what;
    }
}

TEST_F(TimeClientTest, StrayDatagramsDoNotEndTheRequest) {
    Answer({[](TestReply& r) { r.size = 47; }, [](TestReply& r) { r.originate ^= 1; }, kHonest});
    ASSERT_TRUE(Call());
    EXPECT_EQ(value, kServerTime);
}

TEST_F(TimeClientTest, DuplicateReplyIsTakenOnce) {
    Answer({kHonest, kHonest});
    ASSERT_TRUE(Call());
    // The copy must not answer the next request, which the server ignores.
    skip += kMaxSampleAge + 1;
    Answer({});
    EXPECT_FALSE(Call());
    EXPECT_EQ(server.Requests(), 2);
}

TEST_F(TimeClientTest, NoReplyKeepsTheBound) {
    Answer({});
    EXPECT_FALSE(Call());
    EXPECT_LT(took, kBound);
}

TEST_F(TimeClientTest, LateReplyIsNotUsed) {
    static_assert(700 * kMillisecond > kReplyWait);
    server.Set({{kHonest}, 700});
    EXPECT_FALSE(Call());
    EXPECT_LT(took, kBound);
    // Asked again once the back-off allows; the late reply went to a closed socket.
    server.Set({{kHonest}});
    skip += kFirstBackoff;
    EXPECT_TRUE(Call());
    EXPECT_EQ(server.Requests(), 2);
}

TEST_F(TimeClientTest, ReplyFromAnotherPortIsNotUsed) {
    server.Set({{kHonest}, 0, true});
    EXPECT_FALSE(Call());
    EXPECT_LT(took, kBound);
    EXPECT_EQ(server.Requests(), 1);
}

TEST_F(TimeClientTest, TimesEitherSideOfTheEraChange) {
    for (uint32_t t : {kLastSecondOfEra0, kLastSecondOfEra0 + 2, kLatestTime}) {
        TimeClient fresh{MonotonicNow};
        server.SetTime(t);
        ASSERT_TRUE(fresh.GetTime(kServerListMode, &value)) << t;
        EXPECT_EQ(value, t);
    }
}

TEST_F(TimeClientTest, AnswersFromTheSampleUntilItIsTooOld) {
    server.SetTime(kLastSecondOfEra0);
    ASSERT_TRUE(Call());
    skip += 2 * kSecond;  // into NTP era 1
    ASSERT_TRUE(Call());
    EXPECT_EQ(value, kLastSecondOfEra0 + 2);
    skip += kMaxSampleAge - 2 * kSecond - kSecond / 10;
    ASSERT_TRUE(Call());
    EXPECT_EQ(value, kLastSecondOfEra0 + 1024);
    EXPECT_EQ(server.Requests(), 1);

    // Too old: a fresh request, and without an answer no time at all.
    skip += kSecond;
    Answer({});
    EXPECT_FALSE(Call());
    EXPECT_EQ(server.Requests(), 2);
}

TEST_F(TimeClientTest, ServerIsLeftAloneAfterAFailureOrAKiss) {
    struct Row {
        const char* what;
        Shape reply;
        int64_t wait;  // 0: never asked again
    };
    const Row rows[] = {
        {"unusable reply", [](TestReply& r) { r.stratum = 16; }, kFirstBackoff},
        {"RATE", Kiss("RATE"), kMaxBackoff},
        {"DENY", Kiss("DENY"), 0},
        {"RSTR", Kiss("RSTR"), 0},
    };
    for (const Row& row : rows) {
        TimeClient fresh{[this] { return MonotonicNow() + skip; }};
        const auto call = [&] { return fresh.GetTime(kServerListMode, &value); };
        const int before = server.Requests();
        Answer({row.reply});
        EXPECT_FALSE(call()) << row.what;
        Answer({kHonest});
        skip += (row.wait != 0 ? row.wait : 100 * kMaxBackoff) - kSecond;
        EXPECT_FALSE(call()) << row.what;
        skip += kSecond;
        EXPECT_EQ(call(), row.wait != 0) << row.what;
        EXPECT_EQ(server.Requests(), before + (row.wait != 0 ? 2 : 1)) << row.what;
    }
}

TEST_F(TimeClientTest, ASampleThatASleepMayHaveStalledIsDropped) {
    struct Row {
        const char* what;
        int64_t monotonic, system;  // seconds each clock runs on after a good reply; the server's runs as the system's
        bool asks;
    };
    const Row rows[] = {
        {"an hour asleep, the monotonic clock stood still: the server alone, an hour ahead, is believed", 20, 3620,
         true},
        {"normal drift", 1000, 1001, false},
        {"the monotonic clock ahead of the system clock", 1000, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TimeClient fresh{[this] { return MonotonicNow() + skip; }, systemClock};
        server.SetTime(kServerTime);
        ASSERT_TRUE(fresh.GetTime(kServerListMode, &value));
        skip += row.monotonic * kSecond;
        systemSkip += row.system * kSecond;
        server.SetTime(static_cast<uint32_t>(kServerTime + row.system));
        const int before = server.Requests();
        ASSERT_TRUE(fresh.GetTime(kServerListMode, &value));
        EXPECT_EQ(value, kServerTime + (row.asks ? row.system : row.monotonic));
        EXPECT_EQ(server.Requests() - before, row.asks ? 1 : 0);
    }
}

TEST_F(TimeClientTest, ItsOwnStepOfTheClockIsNoSleepButATimeFromBeforeASleepIsNotSet) {
    systemSkip = static_cast<int64_t>(WindowsTicksFromUnix(kServerTime - 3600) - ReadSystemClock()) * 100;
    ASSERT_TRUE(Call());
    EXPECT_TRUE(client.SetClock(value));
    EXPECT_EQ(clockSets, 1) << "an hour slow";
    skip += 20 * kSecond;
    systemSkip += 20 * kSecond;
    ASSERT_TRUE(Call());
    EXPECT_EQ(value, kServerTime + 20);
    EXPECT_EQ(server.Requests(), 1) << "answered from the sample";

    systemSkip += 3600 * kSecond;  // asleep for an hour, the monotonic clock stood still
    EXPECT_FALSE(client.SetClock(value));
    EXPECT_EQ(clockSets, 1) << "not set an hour back";
}

class NoListenerFirst : public TimeClientTest {
protected:
    NoListenerFirst() : TimeClientTest("127.0.0.1:" + std::to_string(ClosedPort()) + " 127.0.0.1:{port}") {}
};

TEST_F(NoListenerFirst, PortUnreachableDoesNotStopTheNextServer) {
    ASSERT_TRUE(Call());
    EXPECT_EQ(value, kServerTime);
    EXPECT_LT(took, kBound);
}

class UnresolvableFirst : public TimeClientTest {
protected:
    UnresolvableFirst() : TimeClientTest("no-such-host.invalid 127.0.0.1:{port}") {}
};

TEST_F(UnresolvableFirst, NameThatDoesNotResolveKeepsTheBound) {
    Answer({});
    EXPECT_FALSE(Call());
    EXPECT_LT(took, kBound);
    Answer({kHonest});
    skip += kFirstBackoff;
    EXPECT_TRUE(Call());
    EXPECT_LT(took, kBound);
}

// Only a name: the first call waits briefly for its lookup on another thread.
class NamedServer : public TimeClientTest {
protected:
    NamedServer() : TimeClientTest("localhost:{port}") {}
};

TEST_F(NamedServer, FirstCallWaitsForTheLookup) {
    ASSERT_TRUE(Call());
    EXPECT_EQ(value, kServerTime);
}

// A name whose lookup a test gives, each address with the name's port.
class NameOfTwoAddresses : public TimeClientTest {
protected:
    NameOfTwoAddresses() : TimeClientTest("two-addresses.test:{port}") {}
};

Address Ipv4(const char* dotted, uint16_t port, ADDRESS_FAMILY family = AF_INET) {
    Address a;
    auto& in = reinterpret_cast<sockaddr_in&>(a.storage);
    in.sin_port = htons(port);
    inet_pton(AF_INET, dotted, &in.sin_addr);
    in.sin_family = family;
    a.length = sizeof in;
    return a;
}

TEST_F(NameOfTwoAddresses, AnAddressThisMachineCannotUseDoesNotHideTheOther) {
    // What Windows and Wine refuse at once: a socket of a family with no stack
    // here (as IPv6 on an IPv4-only machine), and a datagram socket connected
    // to the broadcast address without SO_BROADCAST.
    const auto noStack = [](uint16_t port) { return Ipv4("127.0.0.1", port, AF_IRDA); };
    const auto broadcast = [](uint16_t port) { return Ipv4("255.255.255.255", port); };
    const auto fake = [](uint16_t port) { return Ipv4("127.0.0.1", port); };
    struct Row {
        const char* what;
        Address (*first)(uint16_t);
        Address (*second)(uint16_t);
        bool answers;
    };
    const Row rows[] = {
        {"first of a family with no stack here", noStack, fake, true},
        {"first the broadcast address", broadcast, fake, true},
        {"neither usable", noStack, broadcast, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TimeClient fresh{MonotonicNow, {}, [row](const ServerName& name) {
                             return std::vector<Address>{row.first(name.port), row.second(name.port)};
                         }};
        const int before = server.Requests();
        EXPECT_EQ(fresh.GetTime(kServerListMode, &value), row.answers);
        EXPECT_EQ(server.Requests(), before + (row.answers ? 1 : 0));
    }
}

// Two servers; the first answers first.
class TwoServers : public TimeClientTest {
protected:
    TwoServers() : secondList_("127.0.0.1:" + std::to_string(server.Port()) + " " + second.Entry()) {}
    FakeSntpServer second{kServerTime};
    ServerListInRegistry secondList_;
};

TEST_F(TwoServers, AReplyFarFromTheLastGoodTimeNeedsASecondServer) {
    constexpr int64_t kDay = 86400;
    constexpr std::optional<int64_t> kSilent, kRefused;
    struct Row {
        const char* what;
        int64_t later;                    // seconds of the monotonic clock after a first, good reply
        int64_t first;                    // what the first server then claims, seconds ahead of that good time
        std::optional<int64_t> second;    // and the second, asked only when the first is held back
        std::optional<int64_t> believed;
    };
    const Row rows[] = {
        {"four minutes ahead", 1100, 240, kSilent, 240},
        {"a day ahead, the second server silent", 1100, kDay, kSilent, kRefused},
        {"ten years ahead, the second server silent", 1100, 3652 * kDay, kSilent, kRefused},
        {"a day ahead, the second server on time", 1100, kDay, 0, 0},
        {"a day ahead, and so is the second server", 1100, kDay, kDay, kDay},
        {"a day ahead, the second server a year ahead", 1100, kDay, 365 * kDay, kRefused},
        {"a day ahead, the good time more than a day old", kDay + 1100, kDay, kSilent, kDay},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        server.SetTime(kServerTime);
        TimeClient fresh{[this] { return MonotonicNow() + skip; }};
        ASSERT_TRUE(fresh.GetTime(kServerListMode, &value));
        skip += row.later * kSecond;
        const auto claim = [&](int64_t ahead) { return static_cast<uint32_t>(kServerTime + row.later + ahead); };
        server.SetTime(claim(row.first));
        second.SetTime(claim(row.second.value_or(0)));
        second.Set({row.second ? std::vector<Shape>{kHonest} : std::vector<Shape>{}});
        const int secondAsked = second.Requests();
        EXPECT_EQ(fresh.GetTime(kServerListMode, &value), row.believed.has_value());
        if (row.believed) {
            EXPECT_NEAR(value, claim(*row.believed), 1);
        }
        const bool heldBack = row.first > 300 && row.later < kDay;
        EXPECT_EQ(second.Requests() - secondAsked, heldBack ? 1 : 0);
    }
}

TEST(ServerList, BuiltInUnlessTheAdministratorSetsOne) {
    const std::vector<ServerName> builtIn = ParseServerList(kBuiltInServers);
    ASSERT_EQ(builtIn.size(), 3u);
    EXPECT_EQ(ReadServerList(), builtIn);
    {
        const ServerListInRegistry list(std::string("ntp.example.org\0" "127.0.0.1:50123", 31), REG_MULTI_SZ);
        EXPECT_EQ(ReadServerList(), (std::vector<ServerName>{{"ntp.example.org"}, {"127.0.0.1", 50123}}));
    }
    {
        const ServerListInRegistry list("a:99999, [::1");
        EXPECT_EQ(ReadServerList(), builtIn) << "nothing usable";
    }
    EXPECT_EQ(ReadServerList(), builtIn);
}

// --- Setting the clock ---------------------------------------------------------

// What the library handed to SetSystemTime, and whether it held the privilege then.
struct SetterRecord {
    int calls = 0;
    SYSTEMTIME time{};
    bool privilegeEnabled = false;
    BOOL result = TRUE;
} record;

bool SystemTimePrivilegeEnabled() {
    HANDLE opened;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) return false;
    const Handle token(opened);
    LUID luid;
    LookupPrivilegeValueA(nullptr, SE_SYSTEMTIME_NAME, &luid);
    alignas(TOKEN_PRIVILEGES) char buffer[4096];
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), TokenPrivileges, buffer, sizeof buffer, &size)) return false;
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer);
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES& p = privileges->Privileges[i];
        if (p.Luid.LowPart == luid.LowPart && p.Luid.HighPart == luid.HighPart)
            return (p.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
    return false;
}

BOOL WINAPI RecordingSetter(const SYSTEMTIME* time) {
    ++record.calls;
    record.time = *time;
    record.privilegeEnabled = SystemTimePrivilegeEnabled();
    return record.result;
}

// A clock in 1601, far from every time the tests set.
const SystemClock kFarOff{[] { return uint64_t{0}; }, RecordingSetter};

TEST(SetSystemClock, HandsTheTimeToWindowsWithThePrivilegeHeld) {
    struct Row {
        uint32_t unix;
        WORD year, month, dayOfWeek, day, hour, minute, second;
    };
    const Row rows[] = {
        {1893456000u, 2030, 1, 2, 1, 0, 0, 0},             // Tuesday
        {kLastSecondOfEra0 + 1, 2036, 2, 4, 7, 6, 28, 16},  // Thursday, NTP era 1
    };
    const bool enabledBefore = SystemTimePrivilegeEnabled();
    for (const Row& row : rows) {
        record = {};
        EXPECT_TRUE(SetSystemClock(row.unix, kFarOff)) << row.unix;
        ASSERT_EQ(record.calls, 1);
        const SYSTEMTIME& t = record.time;
        EXPECT_EQ((std::vector<WORD>{t.wYear, t.wMonth, t.wDayOfWeek, t.wDay, t.wHour, t.wMinute, t.wSecond,
                                     t.wMilliseconds}),
                  (std::vector<WORD>{row.year, row.month, row.dayOfWeek, row.day, row.hour, row.minute, row.second, 0}))
            << row.unix;
        EXPECT_TRUE(record.privilegeEnabled);
    }
    EXPECT_EQ(SystemTimePrivilegeEnabled(), enabledBefore) << "privilege put back as it was";
}

TEST(SetSystemClock, RefusesTimesOutsideItsBoundsAndReportsFailure) {
    record = {};
    EXPECT_TRUE(SetSystemClock(kEarliestTime, kFarOff));
    EXPECT_TRUE(SetSystemClock(kLatestTime, kFarOff));
    for (uint32_t t : {kEarliestTime - 1, 0u, kLatestTime + 1, 4294967295u})
        EXPECT_FALSE(SetSystemClock(t, kFarOff)) << t;
    EXPECT_EQ(record.calls, 2);
    record.result = FALSE;
    EXPECT_FALSE(SetSystemClock(kEarliestTime, kFarOff));
}

TEST(SetSystemClock, LeavesAClockWithinASecondAlone) {
    for (const int64_t ahead : {kClockTolerance / 2, -kClockTolerance - 1}) {
        record = {};
        const SystemClock clock{[ahead] { return WindowsTicksFromUnix(kServerTime) + ahead; }, RecordingSetter};
        const bool off = ahead < -kClockTolerance;
        EXPECT_EQ(SetSystemClock(kServerTime, clock), off ? -ahead : 0) << ahead;
        EXPECT_EQ(record.calls, off ? 1 : 0) << ahead;
    }
}

}  // namespace
}  // namespace gettime
