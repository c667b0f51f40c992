// Runs the preprocessor engines through the library's exports, as brevon does.
#pragma once

#include <string>

namespace zqtest {

// Starts the three engines on the build's data folder (once per test program).
void startEngines();
std::string clean(const std::string& text, bool skipQuoted = false);
std::string paragraphs(const std::string& text);
std::string numbers(const std::string& text);
// Schoonmaken, AlineaHerstellen and NumberSolver in order.
std::string chain(const std::string& text, bool skipQuoted = false);

} // namespace zqtest
