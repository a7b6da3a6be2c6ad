#pragma once
// A real SNTP server on 127.0.0.1 for the tests and the benchmark: a UDP
// socket on a free port and a thread that answers each request as told.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ReplyBytes.h"
#include "gettime/WinHandles.h"

namespace gettime {

class FakeSntpServer {
public:
    // Turns the honest reply to one request into one datagram to send.
    using Shape = std::function<void(TestReply&)>;
    struct Behaviour {
        std::vector<Shape> datagrams{[](TestReply&) {}};  // none: silent
        int delayMs = 0;             // before the first datagram
        bool fromOtherPort = false;  // sent from a second socket
    };

    // Claims the time `unixTime` (whole seconds) in every honest reply.
    explicit FakeSntpServer(uint32_t unixTime);
    ~FakeSntpServer();

    void Set(Behaviour behaviour);
    void SetTime(uint32_t unixTime);
    uint16_t Port() const { return port_; }
    std::string Entry() const { return "127.0.0.1:" + std::to_string(port_); }
    int Requests() const { return requests_; }

private:
    void Serve();

    WinsockSession winsock_;
    uint16_t port_ = 0;  // before socket_, which sets it
    UniqueSocket socket_, other_;
    std::mutex lock_;
    Behaviour behaviour_;
    uint32_t time_;
    std::atomic<int> requests_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The administrator's server list in the real registry, removed again after.
class ServerListInRegistry {
public:
    explicit ServerListInRegistry(const std::string& text, DWORD type = REG_SZ);
    ~ServerListInRegistry();
};

// A loopback UDP port with nothing listening on it.
uint16_t ClosedPort();

}  // namespace gettime
