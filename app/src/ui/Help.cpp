#include "Help.h"

#include <string>

#include "Trace.h"

namespace brevon {

void ShowHelpTopic(int topic) {
    Trace("ShowHelp " + std::to_string(topic));
}

} // namespace brevon
