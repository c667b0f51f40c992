// Snippets of everyday mail with numbers, dates and codes (tests/data/zq/numbers.tsv), each
// read as a Dutch reader says it; `zq-clean --numbers` shows the same table with a count.
#include <string>

#include <gtest/gtest.h>

#include "NumberCases.h"
#include "ZqTestSupport.h"

namespace {

TEST(NumberReadings, EverydayMailIsReadAsADutchReaderSaysIt) {
    zqtest::startEngines();
    std::string error;
    const auto cases =
        zqnumbers::load(std::string(BREVON_TEST_DATA_DIR) + "/zq/numbers.tsv", error);
    ASSERT_TRUE(cases) << error;
    for (const zqnumbers::Case& c : *cases) {
        SCOPED_TRACE("line " + std::to_string(c.line) + " [" + c.category + "] " + c.text);
        EXPECT_EQ(zqtest::numbers(c.text), c.reading);
    }
}

TEST(NumberReadings, ATableLineWithoutThreeFieldsIsAnError) {
    std::string error;
    EXPECT_FALSE(zqnumbers::parse("# comment\ndatum\tvoor 2-5\n", error));
    EXPECT_EQ(error, "line 2: not three fields separated by tabs");
    EXPECT_FALSE(zqnumbers::parse("# only a comment\n", error));
    EXPECT_EQ(error, "no cases");
}

} // namespace
