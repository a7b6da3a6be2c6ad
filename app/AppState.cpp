#include "app/AppState.h"

#include "dialogs/U3_psw.h"
#include "enforcement/u0_shutThread.h"

namespace pwg {

AppState& State() {
    static AppState state;
    return state;
}

void ResetState() {
    AppState& state = State();
    state.enforcementWorker.reset();
    state = AppState{};
}

}  // namespace pwg
