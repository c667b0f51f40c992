#include <app/Greeting.h>

namespace brevon {

std::string_view GreetingForHour(int hour) {
    if (hour < 12) return "Goedemorgen!";
    if (hour < 18) return "Goedemiddag!";
    return "Goedenavond!";
}

Origin CentredOrigin(int screenWidth, int screenHeight, int windowWidth, int windowHeight) {
    return {screenWidth / 2 - windowWidth / 2, screenHeight / 2 - windowHeight / 2};
}

} // namespace brevon
