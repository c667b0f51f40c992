// The mail corpus (tests/data/zq/corpus): realistic bodies through the three engines, each with
// the words a listener must hear and the debris that must stay silent.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "MailCorpus.h"
#include "ZqTestSupport.h"

namespace {

std::vector<std::string> corpusFiles() {
    std::vector<std::string> files;
    const std::filesystem::path dir = std::filesystem::path(BREVON_TEST_DATA_DIR) / "zq" / "corpus";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
        if (entry.path().extension() == ".txt") files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

class MailCorpus : public ::testing::TestWithParam<std::string> {
protected:
    static void SetUpTestSuite() { zqtest::startEngines(); }
};

TEST_P(MailCorpus, ListenerHearsTheLetterAndNotItsWrapping) {
    std::string error;
    const auto c = zqcorpus::load(GetParam(), error);
    ASSERT_TRUE(c) << error;
    const std::string cleaned = zqtest::clean(c->body, c->skipQuoted);
    const std::string heard = zqtest::chain(c->body, c->skipQuoted);
    for (const std::string& phrase : c->hear)
        EXPECT_TRUE(zqcorpus::hears(heard, phrase)) << "not heard: " << phrase << "\n" << heard;
    for (const std::string& phrase : c->silent) {
        EXPECT_FALSE(zqcorpus::hears(cleaned, phrase)) << "heard: " << phrase << "\n" << cleaned;
        EXPECT_FALSE(zqcorpus::hears(heard, phrase)) << "heard: " << phrase << "\n" << heard;
    }
}

std::string caseName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = std::filesystem::path(info.param).stem().string();
    std::replace_if(
        name.begin(), name.end(),
        [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Bodies, MailCorpus, ::testing::ValuesIn(corpusFiles()), caseName);

TEST(MailCorpusFormat, CaseFilesAreReadAsWritten) {
    std::string error;
    const auto c = zqcorpus::parse("# x\nskip-quoted: yes\nhear: Caf\xC3\xA9\nsilent: 06\n====\n"
                                   "Caf\xC3\xA9 \xE2\x82\xAC 5\n",
                                   error);
    ASSERT_TRUE(c) << error;
    EXPECT_TRUE(c->skipQuoted);
    EXPECT_EQ(c->body, "Caf\xE9 \x80 5\r\n");
    EXPECT_EQ(c->hear, std::vector<std::string>{"Caf\xE9"});
    for (const char* bad : {"hear: x\n", "hear: x\nbogus: 1\n====\n", "silent: x\n====\nbody"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(zqcorpus::parse(bad, error));
    }
    EXPECT_TRUE(zqcorpus::hears("Met vriendelijke\r\ngroet,  Jan.", "met VRIENDELIJKE groet, jan"));
}

} // namespace
