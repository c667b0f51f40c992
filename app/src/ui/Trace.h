// A line per shell event for whoever watches the program from outside (the GUI tests): appended
// to the file that BREVON_TRACE names; nothing when it is unset.
#pragma once

#include <string_view>

namespace brevon {

void Trace(std::string_view line);

} // namespace brevon
