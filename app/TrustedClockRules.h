#pragma once
// The trusted clock's policy, free of the network and the clock: what a
// network fetch and a fallback tick do to the count of failures, and when
// they take a new snapshot of the time of day.

namespace pwg {

// The local clock is trusted only after more failed fetches in a row than this.
inline constexpr int kFailuresBeforeFallback = 3;

struct FetchOutcome {
    int failures;
    bool takeSnapshot;  // from the clock the fetch has just set
};

// A good fetch takes the snapshot and starts the count afresh; a failed one
// only counts.
constexpr FetchOutcome AfterFetch(bool fetched, int failures) {
    return fetched ? FetchOutcome{0, true} : FetchOutcome{failures + 1, false};
}

// Until then the snapshot stays where the last good fetch put it.
constexpr bool FallbackTakesSnapshot(int failures) { return failures > kFailuresBeforeFallback; }

// The local clock (UTC, ms since 1970) as far as it is believed: never before
// the last time the network told (0: it never told). A standard user cannot
// set the clock, but the firmware's setup can, while the network is off.
constexpr long long BelievedUtcMs(long long clockMs, long long networkMs) {
    return clockMs < networkMs ? networkMs : clockMs;
}

// The last network time is stored when it is this far from the stored one
// (either way: what the network says now is what counts): often enough to
// bound what a clock set back can win, seldom enough to leave the registry
// alone in between.
inline constexpr long long kNetworkTimeStoreSeconds = 600;
constexpr bool StoresNetworkTime(long long fetched, long long stored) {
    return fetched != 0 && (stored == 0 || fetched - stored >= kNetworkTimeStoreSeconds ||
                            stored - fetched >= kNetworkTimeStoreSeconds);
}

}  // namespace pwg
