#define GETTIME_BUILD
#include "gettime/GetTime.h"

GETTIME_API unsigned char __stdcall GetTimeFromServer(int32_t, uint32_t*) { return 0; }
GETTIME_API void __stdcall UpdateSysTime(uint32_t) {}
