#include "ZqTestSupport.h"

#include <gtest/gtest.h>

#include "zq/zq.h"

namespace zqtest {

void startEngines() {
    ASSERT_EQ(ZQ_Schoonmaken_Start(ZQ_DATA_DIR), 1);
    ASSERT_EQ(ZQ_AlineaHerstellen_Start(ZQ_DATA_DIR), 1);
    ASSERT_EQ(ZQ_NumberSolver_Start(ZQ_DATA_DIR), 1);
}

std::string clean(const std::string& text, bool skipQuoted) {
    const int32_t n = ZQ_Schoonmaken_RetrieveBufferLen(text.c_str(), skipQuoted ? -1 : 0);
    std::string out = ZQ_Schoonmaken_RetrieveText();
    EXPECT_EQ(n, static_cast<int32_t>(out.size()));
    ZQ_Schoonmaken_Clear();
    return out;
}

std::string paragraphs(const std::string& text) {
    const int32_t n = ZQ_AlineaHerstellen_RetrieveBufferLen(text.c_str());
    std::string out = ZQ_AlineaHerstellen_RetrieveText();
    EXPECT_EQ(n, static_cast<int32_t>(out.size()));
    return out;
}

std::string numbers(const std::string& text) {
    const int32_t n = ZQ_NumberSolver_RetrieveBufferLen(text.c_str());
    std::string out = ZQ_NumberSolver_RetrieveText();
    EXPECT_EQ(n, static_cast<int32_t>(out.size()));
    ZQ_NumberSolver_Clear();
    return out;
}

std::string chain(const std::string& text, bool skipQuoted) {
    return numbers(paragraphs(clean(text, skipQuoted)));
}

} // namespace zqtest
