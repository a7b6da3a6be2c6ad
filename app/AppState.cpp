#include "app/AppState.h"

#include "dialogs/U3_psw.h"
#include "enforcement/u0_shutThread.h"

namespace pwg {

AppState& State() {
    static AppState state;
    return state;
}

void ResetState() {
    AppState& s = State();
    s.enforcementWorker.reset();
    s = AppState{};
}

}  // namespace pwg
