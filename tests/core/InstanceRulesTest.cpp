#include "core/InstanceRules.h"

#include <gtest/gtest.h>

namespace pwg {
namespace {

TEST(InstanceRules, AStartLeavesOnlyWhereTheServiceServesOrWouldServeBetter) {
    struct Case { const char* what; InstanceFacts facts; bool leaves; };
    const Case cases[] = {
        {"started by the service, even where a mark says served", {true, true, true, false}, false},
        {"the service's program runs in the session", {false, true, true, true}, true},
        {"without administrator rights, where the service is installed", {false, false, true, false}, true},
        {"an administrator's start where the service runs none", {false, false, true, true}, false},
        {"no service: every start stays, as ever", {false, false, false, false}, false},
    };
    for (const Case& c : cases) EXPECT_EQ(LeavesToTheService(c.facts), c.leaves) << c.what;
}

}  // namespace
}  // namespace pwg
