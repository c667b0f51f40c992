#include "engines/Preprocessor.h"

#include <cstdint>

#include "zq/zq.h"

namespace engines {

namespace {

bool started = false;
std::string startNote;

} // namespace

bool StartPreprocessor(const std::string& programFolder) {
    std::string folder = programFolder;
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') {
#ifdef _WIN32
        folder += '\\';
#else
        folder += '/';
#endif
    }
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

std::string PreprocessBody(const std::string& body, bool skipQuoted) {
    // the library takes zero-terminated text: a stray NUL in a body would end it early anyway
    std::string text = body.substr(0, body.find('\0'));
    const int32_t cleaned = ZQ_Schoonmaken_RetrieveBufferLen(text.c_str(), skipQuoted ? -1 : 0);
    if (cleaned > 0) text = ZQ_Schoonmaken_RetrieveText();
    if (cleaned == 0) text = kNoTextSentence;
    ZQ_Schoonmaken_Clear();
    if (ZQ_AlineaHerstellen_RetrieveBufferLen(text.c_str()) >= 0)
        text = ZQ_AlineaHerstellen_RetrieveText();
    if (ZQ_NumberSolver_RetrieveBufferLen(text.c_str()) >= 0) text = ZQ_NumberSolver_RetrieveText();
    ZQ_NumberSolver_Clear();
    return text;
}

} // namespace engines
