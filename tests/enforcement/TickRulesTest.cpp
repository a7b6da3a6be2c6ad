// The enforcement tick's decisions as a table: what a tick does for each
// state it can find, and what the tick that opened the unlock dialog does
// once the dialog has closed.
#include "enforcement/TickRules.h"

#include <gtest/gtest.h>

#include <ostream>

namespace pwg {
namespace {

constexpr double H(double hours) { return hours / 24; }

struct Row {
    const char* what;
    TickState state;
    Caption caption;
    bool close, open;
    int countdown;
    bool secondsLeft, powerOff;
};

std::ostream& operator<<(std::ostream& out, const Row& row) { return out << row.what; }

class DecideTickTable : public ::testing::TestWithParam<Row> {};

TEST_P(DecideTickTable, DoesWhatTheStateCallsFor) {
    const Row& row = GetParam();
    const TickStep step = DecideTick(row.state);
    EXPECT_EQ(step.caption, row.caption);
    EXPECT_EQ(step.closeDialog, row.close);
    EXPECT_EQ(step.openDialog, row.open);
    EXPECT_EQ(step.countdown, row.countdown);
    EXPECT_EQ(step.showSecondsLeft, row.secondsLeft);
    EXPECT_EQ(step.powerOff, row.powerOff);
}

// The usage window 08:00-21:30 unless a row says otherwise.
constexpr double B = H(8), E = H(21.5);
constexpr Caption kNone = Caption::Unchanged, kUnlocked = Caption::Unlocked, kLocked = Caption::Locked;

INSTANTIATE_TEST_SUITE_P(Enforcement, DecideTickTable, ::testing::Values(
    //  what                                      latched locked t       B      E      count dialog  caption    close  open   count  left   off
    Row{"unlocked at night",                      {false, false, H(22),  B,     E,     5,    false}, kUnlocked, false, false, 5,     false, false},
    Row{"unlocked at noon",                       {false, false, H(12),  B,     E,     0,    false}, kUnlocked, false, false, 0,     false, false},
    Row{"unlocked, a dialog left open",           {false, false, H(22),  B,     E,     61,   true},  kUnlocked, false, false, 61,    false, false},
    Row{"latched: nothing at all",                {true,  true,  H(22),  B,     E,     61,   true},  kNone,     false, false, 61,    false, false},
    Row{"inside: the count goes to 0",            {false, true,  H(12),  B,     E,     7,    false}, kLocked,   false, false, 0,     false, false},
    Row{"inside with the dialog: it closes",      {false, true,  H(12),  B,     E,     30,   true},  kLocked,   true,  false, 0,     false, false},
    Row{"exactly at the start: it stands",        {false, true,  B,      B,     E,     5,    false}, kLocked,   false, false, 5,     false, false},
    Row{"exactly at the end: it stands",          {false, true,  E,      B,     E,     5,    true},  kLocked,   false, false, 5,     false, false},
    Row{"outside, no dialog: open one",           {false, true,  H(22),  B,     E,     20,   false}, kLocked,   false, true,  20,    false, false},
    Row{"before the start, no dialog",            {false, true,  H(3),   B,     E,     0,    false}, kLocked,   false, true,  0,     false, false},
    Row{"outside with the dialog: count on",      {false, true,  H(22),  B,     E,     0,    true},  kLocked,   false, false, 1,     true,  false},
    Row{"the 60th second is not past the limit",  {false, true,  H(22),  B,     E,     59,   true},  kLocked,   false, false, 60,    true,  false},
    Row{"the 61st is: power off",                 {false, true,  H(22),  B,     E,     60,   true},  kLocked,   false, false, 61,    true,  true},
    Row{"start after end: no inside at 23:00",    {false, true,  H(23),  H(22), H(6),  3,    true},  kLocked,   false, false, 4,     true,  false},
    Row{"start after end: no inside at 03:00",    {false, true,  H(3),   H(22), H(6),  3,    true},  kLocked,   false, false, 4,     true,  false},
    Row{"start after end: no inside at noon",     {false, true,  H(12),  H(22), H(6),  3,    true},  kLocked,   false, false, 4,     true,  false},
    Row{"start equal to end, at that instant",    {false, true,  H(9),   H(9),  H(9),  4,    true},  kLocked,   false, false, 4,     false, false},
    Row{"start equal to end, a second after",     {false, true,  H(9) + 1.0 / 86400, H(9), H(9), 4, true}, kLocked, false, false, 5, true, false}));

TEST(ResumeTick, TheOpeningTickCountsItselfOnceItsDialogHasClosed) {
    struct Case {
        const char* what;
        TickState state;
        int countdown;
        bool secondsLeft, powerOff;
    };
    const Case cases[] = {
        {"after the right password (count 0)", {false, false, H(22), B, E, 0, true}, 1, true, false},
        {"after the close box at 20", {false, true, H(22), B, E, 20, true}, 21, true, false},
        {"after its dialog went", {false, true, H(22), B, E, 20, false}, 21, false, false},
        {"at the limit", {false, true, H(22), B, E, 60, true}, 61, true, true},
        {"after the power-off request", {true, true, H(22), B, E, 61, false}, 61, false, false},
    };
    for (const Case& c : cases) {
        const TickStep step = ResumeTick(c.state);
        EXPECT_EQ(step.countdown, c.countdown) << c.what;
        EXPECT_EQ(step.showSecondsLeft, c.secondsLeft) << c.what;
        EXPECT_EQ(step.powerOff, c.powerOff) << c.what;
        EXPECT_EQ(step.caption, Caption::Unchanged) << c.what;
        EXPECT_FALSE(step.openDialog || step.closeDialog) << c.what;
    }
}

}  // namespace
}  // namespace pwg
