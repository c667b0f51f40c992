#include <qvstts/Lexicon.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <stdlib.h>
#include "TempDir.h"

namespace qvstts {
namespace {

namespace fs = std::filesystem;

using testsupport::TempDir;

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(Lexicon, ParseSkipsCommentsAndBrokenLinesAndLetsTheLastLineWin) {
    const Lexicon lex = Lexicon::parse("# comment\n"
                                       "Brevon\tBreevon\r\n"
                                       "\n"
                                       "no tab here\n"
                                       "\tno word\n"
                                       "leeg\t\n"
                                       "  spatie  \t  spaasie  \n"
                                       "brevon\tBrevvon\n");
    ASSERT_EQ(lex.entries().size(), 2u);
    EXPECT_EQ(lex.entries()[0].word, "spatie");
    EXPECT_EQ(lex.entries()[0].pronunciation, "spaasie");
    ASSERT_NE(lex.find("BREVON"), nullptr);
    EXPECT_EQ(*lex.find("BREVON"), "Brevvon");
    EXPECT_EQ(lex.find("leeg"), nullptr);
}

TEST(Lexicon, SaveAndLoadRoundTripWithoutLeavingATemporaryFile) {
    TempDir dir("qvstts-lexicon");
    const fs::path file = dir.Path() / "sub" / "woordenlijst.txt";
    const Lexicon lex({{"café", "kaffee"}, {"tab\tin", "line\nend"}});
    ASSERT_TRUE(lex.save(file));
    const Lexicon back = Lexicon::load(file);
    ASSERT_EQ(back.entries().size(), 2u);
    EXPECT_EQ(back.entries()[0].word, "café");
    EXPECT_EQ(back.entries()[1].word, "tab in");
    EXPECT_EQ(back.entries()[1].pronunciation, "line end");
    ASSERT_NE(back.find("CAF\xC9"), nullptr);
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()),
              1);
}

TEST(Lexicon, FailedSaveKeepsThePreviousList) {
    TempDir dir("qvstts-lexicon");
    const fs::path file = dir.Path() / "woordenlijst.txt";
    ASSERT_TRUE(Lexicon(std::vector<LexiconEntry>{{"a", "b"}}).save(file));
    const std::string before = readAll(file);
    // A folder where the temporary file must go makes the write fail, even for root.
    fs::create_directory(dir.Path() / "woordenlijst.txt.tmp");
    EXPECT_FALSE(Lexicon(std::vector<LexiconEntry>{{"c", "d"}}).save(file));
    EXPECT_EQ(readAll(file), before);
    // A file where the folder must go.
    std::ofstream(dir.Path() / "blocker") << "x";
    EXPECT_FALSE(Lexicon(std::vector<LexiconEntry>{{"c", "d"}})
                     .save(dir.Path() / "blocker" / "woordenlijst.txt"));
}

TEST(Lexicon, MissingFileIsAnEmptyListAndTheDefaultFileFollowsXdg) {
    EXPECT_TRUE(Lexicon::load("/nonexistent/qvstts/woordenlijst.txt").empty());
    const char* old = std::getenv("XDG_DATA_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_DATA_HOME", "/tmp/xdg-test", 1);
    EXPECT_EQ(Lexicon::defaultFile(), fs::path("/tmp/xdg-test/qvstts/woordenlijst.txt"));
    if (old)
        setenv("XDG_DATA_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
}

} // namespace
} // namespace qvstts
