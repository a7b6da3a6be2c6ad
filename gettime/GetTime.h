#pragma once
// GetTime.dll: network time for pw_gate.
#include <cstdint>
#ifdef GETTIME_BUILD
// GetTime.def alone names the exports, so the 32-bit build exports no @N aliases.
#define GETTIME_API extern "C"
#else
#define GETTIME_API extern "C" __declspec(dllimport)
#endif
GETTIME_API unsigned char __stdcall GetTimeFromServer(int32_t mode, uint32_t* value);
GETTIME_API void __stdcall UpdateSysTime(uint32_t value);
