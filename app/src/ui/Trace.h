// A line-per-event trace for tests that drive the whole program: when BREVON_TRACE names a
// file, each event appends one line to it.
#pragma once

#include <string_view>

namespace brevon {

// Appends line and a line end to the file named by BREVON_TRACE (opened and closed each time,
// so a crash loses nothing written before it). Does nothing when the variable is unset or
// empty, or the file cannot be opened.
void Trace(std::string_view line);

} // namespace brevon
