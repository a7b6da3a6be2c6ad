#pragma once
// The stored administrator password is kept out of the registry in plain text
// by a small chained scrambling of its ANSI bytes (our own scheme, not
// cryptography: it only keeps the password from being read at a glance).
#include <string>
#include <string_view>

namespace pwg {

// The key every caller passes.
inline constexpr std::string_view kPasswordKey = "vxqa";
// Factory-default administrator password, in force until the first change.
inline constexpr std::string_view kDefaultPassword = "739105";

// Two upper-case hex digits of a random seed, then two per plain byte.
// Reseeds from the clock on every call, so two scrambles of one text differ.
std::string Scramble(std::string_view plain, std::string_view key);
// The same with a given seed byte (0..255); what Scramble calls.
std::string ScrambleWithSeed(std::string_view plain, std::string_view key, unsigned seed);

// Inverse of Scramble. Either case of hex digit is accepted and a trailing odd
// digit is ignored. Throws pwg::Error "'$XY' is not a valid integer value" for
// a pair that is not hexadecimal.
std::string Unscramble(std::string_view scrambled, std::string_view key);

}  // namespace pwg
