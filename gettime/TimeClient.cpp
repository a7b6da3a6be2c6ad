#include "gettime/TimeClient.h"

#include <mswsock.h>
#include <ws2tcpip.h>
// After the socket headers, which must come before windows.h.
#include <ntsecapi.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "gettime/WinHandles.h"

namespace gettime {

const uint32_t kEarliestTime = UnixFromCompilerDate(__DATE__);
const uint32_t kLatestTime = UnixFromCompilerDate(__DATE__, kYearsAfterBuild);
static_assert(kYearsAfterBuild == 20 && kMaxDisagreement == 300 * kNtpSecond &&
                  kReferenceLifetime == 86400 * kNsPerSecond,
              "GetTime.h promises these to the library's users");

namespace {

std::vector<Address> Resolve(const ServerName& name, int flags) {
    addrinfo hints{};
    hints.ai_flags = flags;
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_protocol = IPPROTO_UDP;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.host.c_str(), std::to_string(name.port).c_str(), &hints, &found) != 0) return {};
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, &freeaddrinfo);
    std::vector<Address> addresses;
    for (const addrinfo* a = found; a != nullptr && addresses.size() < 4; a = a->ai_next) {
        if (a->ai_addrlen > sizeof(sockaddr_storage)) continue;
        Address& address = addresses.emplace_back();
        std::memcpy(&address.storage, a->ai_addr, a->ai_addrlen);
        address.length = static_cast<int>(a->ai_addrlen);
    }
    return addresses;
}

// One name lookup on a thread of its own, so that a slow or hanging resolver
// never holds up a caller. The thread and the client share it.
struct Lookup {
    ServerName name;
    LookUpFunction lookUp;
    Handle done{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    std::vector<Address> addresses;  // written before `done` is set, read after
};

struct LookupStart {
    std::shared_ptr<Lookup> lookup;
    HMODULE module;  // keeps this code loaded until the thread has left it
};

DWORD WINAPI LookupThread(void* parameter) {
    HMODULE module;
    {
        const std::unique_ptr<LookupStart> start(static_cast<LookupStart*>(parameter));
        module = start->module;
        const WinsockSession winsock;
        if (winsock.ok()) start->lookup->addresses = start->lookup->lookUp(start->lookup->name);
        SetEvent(start->lookup->done.get());
    }
    // The library may have been unloaded by everyone else meanwhile: this
    // drops the last reference without returning into unmapped code.
    FreeLibraryAndExitThread(module, 0);
}

std::shared_ptr<Lookup> StartLookup(const ServerName& name, const LookUpFunction& lookUp) {
    auto lookup = std::make_shared<Lookup>();
    lookup->name = name;
    lookup->lookUp = lookUp;
    HMODULE module;
    if (!lookup->done || !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                             reinterpret_cast<LPCSTR>(&LookupThread), &module))
        return nullptr;
    auto start = std::make_unique<LookupStart>(LookupStart{lookup, module});
    const Handle thread(CreateThread(nullptr, 0, &LookupThread, start.get(), 0, nullptr));
    if (!thread) {
        FreeLibrary(module);
        return nullptr;
    }
    start.release();  // the thread owns it now
    return lookup;
}

// A UDP socket connected to `to`, or none when this machine cannot open one
// for its family or connect it there.
UniqueSocket ConnectedTo(const Address& to) {
    UniqueSocket opened(::socket(to.storage.ss_family, SOCK_DGRAM, IPPROTO_UDP));
    if (!opened) return {};
    // Windows would otherwise fail the next receive after an ICMP port
    // unreachable; a missing listener is just a server that does not answer.
    BOOL report = FALSE;
    DWORD bytes = 0;
    WSAIoctl(opened.get(), SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &bytes, nullptr, nullptr);
    // Connected, so the stack drops datagrams from any other address or
    // port. Late replies to earlier requests that wait in it fail the
    // originate check.
    if (connect(opened.get(), reinterpret_cast<const sockaddr*>(&to.storage), to.length) != 0) return {};
    return opened;
}

}  // namespace

