// Binding to the text preprocessor library (zq): starts and stops its three engines and runs
// a text through each of them. Texts are Windows-1252.
#pragma once

#include <cstdint>
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

// One engine's answer: the length it reported and its text. A negative length means the engine
// failed; the text is then empty and not to be used.
struct EngineText {
    int32_t length = -1;
    std::string text;
};

// The three engines, one step each, in the order a body goes through them. Cleaning leaves out
// quoted text when skipQuoted is set and reports 0 when nothing speakable is left. A text is
// taken up to a NUL byte, which would end it for the library anyway.
EngineText CleanText(const std::string& text, bool skipQuoted);
EngineText RestoreParagraphs(const std::string& text);
EngineText SolveNumbers(const std::string& text);

} // namespace engines
