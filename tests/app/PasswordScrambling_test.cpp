#include <app/PasswordScrambling.h>

#include <random>
#include <string>

#include <gtest/gtest.h>

using brevon::ScramblePassword;
using brevon::UnscramblePassword;

namespace {

std::string RandomBytes(std::mt19937& rng, std::size_t n) {
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng() & 0xff);
    return s;
}

} // namespace

TEST(PasswordScrambling, MatchesWorkedExamples) {
    // Worked by hand: k = 826 (high byte 0x03); 'a' ^ 0x03 = 0x62; k = ((0x62 + 826) * 20931 +
    // 48517) mod 65536 = 0xd959; 'b' ^ 0xd9 = 0xbb.
    const struct {
        std::string plain;
        std::string scrambled;
    } cases[] = {
        {"", ""},
        {"a", "\x62"},
        {"ab", "\x62\xbb"},
        {std::string("\x03", 1), std::string("\x00", 1)}, // a byte equal to the key's high byte
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ScramblePassword(c.plain), c.scrambled);
        EXPECT_EQ(UnscramblePassword(c.scrambled), c.plain);
    }
}

TEST(PasswordScrambling, UnscramblingGivesBackEveryPasswordUpTo255Bytes) {
    std::mt19937 rng(1234);
    for (std::size_t n = 1; n <= brevon::kMaxPasswordLength; ++n) {
        const std::string password = RandomBytes(rng, n);
        const std::string scrambled = ScramblePassword(password);
        ASSERT_EQ(scrambled.size(), n);
        ASSERT_EQ(UnscramblePassword(scrambled), password) << n;
    }
}

TEST(PasswordScrambling, PasswordsWithACommonPrefixScrambleToACommonPrefix) {
    std::mt19937 rng(99);
    for (int round = 0; round < 200; ++round) {
        const std::size_t m = rng() % 100;
        const std::string prefix = RandomBytes(rng, m);
        std::string a = prefix + RandomBytes(rng, 1 + rng() % 50);
        std::string b = prefix + RandomBytes(rng, 1 + rng() % 50);
        if (a[m] == b[m]) b[m] = static_cast<char>(b[m] ^ 0x5a);
        const std::string sa = ScramblePassword(a);
        const std::string sb = ScramblePassword(b);
        EXPECT_EQ(sa.substr(0, m), sb.substr(0, m));
        EXPECT_NE(sa[m], sb[m]);
    }
}
