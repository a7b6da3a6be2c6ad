// The service's decisions as tables: which sessions are served at its start,
// and each session's next step for every event in every phase.
#include "service/SessionRules.h"

#include <gtest/gtest.h>

#include <ostream>

#include "tests/support/Table.h"

namespace pwg {
namespace {

struct ServedRow {
    const char* name;
    std::vector<SessionInfo> listed;
    std::optional<SessionInfo> console;
    std::vector<uint32_t> served;
};
std::ostream& operator<<(std::ostream& out, const ServedRow& row) { return out << row.name; }

class ServedAtTheStart : public ::testing::TestWithParam<ServedRow> {};

TEST_P(ServedAtTheStart, AreTheSessionsWithAUser) {
    EXPECT_EQ(SessionsToServe(GetParam().listed, GetParam().console), GetParam().served);
}

INSTANTIATE_TEST_SUITE_P(Sessions, ServedAtTheStart, ::testing::Values(
    ServedRow{"OnlyThoseWithAUser", {{0, false}, {1, true}, {2, false}, {3, true}}, SessionInfo{1, true}, {1, 3}},
    ServedRow{"NobodyLoggedOnYet", {{0, false}, {1, false}}, SessionInfo{1, false}, {}},
    ServedRow{"AListIsBelievedOverTheConsole", {{0, false}, {2, true}}, SessionInfo{1, true}, {2}},
    ServedRow{"NoListTheConsoleWithAUser", {}, SessionInfo{1, true}, {1}},
    ServedRow{"NoListNobodyAtTheConsole", {}, SessionInfo{1, false}, {}},
    ServedRow{"NoListNoConsole", {}, std::nullopt, {}}),
    test::RowName);

constexpr SessionState S(Phase phase, int quickEnds = 0, uint64_t at = 0) { return {phase, quickEnds, at}; }
constexpr Event E(EventKind kind, uint64_t now = 0, uint32_t exitCode = 0) { return {kind, now, exitCode}; }

struct StepRow {
    const char* name;
    SessionState state;
    Event event;
    SessionState next;
    Act act;
};
std::ostream& operator<<(std::ostream& out, const StepRow& row) { return out << row.name; }

class NextStep : public ::testing::TestWithParam<StepRow> {};

TEST_P(NextStep, FollowsTheEvent) {
    const Step step = Next(GetParam().state, GetParam().event);
    EXPECT_EQ(step.next, GetParam().next);
    EXPECT_EQ(step.act, GetParam().act);
}

using enum Phase;
using enum EventKind;
using R = StepRow;
constexpr uint32_t kCrash = 0xC0000005;
constexpr Act kNone = Act::None, kStart = Act::Start, kWait = Act::Wait, kGiveUp = Act::GiveUp,
              kFinished = Act::Finished;

INSTANTIATE_TEST_SUITE_P(Sessions, NextStep, ::testing::Values(
    //  name                         state                 event                    next                  act
    R{"ALogOnStartsOne",             S(Idle),              E(Serve),                S(Idle),              kStart},
    R{"ALogOnLiftsAGiveUp",          S(GivenUp, 5),        E(Serve),                S(Idle),              kStart},
    R{"ALogOnCutsAWaitShort",        S(Waiting, 2, 5000),  E(Serve, 4000),          S(Idle),              kStart},
    R{"ALogOnWhereOneRuns",          S(Running, 1, 100),   E(Serve),                S(Running, 1, 100),   kNone},
    R{"ALogOnWhileTheOldOneLeaves",  S(Leaving, 0, 100),   E(Serve),                S(Replacing, 0, 100), kNone},
    R{"ALogOffWhileItRuns",          S(Running, 2, 100),   E(LogOff),               S(Leaving, 0, 100),   kNone},
    R{"ALogOffStopsAWait",           S(Waiting, 1, 5000),  E(LogOff),               S(Idle),              kNone},
    R{"StartedItRuns",               S(Idle, 3),           E(Started, 7000),        S(Running, 3, 7000),  kNone},
    R{"AFailedStartIsTriedLater",    S(Idle),              E(StartFailed, 1000),    S(Waiting, 1, 3000),  kWait},
    R{"TheFifthFailedStartGivesUp",  S(Idle, 4),           E(StartFailed, 1000),    S(GivenUp, 5),        kGiveUp},
    R{"AnUnsafePlaceIsNeverRetried", S(Idle),              E(Refused),              S(GivenUp),           kNone},
    R{"ExitCodeZeroIsTheEnd",        S(Running, 2, 0),     E(Ended, 100, 0),        S(Idle),              kFinished},
    R{"AnEndFromOutside",            S(Running, 0, 1000),  E(Ended, 1500, 1),       S(Waiting, 1, 3500),  kWait},
    R{"TheFifthQuickEndInARow",      S(Running, 4, 1000),  E(Ended, 60999, 1),      S(GivenUp, 5),        kGiveUp},
    R{"AnEndAfterALongRun",          S(Running, 4, 1000),  E(Ended, 61000, kCrash), S(Waiting, 0, 63000), kWait},
    R{"TheEndOfALeavingProgram",     S(Leaving, 0, 100),   E(Ended, 200, 1),        S(Idle),              kNone},
    R{"TheEndOfAReplacedOne",        S(Replacing, 0, 100), E(Ended, 200, 0),        S(Idle),              kStart},
    R{"AnEndOfNoProgramOfOurs",      S(GivenUp, 5),        E(Ended, 200, 1),        S(GivenUp, 5),        kNone},
    R{"TheRestartComesWhenDue",      S(Waiting, 2, 3000),  E(Time, 3000),           S(Idle, 2),           kStart},
    R{"NotBefore",                   S(Waiting, 2, 3000),  E(Time, 2999),           S(Waiting, 2, 3000),  kNone}),
    test::RowName);

}  // namespace
}  // namespace pwg
