#define GETTIME_BUILD
#include "gettime/GetTime.h"

#include "gettime/TimeClient.h"

namespace {

// Made by the first call of either function; its state (last sample,
// addresses, back-off, its own steps of the clock) lives until the library is
// unloaded.
gettime::TimeClient& Client() {
    static gettime::TimeClient client;
    return client;
}

}  // namespace

GETTIME_API unsigned char __stdcall GetTimeFromServer(int32_t mode, uint32_t* value) {
    return Client().GetTime(mode, value) ? 1 : 0;
}

GETTIME_API void __stdcall UpdateSysTime(uint32_t value) { Client().SetClock(value); }
