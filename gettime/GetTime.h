#pragma once
// GetTime.dll: the time of day from network time servers (SNTP, RFC 4330),
// for programs that must not trust the system clock, and setting the system
// clock from it. Both functions are stdcall and exported under these plain
// names in the 32-bit and the 64-bit build.
//
// The time value is seconds since 1970-01-01 00:00:00 UTC, unsigned 32-bit:
// it runs until 2106-02-07 06:28:15 and is right across the NTP era change of
// 2036-02-07 06:28:16. Values are rounded to the nearest second.
#include <cstdint>
#ifdef GETTIME_BUILD
// GetTime.def alone names the exports, so the 32-bit build exports no @N aliases.
#define GETTIME_API extern "C"
#else
#define GETTIME_API extern "C" __declspec(dllimport)
#endif

// Mode 6 asks the built-in servers, or the list an administrator put in
// HKEY_LOCAL_MACHINE\SOFTWARE\GetTime, value "Servers" (REG_SZ or
// REG_MULTI_SZ: "host" or "host:port" entries separated by blanks, commas,
// semicolons or NULs; the 64-bit registry view). Any other mode returns 0.
//
// Returns non-zero with the time in *value, or 0 with *value untouched.
// Only times from the day the library was built to 20 years after that day
// are ever returned. Once a call has returned a server's time, a reply that
// differs by more than 5 minutes from that time advanced on the monotonic
// clock is refused unless another server's reply in the same call agrees with
// it within 5 minutes; a time returned more than 24 hours ago (monotonic)
// holds no reply back.
// Always returns within one second, whatever the servers and the name
// resolution do; a first call made before any server name has been resolved
// may return 0 at once. A name's addresses are asked in turn; one this
// machine cannot open or connect (IPv6 on an IPv4-only machine) is passed
// over within the call. Between real requests a call is answered from the
// last good reply advanced by a monotonic clock that setting the system clock
// does not move; a reply older than 1024 s is not used, and a call that then
// gets no good reply returns 0. That clock may stand still while the machine
// sleeps, so each good reply is kept with a reading of the system clock,
// which counts sleep (the library's own settings of it aside): once the
// system clock has run ahead of the monotonic clock since by more than 2 s,
// or a thousandth of the reply's age, the reply is forgotten as if the
// library had just been loaded. It answers no call and holds no reply back,
// and the next good reply is believed. (The system clock set forward by
// anyone else looks the same, and costs a request.) No server is asked more
// often than every 16 s; one that fails is left alone for 64 s, doubling up
// to 1024 s, and one that answers "RATE" for 1024 s; one that answers "DENY"
// or "RSTR" is never asked again while the library is loaded. A call made
// while another, or UpdateSysTime, is running on another thread returns 0 at
// once.
GETTIME_API unsigned char __stdcall GetTimeFromServer(int32_t mode, uint32_t* value);

// Sets the system clock to `value`, enabling the process's system-time
// privilege for the call, when the clock is more than a second away from it;
// a clock that close is left alone (a value is a whole second, so setting it
// would step a right clock by up to half a second, against the Windows time
// service, and log an event where changes of the system time are audited).
// Values before the day the library was built, or more than 20 years after
// it, are refused and leave the clock alone; so is any value while the last
// good reply may have been stalled by a sleep (above), since a value from
// GetTimeFromServer comes from that reply and would set the clock back by the
// time asleep: the reply is forgotten and the next call asks the servers.
// Waits for a GetTimeFromServer running on another thread.
GETTIME_API void __stdcall UpdateSysTime(uint32_t value);
