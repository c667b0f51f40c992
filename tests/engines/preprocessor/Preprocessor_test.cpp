#include "engines/Preprocessor.h"

#include <string>

#include <gtest/gtest.h>

namespace {

class Preprocessor : public ::testing::Test {
protected:
    void TearDown() override { engines::StopPreprocessor(); }
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
    EXPECT_EQ(engines::PreprocessBody("Om 14:30 in zaal 3.\r\n> oud", true),
              "Om veertien uur dertig in zaal drie.");
}

TEST_F(Preprocessor, BodyGoesThroughTheThreeEngines) {
    ASSERT_TRUE(engines::StartPreprocessor(ZQ_DATA_DIR));
    const std::string body = "Beste Jan,\r\n\r\nDe rekening van \x80 12,50 is betaald.\r\n\r\n"
                             "Op 2 mei schreef Jan:\r\n> Is de rekening al betaald?\r\n";
    EXPECT_EQ(engines::PreprocessBody(body, true),
              "Beste Jan,\r\n\r\nDe rekening van twaalf euro vijftig is betaald.");
    EXPECT_EQ(engines::PreprocessBody(body, false),
              "Beste Jan,\r\n\r\nDe rekening van twaalf euro vijftig is betaald.\r\n\r\n"
              "Op twee mei schreef Jan:\r\nIs de rekening al betaald?");
}

TEST_F(Preprocessor, NothingSpeakableGivesTheNoTextSentence) {
    ASSERT_TRUE(engines::StartPreprocessor(ZQ_DATA_DIR));
    for (const char* body : {"", "> alleen een citaat", "-----\r\n=====", "<html></html>"}) {
        SCOPED_TRACE(body);
        EXPECT_EQ(engines::PreprocessBody(body, true), "Dit \\-bericht \\-bevat \\+geen tekst.");
    }
}

} // namespace
