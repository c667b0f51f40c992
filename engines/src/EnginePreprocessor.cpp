#include <engines/EnginePreprocessor.h>

#include <utility>

#include <engines/Preprocessor.h>

namespace engines {

namespace {

PreprocessorOps::Result FromEngine(EngineText answer) {
    return {answer.length, std::move(answer.text)};
}

} // namespace

PreprocessorOps::Result EnginePreprocessor::Clean(const std::string& text, bool skipQuoted) {
    return FromEngine(CleanText(text, skipQuoted));
}

PreprocessorOps::Result EnginePreprocessor::RestoreParagraphs(const std::string& text) {
    return FromEngine(engines::RestoreParagraphs(text));
}

PreprocessorOps::Result EnginePreprocessor::SolveNumbers(const std::string& text) {
    return FromEngine(engines::SolveNumbers(text));
}

} // namespace engines
