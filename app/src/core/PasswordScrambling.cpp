#include <app/PasswordScrambling.h>

#include <cstdint>

namespace brevon {

namespace {

constexpr std::uint16_t kStartKey = 826;
constexpr std::uint16_t kMultiplier = 20931;
constexpr std::uint16_t kAddend = 48517;

// Both directions feed the scrambled byte into the running key, so they are inverses and a
// byte's key depends only on the bytes before it.
std::string Run(std::string_view in, bool scrambling) {
    std::string out(in.size(), '\0');
    std::uint16_t k = kStartKey;
    for (std::size_t i = 0; i < in.size(); ++i) {
        const auto inByte = static_cast<std::uint8_t>(in[i]);
        const auto outByte = static_cast<std::uint8_t>(inByte ^ (k >> 8));
        out[i] = static_cast<char>(outByte);
        const std::uint8_t s = scrambling ? outByte : inByte;
        k = static_cast<std::uint16_t>((static_cast<std::uint32_t>(s + k) * kMultiplier + kAddend) &
                                       0xffffu);
    }
    return out;
}

} // namespace

std::string ScramblePassword(std::string_view password) {
    return Run(password, true);
}

std::string UnscramblePassword(std::string_view scrambled) {
    return Run(scrambled, false);
}

} // namespace brevon
