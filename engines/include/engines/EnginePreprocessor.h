// The text preprocessor's engines (zq, started by the shell with StartPreprocessor) as the mail
// side reaches them: one call to the library's engine per step. Texts are Windows-1252.
#pragma once

#include <engines/EngineOps.h>

namespace engines {

class EnginePreprocessor final : public PreprocessorOps {
public:
    Result Clean(const std::string& text, bool skipQuoted) override;
    Result RestoreParagraphs(const std::string& text) override;
    Result SolveNumbers(const std::string& text) override;
};

} // namespace engines
