#pragma once
// A server reply laid out by hand from RFC 4330's figure, not by the library,
// so that the library's own reading of the fields is what the tests check.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace gettime {

struct TestReply {
    unsigned leap = 0, version = 4, mode = 4, stratum = 2;
    uint32_t rootDelay = 0, rootDispersion = 0;  // 16.16 seconds
    char referenceId[5] = "GPS\0";
    uint64_t originate = 0, receive = 0, transmit = 0;  // 32.32 NTP timestamps
    size_t size = 48;

    // A kiss-o'-death: stratum 0 with the code in the reference identifier.
    void Kiss(const char* code) {
        leap = 3;
        stratum = 0;
        std::memcpy(referenceId, code, 4);
    }

    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> b(std::max<size_t>(size, 48));
        auto put = [&b](size_t at, uint64_t v, size_t n) {
            for (size_t i = 0; i < n; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * (n - 1 - i)));
        };
        b[0] = static_cast<uint8_t>(leap << 6 | version << 3 | mode);
        b[1] = static_cast<uint8_t>(stratum);
        put(4, rootDelay, 4);
        put(8, rootDispersion, 4);
        for (int i = 0; i < 4; ++i) b[12 + i] = static_cast<uint8_t>(referenceId[i]);
        put(24, originate, 8);
        put(32, receive, 8);
        put(40, transmit, 8);
        b.resize(size);
        return b;
    }
};

}  // namespace gettime
