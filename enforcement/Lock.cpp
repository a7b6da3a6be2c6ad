#include "enforcement/Lock.h"

#include "app/AppState.h"

namespace pwg {

void Lock() {
    AppState& state = State();
    state.locked = true;
    state.countdown = 0;
}

void Unlock() {
    AppState& state = State();
    state.locked = false;
    state.countdown = 0;
}

}  // namespace pwg
