// Binding to the text preprocessor library (zq): starts and stops its three engines and sends
// a message body through them. Texts are Windows-1252.
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

// Spoken instead of a body that holds nothing speakable.
inline constexpr const char* kNoTextSentence = "Dit \\-bericht \\-bevat \\+geen tekst";

// Sends a body through Schoonmaken (skipping quoted text when skipQuoted is set),
// AlineaHerstellen and NumberSolver. An engine that reports failure leaves the text as it was
// before it; when cleaning leaves nothing speakable, the no-text sentence goes on instead.
std::string PreprocessBody(const std::string& body, bool skipQuoted);

} // namespace engines
