// The trusted clock: Timer1's network sync and Timer2's local fallback, with
// the real GetTime.dll asking fake SNTP servers on 127.0.0.1 that the real
// registry's server list names. The tests run the two timers' handlers
// themselves.
//
// The library keeps a good reply for 1024 s and answers from it, so a test
// that needs failed fetches needs a process in which none has succeeded yet:
// CTest runs each test case in a process of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <optional>
#include <vector>

#include "FakeSntpServer.h"
#include "app/AppState.h"
#include "app/LocalClock.h"
#include "core/ZoneRules.h"
#include "tests/support/AppFixture.h"
#include "tests/support/ImportPatch.h"

namespace pwg::test {
namespace {

using gettime::FakeSntpServer;
using gettime::ServerListInRegistry;

uint32_t UnixFrom(const SYSTEMTIME& utc) {
    FILETIME ft;
    SystemTimeToFileTime(&utc, &ft);
    const uint64_t ticks = uint64_t{ft.dwHighDateTime} << 32 | ft.dwLowDateTime;
    return static_cast<uint32_t>(ticks / 10000000 - 11644473600u);
}

// The times GetTime.dll asked Windows to set the clock to. The real call
// must not reach a test machine's clock.
std::vector<uint32_t> clockSettings;
BOOL WINAPI RecordClockSetting(const SYSTEMTIME* utc) {
    clockSettings.push_back(UnixFrom(*utc));
    return TRUE;
}

// Seconds between a time of day and the local clock's (moved on by `ahead`
// seconds), the short way round midnight.
double SecondsFromLocalClock(double timeOfDay, double ahead = 0) {
    const double apart = std::fabs(timeOfDay - std::fmod(LocalTimeOfDay() + ahead / 86400, 1.0));
    return std::min(apart, 1 - apart) * 86400;
}
constexpr double kTolerance = 2.0;  // seconds
// A snapshot six hours off the local clock, so that taking the clock shows.
double OffTheClock() { return std::fmod(LocalTimeOfDay() + 0.25, 1.0); }

bool g_fetchSucceeded = false;  // in this process: the library holds a good reply

class TrustedClockTest : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        clockSettings.clear();
        silent_.Set({.datagrams = {}});
        CreateMainForm();
    }
    void TearDown() override {
        if (State().fetchedTime != 0) g_fetchSucceeded = true;
        AppFixture::TearDown();
    }

    // Points the library at one server; a new list is read at the next fetch.
    void Use(const FakeSntpServer& server) { list_.emplace(server.Entry()); }
    void Sync() { main_->Timer1Timer(); }
    void Fallback() { main_->Timer2Timer(); }
    static ::testing::AssertionResult NoFetchSucceededYet() {
        if (!g_fetchSucceeded) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the library answers from an earlier test's reply: run each test "
                                                "in a process of its own (ctest does)";
    }

    const uint32_t now_ = static_cast<uint32_t>(std::time(nullptr));
    // An honest server a minute ahead: this machine's clock is slow enough for
    // the library to set it (it leaves a clock within a second alone).
    const uint32_t network_ = now_ + 60;
    FakeSntpServer answering_{network_};
    FakeSntpServer silent_{now_};
    std::optional<ServerListInRegistry> list_;
    const ImportPatch setClock_{GetModuleHandleA("GetTime.dll"), "KERNEL32.dll", "SetSystemTime",
                                reinterpret_cast<const void*>(&RecordClockSetting)};
};

TEST_F(TrustedClockTest, BothTimersRunFromTheStart) {
    struct Row {
        const char* name;
        const Timer* timer;
        UINT interval;
    };
    for (const Row& row : {Row{"Timer1", main_->Timer1.get(), 30000}, Row{"Timer2", main_->Timer2.get(), 60000}}) {
        EXPECT_EQ(row.timer->Interval(), row.interval) << row.name;
        EXPECT_TRUE(row.timer->Enabled()) << row.name;
    }
}

// The first row is a real exchange with the server; the library answers the
// later ones from that reply. Wine cannot move the clock, so a snapshot off
// the clock stands for one that a moved clock gave (through the fallback, with
// failures > 3): whatever it was, one good fetch puts it right. The snapshot
// is the network's time, which the clock shows once set (here, where it is
// not set, it is never believed behind it).
TEST_F(TrustedClockTest, AGoodFetchSetsTheClockAndTakesTheSnapshotFromIt) {
    Use(answering_);
    for (int failuresBefore : {3, 0, 4, 9}) {
        State().trustedTime = OffTheClock();
        State().today = 0;
        State().syncFailures = failuresBefore;
        const int dayBefore = LocalDate();
        Sync();
        EXPECT_LT(SecondsFromLocalClock(State().trustedTime, network_ - now_), kTolerance) << failuresBefore;
        EXPECT_TRUE(State().today == dayBefore || State().today == LocalDate()) << failuresBefore;
        EXPECT_EQ(State().syncFailures, 0) << failuresBefore;
        ASSERT_FALSE(clockSettings.empty()) << failuresBefore;
        EXPECT_EQ(clockSettings.back(), State().fetchedTime) << "the clock is set to the fetched time";
        EXPECT_LE(State().fetchedTime - network_, 5u) << "the server's time, advanced since its reply";
    }
    EXPECT_EQ(clockSettings.size(), 4u);
    EXPECT_EQ(clockSettings.front(), network_);
    EXPECT_GE(answering_.Requests(), 1);
}

// What the network told is kept for the next start, where a clock set back
// is not believed past it; minutes later it is not written again.
TEST_F(TrustedClockTest, AGoodFetchIsKeptAsTheLastNetworkTime) {
    Use(answering_);
    Sync();
    ASSERT_NE(State().fetchedTime, 0u);
    EXPECT_EQ(StoredSetting("NETTIME"), UtcText(State().fetchedTime));
    StoreSetting("NETTIME", UtcText(State().fetchedTime - 60));
    Sync();
    EXPECT_EQ(StoredSetting("NETTIME"), UtcText(State().fetchedTime - 60)) << "no new write a minute on";
}

// No server answers: the real library's failure only counts, sets nothing
// and leaves the snapshot; Timer2 takes the clock once the policy says so
// (TrustedClockRulesTest has the policy over runs of events).
TEST_F(TrustedClockTest, AFailedFetchOnlyCountsAndTheFallbackFollowsThePolicy) {
    ASSERT_TRUE(NoFetchSucceededYet());
    Use(silent_);
    const double startUp = OffTheClock();
    State().trustedTime = startUp;
    State().syncFailures = 2;
    Sync();
    EXPECT_EQ(State().syncFailures, 3);
    EXPECT_EQ(State().trustedTime, startUp) << "a failed fetch does not touch it";
    Fallback();
    EXPECT_EQ(State().trustedTime, startUp) << "three failures";
    EXPECT_GE(silent_.Requests(), 1) << "the fetch went to the listed server";
    EXPECT_EQ(State().fetchedTime, 0u);
    EXPECT_TRUE(clockSettings.empty());

    State().syncFailures = 4;
    Fallback();
    EXPECT_LT(SecondsFromLocalClock(State().trustedTime), kTolerance) << "the fourth failure";
}

}  // namespace
}  // namespace pwg::test
