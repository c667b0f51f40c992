// Mail bodies of any shape through the three preprocessor engines, as brevon chains them, with
// the rule file read. The first byte picks the skip-quoted flag; the rest is the body.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zq/zq.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Started as brevon starts them, on the folder with the rule file. Without the rules most of
    // the engines would go untried, so a rule file that does not load ends the run.
    if (!ZQ_Schoonmaken_Start(ZQ_DATA_DIR) || !ZQ_AlineaHerstellen_Start(ZQ_DATA_DIR) ||
        !ZQ_NumberSolver_Start(ZQ_DATA_DIR)) {
        std::fprintf(stderr, "fuzz_zq_engines: the rule file in %s did not load\n", ZQ_DATA_DIR);
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const bool skipQuoted = (data[0] & 1) != 0;
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    text = text.substr(0, text.find('\0'));

    const int32_t n = ZQ_Schoonmaken_RetrieveBufferLen(text.c_str(), skipQuoted ? -1 : 0);
    const char* cleaned = ZQ_Schoonmaken_RetrieveText();
    if (n < 0 || static_cast<size_t>(n) != std::strlen(cleaned)) __builtin_trap();
    if (n > 0) text = cleaned;
    ZQ_Schoonmaken_Clear();
    const int32_t p = ZQ_AlineaHerstellen_RetrieveBufferLen(text.c_str());
    if (p < 0) __builtin_trap();
    text = ZQ_AlineaHerstellen_RetrieveText();
    const int32_t k = ZQ_NumberSolver_RetrieveBufferLen(text.c_str());
    if (k < 0 || static_cast<size_t>(k) != std::strlen(ZQ_NumberSolver_RetrieveText()))
        __builtin_trap();
    ZQ_NumberSolver_Clear();
    return 0;
}
