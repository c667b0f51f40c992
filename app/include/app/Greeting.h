// The spoken greeting at start-up and where the greeting's and about windows go.
#pragma once

#include <string_view>

namespace brevon {

// By the local hour (0 to 23): before noon "Goedemorgen!", until six "Goedemiddag!", then
// "Goedenavond!".
std::string_view GreetingForHour(int hour);

// What follows the greeting after a carriage return.
inline constexpr std::string_view kGreetingIntroduction = "Hier spreekt Tolvani!";

struct Origin {
    int left = 0;
    int top = 0;
};

// Where a window of that size is centred on a screen of that size (integer halves, rounded
// toward zero, as the windows have always been placed).
Origin CentredOrigin(int screenWidth, int screenHeight, int windowWidth, int windowHeight);

} // namespace brevon
