#include "engines/Preprocessor.h"

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

} // namespace engines
