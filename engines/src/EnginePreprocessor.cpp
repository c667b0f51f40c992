#include <mail/EnginePreprocessor.h>

#include <engines/Preprocessor.h>

namespace brevon {

namespace {

PreprocessorOps::Result FromEngine(engines::EngineText answer) {
    return {answer.length, std::move(answer.text)};
}

} // namespace

PreprocessorOps::Result EnginePreprocessor::Clean(const std::string& text, bool skipQuoted) {
    return FromEngine(engines::CleanText(text, skipQuoted));
}

PreprocessorOps::Result EnginePreprocessor::RestoreParagraphs(const std::string& text) {
    return FromEngine(engines::RestoreParagraphs(text));
}

PreprocessorOps::Result EnginePreprocessor::SolveNumbers(const std::string& text) {
    return FromEngine(engines::SolveNumbers(text));
}

} // namespace brevon
