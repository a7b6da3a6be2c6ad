#include "FakeSntpServer.h"

#include <ws2tcpip.h>

#include <chrono>
#include <stdexcept>

#include "gettime/Sntp.h"
#include "gettime/TimeClient.h"

namespace gettime {
namespace {

UniqueSocket BoundToLoopback(uint16_t* port) {
    UniqueSocket s(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (!s || bind(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(s.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot bind a loopback UDP socket");
    if (port) *port = ntohs(address.sin_port);
    return s;
}

}  // namespace

FakeSntpServer::FakeSntpServer(uint32_t unixTime)
    : socket_(BoundToLoopback(&port_)), other_(BoundToLoopback(nullptr)), time_(unixTime) {
    thread_ = std::thread([this] { Serve(); });
}

FakeSntpServer::~FakeSntpServer() {
    stop_ = true;
    thread_.join();
}

void FakeSntpServer::Set(Behaviour behaviour) {
    const std::lock_guard hold(lock_);
    behaviour_ = std::move(behaviour);
}

void FakeSntpServer::SetTime(uint32_t unixTime) {
    const std::lock_guard hold(lock_);
    time_ = unixTime;
}

void FakeSntpServer::Serve() {
    while (!stop_) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket_.get(), &readable);
        timeval poll{0, 20000};  // to notice stop_
        if (select(0, &readable, nullptr, nullptr, &poll) <= 0) continue;
        uint8_t request[512];
        sockaddr_storage from{};
        int fromLength = sizeof from;
        const int received = recvfrom(socket_.get(), reinterpret_cast<char*>(request), sizeof request, 0,
                                      reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (received < 48) continue;
        ++requests_;

        Behaviour behaviour;
        TestReply honest;
        {
            const std::lock_guard hold(lock_);
            behaviour = behaviour_;
            honest.receive = honest.transmit = NtpTime{NtpSecondsFromUnix(time_)} << 32;
        }
        for (int i = 0; i < 8; ++i) honest.originate = honest.originate << 8 | request[40 + i];
        if (behaviour.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(behaviour.delayMs));
        for (const Shape& shape : behaviour.datagrams) {
            TestReply reply = honest;
            shape(reply);
            const std::vector<uint8_t> bytes = reply.Bytes();
            sendto((behaviour.fromOtherPort ? other_ : socket_).get(), reinterpret_cast<const char*>(bytes.data()),
                   static_cast<int>(bytes.size()), 0, reinterpret_cast<sockaddr*>(&from), fromLength);
        }
    }
}

ServerListInRegistry::ServerListInRegistry(const std::string& text, DWORD type) {
    RegKey key;
    if (key.Create(HKEY_LOCAL_MACHINE, kServerListKey, KEY_SET_VALUE | KEY_WOW64_64KEY) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create the server list key");
    // A REG_MULTI_SZ ends with an empty string: text.c_str() supplies one NUL, the size one more.
    const DWORD size = static_cast<DWORD>(text.size() + (type == REG_MULTI_SZ ? 2 : 1));
    const std::string data = text + '\0';
    if (RegSetValueExA(key.get(), kServerListValue, 0, type, reinterpret_cast<const BYTE*>(data.c_str()), size) !=
        ERROR_SUCCESS)
        throw std::runtime_error("cannot write the server list");
}

ServerListInRegistry::~ServerListInRegistry() {
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kServerListKey, KEY_WOW64_64KEY, 0);
}

uint16_t ClosedPort() {
    const WinsockSession winsock;
    uint16_t port = 0;
    BoundToLoopback(&port);  // closed again at once
    return port;
}

}  // namespace gettime
