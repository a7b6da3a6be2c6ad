#include "app/AppState.h"

#include "enforcement/u0_shutThread.h"

namespace pwg {

AppState& State() {
    static AppState state;
    return state;
}

}  // namespace pwg