std::vector<Address> LookUp(const ServerName& name) { return Resolve(name, 0); }

int64_t MonotonicNow() {
    static const int64_t frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return count.QuadPart / frequency * kNsPerSecond + count.QuadPart % frequency * kNsPerSecond / frequency;
}

std::vector<ServerName> ReadServerList() {
    RegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, kServerListKey, KEY_QUERY_VALUE | KEY_WOW64_64KEY) == ERROR_SUCCESS) {
        char text[2048];
        DWORD type = 0, size = sizeof text;
        if (RegQueryValueExA(key.get(), kServerListValue, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) ==
                ERROR_SUCCESS &&
            (type == REG_SZ || type == REG_MULTI_SZ)) {
            std::vector<ServerName> servers = ParseServerList(std::string_view(text, size));
            if (!servers.empty()) return servers;
        }
    }
    return ParseServerList(kBuiltInServers);
}

struct TimeClient::Server {
    ServerName name;
    bool numeric = false;  // an address literal: never looked up
    std::vector<Address> addresses;
    size_t next = 0;  // the address to ask next; moves on after a failure
    UniqueSocket socket;  // connected to addresses[next], kept between requests
    std::shared_ptr<Lookup> lookup;
    std::optional<int64_t> lookupDue;  // none: as soon as it is needed
    ServerCourtesy courtesy;

    bool Ready(int64_t now) const { return !addresses.empty() && courtesy.MayAsk(now); }

    // Takes in a finished lookup and starts one when the addresses are due.
    void Refresh(int64_t now, const LookUpFunction& lookUp) {
        if (lookup && WaitForSingleObject(lookup->done.get(), 0) == WAIT_OBJECT_0) {
            const bool found = !lookup->addresses.empty();
            if (found) {
                addresses = std::move(lookup->addresses);
                next = 0;
                socket = {};
            }
            lookupDue = now + (found ? kAddressLifetime : kLookupRetry);
            lookup.reset();
        }
        if (numeric || lookup || courtesy.Retired() || (lookupDue && now < *lookupDue)) return;
        lookup = StartLookup(name, lookUp);
        if (!lookup) lookupDue = now + kLookupRetry;
    }

    void MoveToNextAddress() {
        next = (next + 1) % addresses.size();
        socket = {};
    }

    // Connects the socket when it is not, moving on past addresses this
    // machine cannot use (an IPv6 one on an IPv4-only machine), each tried
    // once: one of them must not hide the others. The one that works stays.
    bool Connect() {
        for (size_t tried = 0; !socket && tried < addresses.size(); ++tried) {
            socket = ConnectedTo(addresses[next]);
            if (!socket) MoveToNextAddress();
        }
        return static_cast<bool>(socket);
    }
};

struct TimeClient::Answer {
    Outcome outcome;
    int64_t sentAt;
    Sample sample{};
};

TimeClient::TimeClient(std::function<int64_t()> monotonic, SystemClock systemClock, LookUpFunction lookUp)
    : monotonic_(std::move(monotonic)),
      systemClock_(std::move(systemClock)),
      lookUp_(std::move(lookUp)),
      witnessBase_(systemClock_.read()) {}
TimeClient::~TimeClient() = default;

