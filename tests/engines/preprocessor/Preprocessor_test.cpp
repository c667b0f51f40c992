#include "engines/Preprocessor.h"

#include <engines/EnginePreprocessor.h>

#include <string>

#include <gtest/gtest.h>

namespace {

class Preprocessor : public ::testing::Test {
protected:
    void TearDown() override { engines::StopPreprocessor(); }
    engines::EnginePreprocessor engines_;
};

TEST_F(Preprocessor, StartsAllThreeEnginesFromTheProgramFolder) {
    std::string folder = ZQ_DATA_DIR;
    folder.pop_back(); // the binding adds the separator
    EXPECT_TRUE(engines::StartPreprocessor(folder));
    EXPECT_TRUE(engines::PreprocessorStarted());
    EXPECT_EQ(engines::PreprocessorStartNote(), "");
    engines::StopPreprocessor();
    EXPECT_FALSE(engines::PreprocessorStarted());
}

TEST_F(Preprocessor, FailedStartIsNotedAndBodiesAreStillProcessed) {
    EXPECT_FALSE(engines::StartPreprocessor("/nonexistent/brevon/"));
    EXPECT_FALSE(engines::PreprocessorStarted());
    EXPECT_EQ(engines::PreprocessorStartNote(),
              "\r AlineaHerstellen was not started\r NumberSolver was not started");
    // The engines still work with their built-in rules.
    EXPECT_EQ(engines_.Clean("Om 14:30 in zaal 3.\r\n> oud", true).text, "Om 14:30 in zaal 3.");
}

TEST_F(Preprocessor, EachEngineReportsItsLengthAndText) {
    ASSERT_TRUE(engines::StartPreprocessor(ZQ_DATA_DIR));
    const engines::PreprocessorOps::Result cleaned = engines_.Clean("Hallo\r\n> citaat\r\n", true);
    EXPECT_EQ(cleaned.text, "Hallo");
    EXPECT_EQ(cleaned.length, 5);
    EXPECT_EQ(engines_.RestoreParagraphs("een\r\ntwee").length,
              static_cast<int32_t>(engines_.RestoreParagraphs("een\r\ntwee").text.size()));
    EXPECT_EQ(engines_.SolveNumbers("Om 14:30 in zaal 3.").text,
              "Om veertien uur dertig in zaal drie.");
    // Nothing speakable is length 0; the text stops at a NUL as the library would read it.
    EXPECT_EQ(engines_.Clean("> alleen een citaat", true).length, 0);
    EXPECT_EQ(engines_.Clean(std::string("ja\0nee", 6), false).text, "ja");
}

} // namespace
