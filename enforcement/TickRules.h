#pragma once
// The enforcement's decisions, free of any window: what one tick does with
// the trusted time against the usage window, and what the tick that opened
// the unlock dialog does once the dialog has closed.

namespace pwg {

// Seconds shown when the unlock dialog opens; the power-off comes on the
// tick that takes the count past it.
inline constexpr int kCountdownSeconds = 60;

constexpr int SecondsLeft(int countdown) { return kCountdownSeconds - countdown; }

// What a tick reads; read afresh at every tick, since ticks run nested while
// an earlier one waits in the unlock dialog.
struct TickState {
    bool latched = false;  // the power-off was requested
    bool locked = false;
    double t = 0, start = 0, end = 0;  // trusted time and usage window, times of day
    int countdown = 0;
    bool dialogOpen = false;
};

enum class Caption { Unchanged, Unlocked, Locked };

// What a tick does, in this order.
struct TickStep {
    Caption caption = Caption::Unchanged;
    bool closeDialog = false;  // the snapshot is inside the window
    // Outside with no dialog: show one and wait in it; the rest of this tick
    // is ResumeTick, once it has closed.
    bool openDialog = false;
    int countdown = 0;
    bool showSecondsLeft = false;  // on the open dialog
    // Past the limit: close the dialog, latch, permit closing, power off.
    bool powerOff = false;
};

// Strictly between start and end: a window whose start is not before its
// end has no inside. At exactly the start or the end of an ordinary window
// the tick is neither inside nor outside, and the count stands still.
constexpr bool IsInsideWindow(double t, double start, double end) { return start < t && t < end; }
constexpr bool IsOutsideWindow(double t, double start, double end) { return t > end || t < start; }

constexpr TickStep CountOn(TickStep step, bool dialogOpen) {
    ++step.countdown;
    step.showSecondsLeft = dialogOpen;
    return step;
}

constexpr TickStep WithPowerOffCheck(TickStep step) {
    step.powerOff = step.countdown > kCountdownSeconds;
    return step;
}

constexpr TickStep DecideTick(const TickState& s) {
    TickStep step;
    step.countdown = s.countdown;
    if (s.latched) return step;
    if (!s.locked) {
        step.caption = Caption::Unlocked;
        return step;
    }
    step.caption = Caption::Locked;
    if (IsInsideWindow(s.t, s.start, s.end)) {
        step.closeDialog = s.dialogOpen;
        step.countdown = 0;
    }
    if (IsOutsideWindow(s.t, s.start, s.end)) {
        if (!s.dialogOpen) {
            step.openDialog = true;
            return step;
        }
        step = CountOn(step, true);
    }
    return WithPowerOffCheck(step);
}

// The tick that opened the dialog, once it has closed (by the password, its
// close box or a later tick): it counts this tick too, so a right password
// (count 0) leaves 1; after the power-off request it does nothing more.
constexpr TickStep ResumeTick(const TickState& s) {
    TickStep step;
    step.countdown = s.countdown;
    if (s.latched) return step;
    return WithPowerOffCheck(CountOn(step, s.dialogOpen));
}

}  // namespace pwg