bool TimeClient::GetTime(int32_t mode, uint32_t* value) {
    if (mode != kServerListMode || value == nullptr) return false;
    const std::unique_lock busy(busy_, std::try_to_lock);
    if (!busy) return false;

    const int64_t start = monotonic_();
    // As if the library had just been loaded: the next good reply is believed.
    if (SampleStalled(start)) sample_.reset();
    if (sample_) {
        if (const std::optional<uint32_t> time = UnixTimeFromSample(*sample_, start)) {
            *value = *time;
            return true;
        }
    }
    if (!winsockStarted_) {
        // Started once and never stopped: WSACleanup must not run while the
        // library unloads, and the process's end does it anyway.
        WSADATA data;
        winsockStarted_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
        if (!winsockStarted_) return false;
    }
    UseServers(ReadServerList());
    FindAddresses(start, start + kLookupWait);

    const int64_t deadline = start + kCallBudget;
    // Good replies of this call that the last good sample held back: a later
    // one that agrees with any of them is believed.
    std::vector<Sample> heldBack;
    for (Server& server : servers_) {
        const int64_t now = monotonic_();
        if (now >= deadline) break;
        if (!server.Ready(now)) continue;
        const std::optional<Answer> answer = Ask(server, std::min(deadline, now + kReplyWait));
        if (!answer) continue;
        server.courtesy.Record(answer->outcome, answer->sentAt);
        if (answer->outcome != Outcome::Good) {
            server.MoveToNextAddress();
            continue;
        }
        const Sample& reply = answer->sample;
        const bool believed = !sample_ || !HoldsBack(*sample_, reply.monotonic) || Agree(*sample_, reply) ||
                              std::any_of(heldBack.begin(), heldBack.end(),
                                          [&](const Sample& other) { return Agree(other, reply); });
        if (!believed) {
            heldBack.push_back(reply);
            continue;
        }
        sample_ = reply;
        *value = UnixFromNtp(sample_->serverTime);
        return true;
    }
    return false;
}

bool TimeClient::SetClock(uint32_t unixTime) {
    const std::lock_guard busy(busy_);
    if (SampleStalled(monotonic_())) {
        sample_.reset();
        return false;
    }
    const uint64_t before = systemClock_.read();
    const std::optional<int64_t> step = SetSystemClock(unixTime, systemClock_);
    // What the clock moved by, not what was asked: a setter may report
    // success and leave it (Wine does).
    if (step && *step != 0) ownSteps_ += static_cast<int64_t>(systemClock_.read() - before) * 100;
    return step.has_value();
}

// The system clock in nanoseconds since the client was made, less the steps
// the client itself made to it: a clock that counts sleep, which a standard
// user cannot set.
int64_t TimeClient::Witness() const {
    return static_cast<int64_t>(systemClock_.read() - witnessBase_) * 100 - ownSteps_;
}

bool TimeClient::SampleStalled(int64_t now) const { return sample_ && Stalled(*sample_, now, Witness()); }

void TimeClient::UseServers(std::vector<ServerName> names) {
    std::vector<Server> servers;
    for (ServerName& name : names) {
        const auto known =
            std::find_if(servers_.begin(), servers_.end(), [&](const Server& s) { return s.name == name; });
        if (known != servers_.end()) {
            servers.push_back(std::move(*known));
            servers_.erase(known);
            continue;
        }
        Server& server = servers.emplace_back();
        server.addresses = Resolve(name, AI_NUMERICHOST);
        server.numeric = !server.addresses.empty();
        server.name = std::move(name);
    }
    servers_ = std::move(servers);
}

void TimeClient::FindAddresses(int64_t now, int64_t waitUntil) {
    for (Server& server : servers_) server.Refresh(now, lookUp_);
    // With no server to ask yet, wait a while for the first lookup to finish.
    while (std::none_of(servers_.begin(), servers_.end(), [now](const Server& s) { return s.Ready(now); })) {
        std::vector<HANDLE> pending;
        for (const Server& server : servers_)
            if (server.lookup && server.courtesy.MayAsk(now)) pending.push_back(server.lookup->done.get());
        if (pending.empty() || now >= waitUntil) return;
        const auto ms = static_cast<DWORD>((waitUntil - now + kMillisecond - 1) / kMillisecond);
        WaitForMultipleObjects(static_cast<DWORD>(pending.size()), pending.data(), FALSE, ms);
        now = monotonic_();
        for (Server& server : servers_) server.Refresh(now, lookUp_);
    }
}

