// GetTime's costs on this machine: a call that asks a loopback server against
// a raw UDP round trip to the same server, the longest a call blocks with a
// silent server and with a name that does not resolve, and a call answered
// from the sample. Run it with scripts/bench.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "FakeSntpServer.h"
#include "gettime/TimeClient.h"

using namespace gettime;

namespace {

constexpr uint32_t kServerTime = 1893456000u;

double Ms(int64_t ns) { return static_cast<double>(ns) / 1e6; }

int64_t Median(std::vector<int64_t> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <typename F>
int64_t Time(F&& f) {
    const int64_t start = MonotonicNow();
    f();
    return MonotonicNow() - start;
}

// The longest of a few first calls of new clients, which must ask.
int64_t WorstFirstCall(const std::string& servers) {
    const ServerListInRegistry list(servers);
    int64_t worst = 0;
    for (int i = 0; i < 3; ++i) {
        TimeClient client;
        uint32_t value;
        worst = std::max(worst, Time([&] { client.GetTime(kServerListMode, &value); }));
    }
    return worst;
}

}  // namespace

int main() {
    const WinsockSession winsock;
    FakeSntpServer server(kServerTime);

    // Raw: one request and its reply over a connected loopback socket.
    const UniqueSocket raw(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(server.Port());
    connect(raw.get(), reinterpret_cast<sockaddr*>(&to), sizeof to);
    const Packet request = MakeRequest(1);

    // Call: a client whose clock jumps past the sample's age before each
    // call, so that every call asks the server, as one does every 17 minutes.
    {
        const ServerListInRegistry list(server.Entry());
        int64_t skip = 0;
        TimeClient client([&skip] { return MonotonicNow() + skip; });
        uint32_t value = 0;
        const int64_t first = Time([&] { client.GetTime(kServerListMode, &value); });
        constexpr int kRounds = 500;
        std::vector<int64_t> rawTimes, callTimes;
        for (int i = 0; i < kRounds; ++i) {  // interleaved, so that both meet the same load
            rawTimes.push_back(Time([&] {
                char reply[512];
                send(raw.get(), reinterpret_cast<const char*>(request.data()), kPacketSize, 0);
                recv(raw.get(), reply, sizeof reply, 0);
            }));
            skip += kMaxSampleAge + kNsPerSecond;
            // The server's clock runs on with the client's, or the client
            // would rightly refuse a time that stood still.
            const uint32_t serverNow = kServerTime + static_cast<uint32_t>(skip / kNsPerSecond);
            server.SetTime(serverNow);
            bool ok = false;
            callTimes.push_back(Time([&] { ok = client.GetTime(kServerListMode, &value); }));
            if (!ok || value != serverNow) return std::printf("a call against the loopback server failed\n"), 1;
        }
        const int64_t rawMedian = Median(rawTimes), callMedian = Median(callTimes);
        std::printf("loopback, median of %d: raw UDP round trip %.3f ms, call asking the server %.3f ms "
                    "(%.2fx, target at most 2x); a new client's first call %.3f ms\n",
                    kRounds, Ms(rawMedian), Ms(callMedian),
                    static_cast<double>(callMedian) / static_cast<double>(rawMedian), Ms(first));
    }

    // Three silent servers use up the whole budget of a call.
    server.Set({{}});
    const std::string silent = server.Entry() + " 127.0.0.1:" + std::to_string(ClosedPort()) + " 127.0.0.1:" +
                               std::to_string(ClosedPort());
    std::printf("worst blocking of 3 calls, three silent servers: %.1f ms; a name that does not resolve: %.1f ms "
                "(target at most 1000 ms)\n",
                Ms(WorstFirstCall(silent)), Ms(WorstFirstCall("no-such-host.invalid")));

    server.Set({});
    const ServerListInRegistry list(server.Entry());
    TimeClient client;
    uint32_t value = 0;
    if (!client.GetTime(kServerListMode, &value)) return std::printf("warm-up call failed\n"), 1;
    constexpr int kCached = 1000000;
    const int64_t cached = Time([&] {
        for (int i = 0; i < kCached; ++i) client.GetTime(kServerListMode, &value);
    });
    std::printf("call answered from the sample: %.0f ns\n", static_cast<double>(cached) / kCached);
    return 0;
}
