#include "enforcement/Lock.h"

#include "app/AppState.h"
#include "app/Settings.h"

namespace pwg {

void Lock() {
    AppState& state = State();
    state.locked = true;
    state.countdown = 0;
    settings::StoreLock();
}

void Unlock() {
    AppState& state = State();
    state.locked = false;
    state.countdown = 0;
    settings::StoreLock();
}

}  // namespace pwg
