// The trusted clock's policy over runs of events: which fetches and fallback
// ticks take a new snapshot of the time of day.
#include "app/TrustedClockRules.h"

#include <gtest/gtest.h>

#include <string>

namespace pwg {
namespace {

// Events: 'S' a good fetch, 'F' a failed one, 'T' a fallback tick. The
// answer marks with 'x' each event that takes a snapshot.
std::string Snapshots(const std::string& events) {
    int failures = 0;
    std::string taken;
    for (char e : events) {
        bool take = false;
        if (e == 'T') {
            take = FallbackTakesSnapshot(failures);
        } else {
            const FetchOutcome outcome = AfterFetch(e == 'S', failures);
            failures = outcome.failures;
            take = outcome.takeSnapshot;
        }
        taken += take ? 'x' : '.';
    }
    return taken;
}

TEST(TrustedClockRules, SnapshotsOverRunsOfFetchesAndFallbackTicks) {
    struct Case { const char* what; const char* events; const char* snapshots; };
    const Case cases[] = {
        {"every good fetch", "STSTS", "x.x.x"},
        {"three failures keep the snapshot", "FTFTFT", "......"},
        {"no network from the start: the fourth failure", "FTFTFTFTFT", ".......x.x"},
        {"two fallback ticks between fetches", "FFFFTTFT", "....xx.x"},
        {"a good fetch ends the fallback", "FFFFTSTFT", "....xx..."},
        {"one failure after it does not bring it back", "SFFFFTSFT", "x....xx.."},
    };
    for (const Case& c : cases) EXPECT_EQ(Snapshots(c.events), c.snapshots) << c.what;
}

// The last network time is stored again only when it is ten minutes away
// from the stored one, either way: the network's say is what counts.
TEST(TrustedClockRules, StoresTheNetworkTimeWhenItHasMovedFarEnough) {
    struct Case { long long fetched, stored; bool stores; };
    const Case cases[] = {
        {1800000000, 0, true},          {1800000000 + 599, 1800000000, false}, {1800000000 + 600, 1800000000, true},
        {1800000000 - 599, 1800000000, false}, {1800000000 - 600, 1800000000, true}, {0, 1800000000, false},
    };
    for (const Case& c : cases) EXPECT_EQ(StoresNetworkTime(c.fetched, c.stored), c.stores) << c.fetched - c.stored;
}

}  // namespace
}  // namespace pwg
