#include "engines/Preprocessor.h"

#include <cstdint>

#include <platform/DataPaths.h>

#include "zq/zq.h"

namespace engines {

namespace {

bool started = false;
std::string startNote;

} // namespace

bool StartPreprocessor(const std::string& programFolder) {
    // The library takes the folder as the start of its rule file's name.
    const std::string folder = platform::WithTrailingSeparator(programFolder);
    startNote.clear();
    const bool cleaning = ZQ_Schoonmaken_Start(folder.c_str()) != 0;
    const bool paragraphs = cleaning && ZQ_AlineaHerstellen_Start(folder.c_str()) != 0;
    const bool numbers = paragraphs && ZQ_NumberSolver_Start(folder.c_str()) != 0;
    if (!paragraphs) startNote += "\r AlineaHerstellen was not started";
    if (!numbers) startNote += "\r NumberSolver was not started";
    started = cleaning && paragraphs && numbers;
    return started;
}

void StopPreprocessor() {
    if (!started) return;
    ZQ_Schoonmaken_Stop();
    ZQ_AlineaHerstellen_Stop();
    ZQ_NumberSolver_Stop();
    started = false;
}

bool PreprocessorStarted() {
    return started;
}

const std::string& PreprocessorStartNote() {
    return startNote;
}

namespace {

// The library takes zero-terminated text: a stray NUL in a body would end it early anyway.
std::string UpToNul(const std::string& text) {
    return text.substr(0, text.find('\0'));
}

} // namespace

EngineText CleanText(const std::string& text, bool skipQuoted) {
    EngineText result;
    result.length = ZQ_Schoonmaken_RetrieveBufferLen(UpToNul(text).c_str(), skipQuoted ? -1 : 0);
    if (result.length > 0) result.text = ZQ_Schoonmaken_RetrieveText();
    ZQ_Schoonmaken_Clear();
    return result;
}

EngineText RestoreParagraphs(const std::string& text) {
    EngineText result;
    result.length = ZQ_AlineaHerstellen_RetrieveBufferLen(UpToNul(text).c_str());
    if (result.length >= 0) result.text = ZQ_AlineaHerstellen_RetrieveText();
    return result;
}

EngineText SolveNumbers(const std::string& text) {
    EngineText result;
    result.length = ZQ_NumberSolver_RetrieveBufferLen(UpToNul(text).c_str());
    if (result.length >= 0) result.text = ZQ_NumberSolver_RetrieveText();
    ZQ_NumberSolver_Clear();
    return result;
}

} // namespace engines
