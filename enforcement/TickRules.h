#pragma once
// The enforcement's decisions, free of any window: where a time of day lies
// against the usage window, and when the countdown has run out.

namespace pwg {

// Seconds shown when the unlock dialog opens; the power-off comes on the
// tick that takes the count past it.
inline constexpr int kCountdownSeconds = 60;

// Strictly between start and end. A window whose start is not before its
// end has no inside.
constexpr bool IsInsideWindow(double t, double start, double end) { return start < t && t < end; }
// Strictly after the end or before the start. At exactly the start or the
// end of an ordinary window neither holds, and the count stands still.
constexpr bool IsOutsideWindow(double t, double start, double end) { return t > end || t < start; }

constexpr int SecondsLeft(int countdown) { return kCountdownSeconds - countdown; }
constexpr bool CountdownExpired(int countdown) { return countdown > kCountdownSeconds; }

}  // namespace pwg
