#pragma once
// The network time client behind GetTime.dll's two exports.
#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "gettime/Sntp.h"

namespace gettime {

// The one mode there is: the server list below.
inline constexpr int32_t kServerListMode = 6;

// An administrator may replace the built-in servers with a value under
// HKEY_LOCAL_MACHINE (its 64-bit view, so the 32-bit and 64-bit builds read the
// same place). REG_SZ or REG_MULTI_SZ; entries as ParseServerList reads them.
inline constexpr char kServerListKey[] = "SOFTWARE\\GetTime";
inline constexpr char kServerListValue[] = "Servers";
inline constexpr char kBuiltInServers[] = "ntp.aliyun.com ntp.tencent.com time.windows.com";
// The administrator's list when it has a usable entry, else the built-in one.
std::vector<ServerName> ReadServerList();

// Bounds of one call, on the monotonic clock. The whole call stays under the
// promised second with room for the thread to be scheduled late.
inline constexpr int64_t kMillisecond = kNsPerSecond / 1000;
inline constexpr int64_t kCallBudget = 900 * kMillisecond;
inline constexpr int64_t kReplyWait = 500 * kMillisecond;   // per server asked
inline constexpr int64_t kLookupWait = 400 * kMillisecond;  // for a name when no address is known yet
// Names are looked up again in the background after this...
inline constexpr int64_t kAddressLifetime = 3600 * kNsPerSecond;
// ...or this long after a lookup found nothing.
inline constexpr int64_t kLookupRetry = 60 * kNsPerSecond;

// Times before the library was built, or more than kYearsAfterBuild years
// after that day, are wrong whoever says them.
inline constexpr unsigned kYearsAfterBuild = 20;
extern const uint32_t kEarliestTime;
extern const uint32_t kLatestTime;

// QueryPerformanceCounter in nanoseconds: steady, and not moved by setting the clock.
int64_t MonotonicNow();

// One address of a server, as a socket connects to it.
struct Address {
    sockaddr_storage storage{};
    int length = 0;
};
// A server name's addresses, at most four, as the system's resolver gives them.
std::vector<Address> LookUp(const ServerName& name);
using LookUpFunction = std::function<std::vector<Address>(const ServerName&)>;

// The system clock (UTC) in Windows ticks, 100 ns since 1601-01-01.
uint64_t ReadSystemClock();
// The system clock, read and set. Tests pass their own: the real setter would
// move the host's clock (under Wine it never does).
struct SystemClock {
    std::function<uint64_t()> read = ReadSystemClock;
    std::function<BOOL(const SYSTEMTIME*)> set = &::SetSystemTime;
};

class TimeClient {
public:
    // Tests pass clocks they can move ahead, and a lookup that gives a name
    // the addresses they need. The lookup runs on a thread of its own, which
    // may outlive the client.
    explicit TimeClient(std::function<int64_t()> monotonic = MonotonicNow, SystemClock systemClock = {},
                        LookUpFunction lookUp = LookUp);
    ~TimeClient();
    TimeClient(const TimeClient&) = delete;
    TimeClient& operator=(const TimeClient&) = delete;

    // Seconds since 1970 UTC into *value. Answers from the last good sample
    // while it is younger than kMaxSampleAge, else asks the servers in list
    // order; a reply that the last good sample holds back (see Agree) is
    // taken only when another server's reply in the same call agrees with
    // it. A sample that a sleep may have stalled (see Stalled; the witness is
    // the system clock less the client's own steps of it) is dropped first.
    // False for another mode, a null value, no good reply within the bound,
    // or a call while another, or SetClock, is running on another thread.
    bool GetTime(int32_t mode, uint32_t* value);

    // SetSystemClock with the client's system clock, keeping the step out of
    // the witness. Refused, and the sample dropped, while a sleep may have
    // stalled the sample: the time to set came from it.
    bool SetClock(uint32_t unixTime);

private:
    struct Server;
    struct Answer;
    void UseServers(std::vector<ServerName> names);
    void FindAddresses(int64_t now, int64_t waitUntil);
    std::optional<Answer> Ask(Server& server, int64_t until);
    int64_t Witness() const;
    bool SampleStalled(int64_t now) const;

    std::function<int64_t()> monotonic_;
    SystemClock systemClock_;
    LookUpFunction lookUp_;
    uint64_t witnessBase_;
    int64_t ownSteps_ = 0;  // nanoseconds by which the client's own settings moved the system clock
    std::mutex busy_;
    bool winsockStarted_ = false;
    std::vector<Server> servers_;
    std::optional<Sample> sample_;
};

// Sets the system clock to `unixTime`, with the system-time privilege enabled
// for the call, unless it is within kClockTolerance of that already. Refuses
// times outside kEarliestTime..kLatestTime. The step made, in Windows ticks
// (0 when the clock was left alone), or nothing when refused or failed.
std::optional<int64_t> SetSystemClock(uint32_t unixTime, const SystemClock& clock = {});

}  // namespace gettime
