// Binding to the text preprocessor library (zq): starts and stops its three engines.
// EnginePreprocessor runs a text through them.
#pragma once

#include <string>

namespace engines {

// Starts Schoonmaken, then AlineaHerstellen and NumberSolver, each only if the one before
// started. programFolder holds the preprocessor's rule file; a missing path separator at its
// end is added. Returns PreprocessorStarted(). A failed start is not shown: bodies are still
// processed, with the engines' built-in rules. The caller shows the busy cursor meanwhile.
bool StartPreprocessor(const std::string& programFolder);
// Stops the three engines, in order, when all three had started.
void StopPreprocessor();
// True only when all three engines started.
bool PreprocessorStarted();
// The engines that did not start, one " <name> was not started" line each (CR first); empty
// when all started. Shown nowhere; for troubleshooting.
const std::string& PreprocessorStartNote();

} // namespace engines
