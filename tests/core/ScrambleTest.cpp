#include "core/Scramble.h"

#include <gtest/gtest.h>

#include "common/Error.h"

namespace pwg {
namespace {

std::string AllBytesOnce() {
    std::string s;
    for (int b = 1; b < 256; ++b) s.push_back(static_cast<char>(b));
    return s;
}

TEST(Scramble, TwoScramblesDifferAndBothComeBack) {
    // Reseeding from a fine clock: two calls in a row draw different seeds
    // nearly always; try a few times so the test cannot flicker.
    std::string first = Scramble("739105", kPasswordKey), second;
    for (int i = 0; i < 20 && (second.empty() || second == first); ++i)
        second = Scramble("739105", kPasswordKey);
    EXPECT_NE(first, second);
    EXPECT_EQ(Unscramble(first, kPasswordKey), "739105");
    EXPECT_EQ(Unscramble(second, kPasswordKey), "739105");
}

TEST(Scramble, OutputIsSeedPairThenOneUpperCasePairPerByte) {
    const std::string s = Scramble("739105", kPasswordKey);
    ASSERT_EQ(s.size(), 14u);
    for (char c : s) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << s;
}

TEST(Scramble, KnownTextsFromTheChain) {
    // Worked by hand: s' = ((s + b) mod 255) xor key[i].
    // seed 0, "7" (0x37), key 'v' (0x76): 0x37 ^ 0x76 = 0x41.
    EXPECT_EQ(ScrambleWithSeed("7", kPasswordKey, 0), "0041");
    // seed 0xFF, "A" (0x41): (0xFF + 0x41) mod 255 = 0x41, ^ 0x76 = 0x37.
    EXPECT_EQ(ScrambleWithSeed("A", kPasswordKey, 0xFF), "FF37");
    EXPECT_EQ(ScrambleWithSeed("", kPasswordKey, 0xAB), "AB");
}

TEST(Scramble, EmptyPasswordIsTheSeedPairAlone) {
    const std::string s = Scramble("", kPasswordKey);
    EXPECT_EQ(s.size(), 2u);
    EXPECT_EQ(Unscramble(s, kPasswordKey), "");
}

TEST(Scramble, KeyCyclesOverSixBytes) {
    // With every plain byte 1 and seed 0, each stored byte is s xor k; undoing
    // the chain shows which key character each position used: v x q a v x.
    const std::string key = "vxqa";
    const std::string plain(6, '\x01');
    const std::string s = ScrambleWithSeed(plain, key, 0);
    unsigned prev = 0;
    const char expected[] = {'v', 'x', 'q', 'a', 'v', 'x'};
    for (int i = 0; i < 6; ++i) {
        const unsigned c = std::stoul(s.substr(2 + 2 * i, 2), nullptr, 16);
        EXPECT_EQ(c ^ ((prev + 1) % 255), static_cast<unsigned>(expected[i])) << "byte " << i;
        prev = c;
    }
    EXPECT_EQ(Unscramble(s, key), plain);
}

TEST(Scramble, EveryByteRoundTripsUnderEverySeed) {
    const std::string all = AllBytesOnce();
    for (unsigned seed = 0; seed < 256; ++seed) {
        ASSERT_EQ(Unscramble(ScrambleWithSeed(all, kPasswordKey, seed), kPasswordKey), all) << seed;
        std::string chinese = "\xB9\xDC\xC0\xED\xD4\xB1";  // 管理员 in code page 936
        ASSERT_EQ(Unscramble(ScrambleWithSeed(chinese, "k", seed), "k"), chinese);
    }
}

TEST(Scramble, Byte255AfterStored255ComesBackAs255) {
    // Seed 0xFF followed by plain 0xFF: the chain gives (255 + 255) mod 255 = 0,
    // which the plain arithmetic would return as byte 0.
    const std::string plain = "\xFF\xFF\xFF";
    const std::string s = ScrambleWithSeed(plain, "\x01", 0xFF);
    EXPECT_EQ(Unscramble(s, "\x01"), plain);
    // A plain 255 after seed 0 comes back too.
    EXPECT_EQ(Unscramble(ScrambleWithSeed("\xFF", kPasswordKey, 0), kPasswordKey), "\xFF");
}

TEST(Unscramble, AcceptsLowerCaseAndIgnoresATrailingDigit) {
    const std::string s = ScrambleWithSeed("ab", kPasswordKey, 0x3C);
    std::string lower;
    for (char c : s) lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    EXPECT_EQ(Unscramble(lower, kPasswordKey), "ab");
    EXPECT_EQ(Unscramble(s + "7", kPasswordKey), "ab");
}

TEST(Unscramble, NonHexPairNamesThePairWithADollar) {
    struct Case { const char* text; const char* message; };
    const Case cases[] = {
        {"00G1", "'$G1' is not a valid integer value"},
        {"Z0", "'$Z0' is not a valid integer value"},
        {"", "'$' is not a valid integer value"},
        {"0A1 ", "'$1 ' is not a valid integer value"},
    };
    for (const Case& c : cases) {
        try {
            Unscramble(c.text, kPasswordKey);
            ADD_FAILURE() << "no error for '" << c.text << "'";
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
}

}  // namespace
}  // namespace pwg
