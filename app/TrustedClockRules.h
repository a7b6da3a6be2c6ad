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

}  // namespace pwg
