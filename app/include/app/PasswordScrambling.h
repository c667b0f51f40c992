// The stored form of the mail password. Not encryption: it only keeps the password from being
// readable at a glance in the settings store, and the stored form must stay as it is so that
// existing settings keep working.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace brevon {

// The options dialog refuses longer passwords; the scrambling itself works on any length.
inline constexpr std::size_t kMaxPasswordLength = 255;

// Each returns a text of the same length. A scrambled text may hold zero bytes.
std::string ScramblePassword(std::string_view password);
std::string UnscramblePassword(std::string_view scrambled);

} // namespace brevon
