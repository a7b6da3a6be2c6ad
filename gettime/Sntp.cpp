#include "gettime/Sntp.h"

#include <algorithm>

namespace gettime {
namespace {

// Byte offsets of the NTP header fields.
constexpr size_t kStratumAt = 1;
constexpr size_t kRootDelayAt = 4;
constexpr size_t kRootDispersionAt = 8;
constexpr size_t kReferenceIdAt = 12;
constexpr size_t kOriginateAt = 24;
constexpr size_t kReceiveAt = 32;
constexpr size_t kTransmitAt = 40;

uint64_t ReadBigEndian(std::span<const uint8_t> bytes, size_t at, size_t size) {
    uint64_t v = 0;
    for (size_t i = 0; i < size; ++i) v = v << 8 | bytes[at + i];
    return v;
}

// Seconds from 1601-01-01 (Windows) to 1900-01-01 (NTP).
constexpr uint64_t kNtpEpochInWindowsSeconds = 9435484800u;
constexpr uint64_t kWindowsTicksPerSecond = 10000000u;

}  // namespace

NtpTime NtpFromWindowsTicks(uint64_t ticks) {
    const uint64_t seconds = ticks / kWindowsTicksPerSecond - kNtpEpochInWindowsSeconds;
    const uint64_t fraction = (ticks % kWindowsTicksPerSecond << 32) / kWindowsTicksPerSecond;
    return seconds << 32 | fraction;
}

NtpSpan NtpSpanFromNanoseconds(int64_t ns) {
    return (ns / kNsPerSecond << 32) + (ns % kNsPerSecond << 32) / kNsPerSecond;
}

Packet MakeRequest(NtpTime nonce) {
    Packet p{};
    p[0] = 0 << 6 | 4 << 3 | 3;  // no leap warning, version 4, client
    for (size_t i = 0; i < 8; ++i) p[kTransmitAt + i] = static_cast<uint8_t>(nonce >> (56 - 8 * i));
    return p;
}

Exchange Measure(NtpTime t1, NtpTime t2, NtpTime t3, NtpTime t4) {
    const auto there = static_cast<NtpSpan>(t2 - t1);
    const auto back = static_cast<NtpSpan>(t3 - t4);
    return {there / 2 + back / 2, static_cast<NtpSpan>(t4 - t1) - static_cast<NtpSpan>(t3 - t2)};
}

ReplyCheck CheckReply(std::span<const uint8_t> datagram, NtpTime nonce, NtpTime t1, NtpTime t4, TimeBounds bounds) {
    if (datagram.size() < kPacketSize) return {Check::WrongLength};
    if (ReadBigEndian(datagram, kOriginateAt, 8) != nonce) return {Check::NotOurRequest};

    const unsigned leap = datagram[0] >> 6, version = datagram[0] >> 3 & 7, mode = datagram[0] & 7;
    const unsigned stratum = datagram[kStratumAt];
    if (mode != 4) return {Check::WrongMode};
    if (version != 3 && version != 4) return {Check::WrongVersion};
    if (stratum == 0) {
        const auto code = std::string_view(reinterpret_cast<const char*>(&datagram[kReferenceIdAt]), 4);
        if (code == "RATE") return {Check::KissRate};
        if (code == "DENY" || code == "RSTR") return {Check::KissDeny};
        return {Check::KissOther};
    }
    if (leap == 3) return {Check::Unsynchronised};
    if (stratum > 15) return {Check::BadStratum};

    const NtpTime t2 = ReadBigEndian(datagram, kReceiveAt, 8), t3 = ReadBigEndian(datagram, kTransmitAt, 8);
    if (t2 == 0 || t3 == 0) return {Check::ZeroTimestamp};
    if (static_cast<NtpSpan>(t3 - t2) < 0) return {Check::ReceiveAfterTransmit};
    const Exchange exchange = Measure(t1, t2, t3, t4);
    if (exchange.delay < 0) return {Check::NegativeDelay};
    // Root delay and dispersion are unsigned 16.16 seconds.
    const NtpSpan rootDelay = static_cast<NtpSpan>(ReadBigEndian(datagram, kRootDelayAt, 4) << 16);
    const NtpSpan rootDispersion = static_cast<NtpSpan>(ReadBigEndian(datagram, kRootDispersionAt, 4) << 16);
    if (rootDelay / 2 + rootDispersion + exchange.delay / 2 > kMaxRootDistance) return {Check::TooFarFromRoot};

    const NtpTime serverTime = t4 + static_cast<NtpTime>(exchange.offset);
    const uint32_t unix = UnixFromNtp(serverTime);
    if (unix < bounds.earliest) return {Check::TooEarly};
    if (unix > bounds.latest) return {Check::TooLate};
    return {Check::Good, serverTime};
}

Outcome OutcomeOf(Check c) {
    switch (c) {
        case Check::Good: return Outcome::Good;
        case Check::KissRate: return Outcome::Rate;
        case Check::KissDeny: return Outcome::Deny;
        default: return Outcome::Failed;
    }
}

void ServerCourtesy::Record(Outcome outcome, int64_t sentAt) {
    asked_ = true;
    switch (outcome) {
        case Outcome::Good:
            backoff_ = kFirstBackoff;
            nextAllowed_ = sentAt + kMinPollInterval;
            break;
        case Outcome::Failed:
            nextAllowed_ = sentAt + backoff_;
            backoff_ = backoff_ * 2 < kMaxBackoff ? backoff_ * 2 : kMaxBackoff;
            break;
        case Outcome::Rate:
            backoff_ = kMaxBackoff;
            nextAllowed_ = sentAt + kMaxBackoff;
            break;
        case Outcome::Deny:
            retired_ = true;
            break;
    }
}

std::optional<uint32_t> UnixTimeFromSample(const Sample& sample, int64_t now) {
    const int64_t age = now - sample.monotonic;
    if (age < 0 || age > kMaxSampleAge) return std::nullopt;
    return UnixFromNtp(sample.serverTime + static_cast<NtpTime>(NtpSpanFromNanoseconds(age)));
}

bool Agree(const Sample& a, const Sample& b) {
    const Sample& earlier = a.monotonic <= b.monotonic ? a : b;
    const Sample& later = a.monotonic <= b.monotonic ? b : a;
    const NtpSpan between = NtpSpanFromNanoseconds(later.monotonic - earlier.monotonic);
    const NtpTime advanced = earlier.serverTime + static_cast<NtpTime>(between);
    const auto difference = static_cast<NtpSpan>(later.serverTime - advanced);
    return difference >= -kMaxDisagreement && difference <= kMaxDisagreement;
}

std::vector<ServerName> ParseServerList(std::string_view text) {
    std::vector<ServerName> servers;
    const std::string_view separators(" \t\r\n,;\0", 8);
    size_t at = 0;
    while (servers.size() < kMaxServers) {
        at = text.find_first_not_of(separators, at);
        if (at == std::string_view::npos) break;
        const size_t end = std::min(text.find_first_of(separators, at), text.size());
        std::string_view entry = text.substr(at, end - at);
        std::optional<std::string_view> port;
        at = end;

        if (entry.front() == '[') {  // [IPv6 literal], optionally followed by :port
            const size_t close = entry.find(']');
            if (close == std::string_view::npos) continue;
            if (close + 1 < entry.size()) {
                if (entry[close + 1] != ':') continue;
                port = entry.substr(close + 2);
            }
            entry = entry.substr(1, close - 1);
        } else if (const size_t colon = entry.find(':'); colon != std::string_view::npos &&
                                                        entry.find(':', colon + 1) == std::string_view::npos) {
            port = entry.substr(colon + 1);  // one colon: host:port; more: a bare IPv6 literal
            entry = entry.substr(0, colon);
        }
        if (entry.empty()) continue;

        ServerName server{std::string(entry)};
        if (port) {
            unsigned value = 0;
            bool digits = !port->empty() && port->size() <= 5;
            for (char c : *port) {
                digits = digits && c >= '0' && c <= '9';
                value = value * 10 + static_cast<unsigned>(c - '0');
            }
            if (!digits || value == 0 || value > 65535) continue;
            server.port = static_cast<uint16_t>(value);
        }
        servers.push_back(std::move(server));
    }
    return servers;
}

}  // namespace gettime
