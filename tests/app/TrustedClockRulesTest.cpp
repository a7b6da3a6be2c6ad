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

}  // namespace
}  // namespace pwg
