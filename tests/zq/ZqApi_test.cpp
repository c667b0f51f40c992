#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "ZqTestSupport.h"
#include "zq/zq.h"

extern "C" int zq_header_is_c(void);

TEST(ZqApi, HeaderCompilesAsC) {
    EXPECT_EQ(zq_header_is_c(), 1);
}

TEST(ZqApi, StartNeedsTheRuleFileButEnginesWorkWithout) {
    EXPECT_EQ(ZQ_Schoonmaken_Start(nullptr), 0);
    EXPECT_EQ(ZQ_AlineaHerstellen_Start("/nonexistent/folder/"), 0);
    EXPECT_EQ(ZQ_NumberSolver_Start("/nonexistent/folder/"), 0);
    // without rules: numbers still become words, units stay as written
    EXPECT_EQ(zqtest::numbers("5 km"), "vijf km");
    zqtest::startEngines();
    EXPECT_EQ(zqtest::numbers("5 km"), "vijf kilometer");
}

TEST(ZqApi, FolderWithoutTrailingSeparatorIsAccepted) {
    std::string folder = ZQ_DATA_DIR;
    folder.pop_back();
    EXPECT_EQ(ZQ_NumberSolver_Start(folder.c_str()), 1);
}

TEST(ZqApi, NullTextFailsAndLeavesAnEmptyResult) {
    zqtest::startEngines();
    ASSERT_GT(ZQ_Schoonmaken_RetrieveBufferLen("hallo", 0), 0);
    EXPECT_EQ(ZQ_Schoonmaken_RetrieveBufferLen(nullptr, 0), -1);
    EXPECT_STREQ(ZQ_Schoonmaken_RetrieveText(), "");
    EXPECT_EQ(ZQ_AlineaHerstellen_RetrieveBufferLen(nullptr), -1);
    EXPECT_EQ(ZQ_NumberSolver_RetrieveBufferLen(nullptr), -1);
    EXPECT_STREQ(ZQ_NumberSolver_RetrieveText(), "");
}

TEST(ZqApi, ResultIsKeptUntilClearAndNeverNull) {
    zqtest::startEngines();
    ASSERT_EQ(ZQ_NumberSolver_RetrieveBufferLen("3 appels"), 11);
    EXPECT_STREQ(ZQ_NumberSolver_RetrieveText(), "drie appels");
    EXPECT_STREQ(ZQ_NumberSolver_RetrieveText(), "drie appels");
    ZQ_NumberSolver_Clear();
    ASSERT_NE(ZQ_NumberSolver_RetrieveText(), nullptr);
    EXPECT_STREQ(ZQ_NumberSolver_RetrieveText(), "");
    ZQ_AlineaHerstellen_Clear();
    EXPECT_STREQ(ZQ_AlineaHerstellen_RetrieveText(), "");
}

TEST(ZqApi, NothingSpeakableGivesLengthZero) {
    zqtest::startEngines();
    for (const char* text : {"", "   \r\n\r\n", "----------\r\n=========", "> alleen citaat"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ZQ_Schoonmaken_RetrieveBufferLen(text, -1), 0);
        EXPECT_STREQ(ZQ_Schoonmaken_RetrieveText(), "");
    }
}

TEST(ZqApi, StopFreesAndEnginesStillAnswer) {
    zqtest::startEngines();
    ASSERT_GT(ZQ_AlineaHerstellen_RetrieveBufferLen("tekst"), 0);
    ZQ_Schoonmaken_Stop();
    ZQ_AlineaHerstellen_Stop();
    ZQ_NumberSolver_Stop();
    EXPECT_STREQ(ZQ_AlineaHerstellen_RetrieveText(), "");
    EXPECT_EQ(zqtest::numbers("2 km"), "twee km");
    zqtest::startEngines();
}

TEST(ZqApi, LargeBodyIsProcessed) {
    zqtest::startEngines();
    std::string body;
    for (int i = 0; i < 20000; ++i)
        body += "Regel " + std::to_string(i) + " van de tekst.\r\n";
    const int32_t n = ZQ_Schoonmaken_RetrieveBufferLen(body.c_str(), 0);
    EXPECT_GT(n, 0);
    EXPECT_EQ(static_cast<std::size_t>(n), std::strlen(ZQ_Schoonmaken_RetrieveText()));
    ZQ_Schoonmaken_Clear();
}
