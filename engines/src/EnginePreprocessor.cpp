#include <engines/EnginePreprocessor.h>

#include "zq/zq.h"

namespace engines {

// Each engine keeps its answer until its RetrieveText hands it out; the text is copied at once.
// The library reads a text up to its first NUL, as c_str() gives it: a stray NUL in a body ends
// it there.

PreprocessorOps::Result EnginePreprocessor::Clean(const std::string& text, bool skipQuoted) {
    Result result;
    result.length = ZQ_Schoonmaken_RetrieveBufferLen(text.c_str(), skipQuoted ? -1 : 0);
    if (result.length > 0) result.text = ZQ_Schoonmaken_RetrieveText();
    ZQ_Schoonmaken_Clear();
    return result;
}

PreprocessorOps::Result EnginePreprocessor::RestoreParagraphs(const std::string& text) {
    Result result;
    result.length = ZQ_AlineaHerstellen_RetrieveBufferLen(text.c_str());
    if (result.length >= 0) result.text = ZQ_AlineaHerstellen_RetrieveText();
    return result;
}

PreprocessorOps::Result EnginePreprocessor::SolveNumbers(const std::string& text) {
    Result result;
    result.length = ZQ_NumberSolver_RetrieveBufferLen(text.c_str());
    if (result.length >= 0) result.text = ZQ_NumberSolver_RetrieveText();
    ZQ_NumberSolver_Clear();
    return result;
}

} // namespace engines
