#include "core/Scramble.h"

#include <chrono>
#include <random>

#include "common/Error.h"

namespace pwg {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHex(std::string& out, unsigned byte) {
    out.push_back(kHexDigits[(byte >> 4) & 0xF]);
    out.push_back(kHexDigits[byte & 0xF]);
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

unsigned ParsePair(std::string_view pair) {
    const int hi = pair.size() == 2 ? HexValue(pair[0]) : -1;
    const int lo = pair.size() == 2 ? HexValue(pair[1]) : -1;
    if (hi < 0 || lo < 0)
        throw Error(MessageWith("'%s' is not a valid integer value", "$" + std::string(pair)));
    return static_cast<unsigned>(hi * 16 + lo);
}

// The key is used cyclically, starting again at its first character.
class KeyCycle {
public:
    explicit KeyCycle(std::string_view key) : key_(key) {}
    unsigned Next() {
        if (key_.empty()) return 0;
        const unsigned char k = static_cast<unsigned char>(key_[index_]);
        index_ = (index_ + 1) % key_.size();
        return k;
    }

private:
    std::string_view key_;
    size_t index_ = 0;
};

}  // namespace

std::string ScrambleWithSeed(std::string_view plain, std::string_view key, unsigned seed) {
    std::string out;
    out.reserve(2 + 2 * plain.size());
    unsigned s = seed & 0xFF;
    AppendHex(out, s);
    KeyCycle keys(key);
    for (const char c : plain) {
        const unsigned b = static_cast<unsigned char>(c);
        // Modulus 255, not 256: stored texts depend on it.
        s = ((s + b) % 255) ^ keys.Next();
        AppendHex(out, s);
    }
    return out;
}

std::string Scramble(std::string_view plain, std::string_view key) {
    std::mt19937 generator(static_cast<unsigned>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count()));
    std::uniform_int_distribution<unsigned> seedByte(0, 255);
    return ScrambleWithSeed(plain, key, seedByte(generator));
}

std::string Unscramble(std::string_view scrambled, std::string_view key) {
    std::string plain;
    // A text too short to hold a seed fails the pair check like any damaged pair.
    unsigned prev = ParsePair(scrambled.substr(0, 2));
    KeyCycle keys(key);
    for (size_t p = 2; p + 1 < scrambled.size(); p += 2) {
        const unsigned c = ParsePair(scrambled.substr(p, 2));
        const unsigned t = c ^ keys.Next();
        unsigned b = prev < t ? t - prev : t - prev + 255;
        // (prev + 255) mod 255 leaves prev unchanged, so a plain 255 after a
        // stored 255 arrives here as 0. Plain text never holds a 0 byte.
        if ((b & 0xFF) == 0) b = 255;
        plain.push_back(static_cast<char>(b & 0xFF));
        prev = c;
    }
    return plain;
}

}  // namespace pwg