std::optional<TimeClient::Answer> TimeClient::Ask(Server& server, int64_t until) {
    NtpTime nonce = 0;
    // The system's random source in advapi32, loaded anyway: bcrypt would add
    // a DLL to a resident process, and under Wine a whole TLS library.
    while (nonce == 0)  // a zero transmit timestamp means "not set"
        if (!RtlGenRandom(&nonce, sizeof nonce)) return std::nullopt;
    if (!server.Connect()) return std::nullopt;
    const SOCKET socket = server.socket.get();

    const Packet request = MakeRequest(nonce);
    // T1 from the system clock, T4 = T1 + the monotonic round trip: a clock
    // moved meanwhile cannot bend the delay.
    const NtpTime t1 = NtpFromWindowsTicks(systemClock_.read());
    const int64_t sentAt = monotonic_();
    if (send(socket, reinterpret_cast<const char*>(request.data()), kPacketSize, 0) != kPacketSize)
        return Answer{Outcome::Failed, sentAt};

    uint8_t datagram[512];
    for (int64_t left; (left = until - monotonic_()) > 0;) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket, &readable);
        const int64_t us = (left + 999) / 1000;
        timeval timeout{static_cast<long>(us / 1000000), static_cast<long>(us % 1000000)};
        const int ready = select(0, &readable, nullptr, nullptr, &timeout);
        if (ready < 0) break;
        if (ready == 0) continue;
        const int received = recv(socket, reinterpret_cast<char*>(datagram), sizeof datagram, 0);
        const int64_t receivedAt = monotonic_();
        if (received < 0) {
            if (WSAGetLastError() == WSAEMSGSIZE) continue;  // not an NTP reply
            break;
        }
        const NtpTime t4 = t1 + static_cast<NtpTime>(NtpSpanFromNanoseconds(receivedAt - sentAt));
        const ReplyCheck reply = CheckReply(std::span(datagram, static_cast<size_t>(received)), nonce, t1, t4,
                                            {kEarliestTime, kLatestTime});
        if (!AnswersRequest(reply.check)) continue;
        return Answer{OutcomeOf(reply.check), sentAt, Sample{reply.serverTimeAtT4, receivedAt, Witness()}};
    }
    return Answer{Outcome::Failed, sentAt};
}

uint64_t ReadSystemClock() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime;
}

std::optional<int64_t> SetSystemClock(uint32_t unixTime, const SystemClock& clock) {
    if (unixTime < kEarliestTime || unixTime > kLatestTime) return std::nullopt;
    const int64_t step = ClockStep(clock.read(), unixTime);
    if (step == 0) return 0;
    const uint64_t ticks = WindowsTicksFromUnix(unixTime);
    const FILETIME fileTime{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME systemTime;
    if (!FileTimeToSystemTime(&fileTime, &systemTime)) return std::nullopt;

    HANDLE opened;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &opened)) return std::nullopt;
    const Handle token(opened);
    TOKEN_PRIVILEGES enable{};
    enable.PrivilegeCount = 1;
    enable.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, SE_SYSTEMTIME_NAME, &enable.Privileges[0].Luid)) return std::nullopt;
    TOKEN_PRIVILEGES previous{};
    DWORD size = sizeof previous;
    // Succeeds with ERROR_NOT_ALL_ASSIGNED when the token lacks the privilege.
    if (!AdjustTokenPrivileges(token.get(), FALSE, &enable, sizeof previous, &previous, &size) ||
        GetLastError() != ERROR_SUCCESS)
        return std::nullopt;
    const bool done = clock.set(&systemTime) != FALSE;
    AdjustTokenPrivileges(token.get(), FALSE, &previous, 0, nullptr, nullptr);  // as it was before
    if (!done) return std::nullopt;
    return step;
}

}  // namespace gettime
