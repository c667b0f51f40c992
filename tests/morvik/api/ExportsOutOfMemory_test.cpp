// Running out of memory at the C surface: the call answers its error value, says why on the
// error stream, and the library goes on working; nothing ends the caller's process.
#include <morvik/morvik.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "FailingMalloc.h"
#include "TempDirTest.h"

namespace {

const char kTraining[] =
    "Beste Jan, morgen komen we om tien uur bij elkaar in de grote zaal. Wil jij de koffie "
    "regelen en de stukken van de vorige vergadering meenemen? Het huis aan de gracht is "
    "verkocht en de nieuwe eigenaars komen volgende week kijken. Groeten, Marieke\n";

// Words of random letters: about 20000 distinct 4-grams, so that the 4-gram table grows its
// bucket array well past what Tcl's allocator keeps at hand.
std::string ManyDistinctFourGrams() {
    std::uint32_t x = 12345;
    std::string text;
    for (int word = 0; word < 4000; ++word) {
        x = x * 1664525u + 1013904223u;
        const int length = 4 + static_cast<int>(x >> 29);
        for (int i = 0; i < length; ++i) {
            x = x * 1664525u + 1013904223u;
            text.push_back(static_cast<char>('a' + (x >> 24) % 26));
        }
        text.push_back(' ');
    }
    return text;
}

// The lines the library wrote to the error stream.
std::multiset<std::string> Lines(const std::string& text) {
    std::multiset<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.insert(line);
    return lines;
}

class ExportsOutOfMemory : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        Write("train.txt", kTraining);
        Write("build.cfg", "[Ngrams]\nn=4\nngramfile=nl.bin\n[Batch-Specs]\ntopicfile=train.txt\n"
                           "topictype=ASCIIDocument\n");
        Write("lid.cfg", "[Ngrams]\nn=4\nthreshold=0.5\nngramfile_nl_nt=nl.bin\n"
                         "[Batch-Specs]\ntopictype=ASCIIDocument\n");
        ASSERT_EQ(BC_Init("build.cfg"), 0);
        BC_CreateClassifier();
        BC_Close();
        model_ = Read("nl.bin");
        ASSERT_FALSE(model_.empty());
        ASSERT_EQ(C_InitLanguageClassifier("lid.cfg"), 0);
    }

    std::string model_;
};

// What a classification call answers: a score or a six-way answer, kept without allocating.
struct Answer {
    float score = 0.0f;
    char text[32] = {};
    bool operator==(const Answer& o) const {
        return score == o.score && std::strcmp(text, o.text) == 0;
    }
};

std::ostream& operator<<(std::ostream& out, const Answer& a) {
    return out << a.score << " \"" << a.text << '"';
}

TEST_F(ExportsOutOfMemory, ClassifyingAnswersItsErrorValueAndTheNextCallScoresAsBefore) {
    const std::string words = ManyDistinctFourGrams();
    const std::string html = "<html><body><p style=\"color:red\">" + words +
                             " caf&eacute; &amp; co</p><!-- x --></body></html>";
    const struct {
        const char* what;
        const std::string& text;
        void (*call)(const char* text, Answer& answer);
        Answer failure;
    } cases[] = {
        {"one language, plain text",
         words,
         [](const char* t, Answer& a) { a.score = C_Classify(t, "nl", "ASCIIDocument"); },
         {-1.0f, ""}},
        {"one language, HTML",
         html,
         [](const char* t, Answer& a) { a.score = C_Classify(t, "nl", "HTMLDocument"); },
         {-1.0f, ""}},
        {"six languages",
         words,
         [](const char* t, Answer& a) {
             std::strncpy(a.text, C_ClassifyLanguage(t), sizeof a.text - 1);
         },
         {0.0f, "?? -1.0000"}},
    };
    for (const auto& c : cases) {
        Answer expected;
        c.call(c.text.c_str(), expected);
        ASSERT_NE(expected, c.failure) << c.what;
        for (const bool persistent : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (persistent ? ", out of memory for good" : ""));
            testing::internal::CaptureStderr();
            Answer got;
            const std::size_t failing = SweepAllocationFailures(
                persistent, [&] { c.call(c.text.c_str(), got); },
                [&](bool failed) {
                    EXPECT_EQ(got, failed ? c.failure : expected);
                    got = Answer{};
                    c.call(c.text.c_str(), got);
                    EXPECT_EQ(got, expected) << "the call after";
                    got = Answer{};
                });
            const std::multiset<std::string> reports =
                Lines(testing::internal::GetCapturedStderr());
            EXPECT_GT(failing, 0u);
            // One line per failed call, naming what ran out; the hash tables' own among them.
            EXPECT_EQ(reports.size(), failing);
            for (const std::string& line : reports)
                EXPECT_TRUE(line == "RWxmsg: std::bad_alloc" ||
                            line == "RWxmsg: hash: could not allocate memory" ||
                            line == "RWMessage ConvertEntities: not enough memory")
                    << line;
            EXPECT_GT(reports.count("RWxmsg: hash: could not allocate memory"), 0u);
        }
    }
}

TEST_F(ExportsOutOfMemory, InitialisingAnswersMinusOneAndInitialisingAgainWorks) {
    const std::string words = ManyDistinctFourGrams();
    const float expected = C_Classify(words.c_str(), "nl", "ASCIIDocument");
    ASSERT_GT(expected, 0.0f);
    for (const bool persistent : {false, true}) {
        SCOPED_TRACE(persistent ? "out of memory for good" : "one allocation fails");
        testing::internal::CaptureStderr();
        std::int32_t result = 1;
        SweepAllocationFailures(
            persistent, [&] { result = C_InitLanguageClassifier("lid.cfg"); },
            [&](bool failed) {
                // 0 after a failure: only a model's load failed, which C_Init passes over; the
                // model loaded before stays.
                EXPECT_TRUE(result == 0 || (failed && result == -1)) << result;
                EXPECT_EQ(C_Classify(words.c_str(), "nl", "ASCIIDocument"), expected);
                EXPECT_EQ(C_InitLanguageClassifier("lid.cfg"), 0) << "initialising again";
                EXPECT_EQ(C_Classify(words.c_str(), "nl", "ASCIIDocument"), expected);
            });
        const std::multiset<std::string> reports = Lines(testing::internal::GetCapturedStderr());
        EXPECT_GT(reports.count("RWxmsg: Not enough memory available for string"), 0u);
    }
}

TEST_F(ExportsOutOfMemory, BuildingWritesTheRightModelOrNone) {
    // As morvik-build does it: no further step after BC_Init's -1.
    for (const bool persistent : {false, true}) {
        SCOPED_TRACE(persistent ? "out of memory for good" : "one allocation fails");
        testing::internal::CaptureStderr();
        std::int32_t init = 1;
        SweepAllocationFailures(
            persistent,
            [&] {
                std::filesystem::remove("nl.bin");
                init = BC_Init("build.cfg");
                if (init != 0) return;
                BC_CreateClassifier();
                BC_Close();
            },
            [&](bool failed) {
                EXPECT_TRUE(init == 0 || (failed && init == -1)) << init;
                if (std::filesystem::exists("nl.bin")) {
                    EXPECT_EQ(Read("nl.bin"), model_);
                }
                EXPECT_FALSE(std::filesystem::exists("nl.bin.tmp"));
            });
        testing::internal::GetCapturedStderr();
    }
    // And the next build is whole.
    std::filesystem::remove("nl.bin");
    ASSERT_EQ(BC_Init("build.cfg"), 0);
    BC_CreateClassifier();
    BC_Close();
    EXPECT_EQ(Read("nl.bin"), model_);
}

} // namespace
