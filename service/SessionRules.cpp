#include "service/SessionRules.h"

namespace pwg {
namespace {

// A failed start or a quick end: again after the delay, or no more.
Step CountQuickEnd(int quickEnds, uint64_t now) {
    if (quickEnds >= kQuickEndsToGiveUp) return {{Phase::GivenUp, quickEnds, 0}, Act::GiveUp};
    return {{Phase::Waiting, quickEnds, now + kRestartDelayMs}, Act::Wait};
}

}  // namespace

std::vector<uint32_t> SessionsToServe(const std::vector<SessionInfo>& listed, std::optional<SessionInfo> console) {
    std::vector<uint32_t> served;
    if (listed.empty() && console && console->userLoggedOn) served.push_back(console->id);
    for (const SessionInfo& session : listed)
        if (session.userLoggedOn) served.push_back(session.id);
    return served;
}

Step Next(const SessionState& state, const Event& event) {
    const Step unchanged{state, Act::None};
    switch (event.kind) {
        case EventKind::Serve:
            switch (state.phase) {
                case Phase::Running:
                case Phase::Replacing:
                    return unchanged;
                case Phase::Leaving:
                    return {{Phase::Replacing, 0, state.at}, Act::None};
                default:  // a log-on or connect lifts a give-up
                    return {{}, Act::Start};
            }
        case EventKind::LogOff:
            if (state.phase == Phase::Running || state.phase == Phase::Replacing)
                return {{Phase::Leaving, 0, state.at}, Act::None};
            return {{}, Act::None};
        case EventKind::Started:
            return {{Phase::Running, state.quickEnds, event.now}, Act::None};
        case EventKind::StartFailed:
            return CountQuickEnd(state.quickEnds + 1, event.now);
        case EventKind::Refused:
            // The place stays unsafe until someone mends it: no retries.
            return {{Phase::GivenUp, state.quickEnds, 0}, Act::None};
        case EventKind::Ended:
            switch (state.phase) {
                case Phase::Leaving:
                    return {{}, Act::None};
                case Phase::Replacing:
                    return {{}, Act::Start};
                case Phase::Running:
                    if (event.exitCode == 0) return {{}, Act::Finished};
                    return CountQuickEnd(event.now - state.at < kQuickRunMs ? state.quickEnds + 1 : 0, event.now);
                default:  // no program of ours
                    return unchanged;
            }
        case EventKind::Time:
            if (state.phase == Phase::Waiting && event.now >= state.at)
                return {{Phase::Idle, state.quickEnds, 0}, Act::Start};
            return unchanged;
    }
    return unchanged;
}

}  // namespace pwg
