// The C surface, through the shared library itself. Every test runs in its own process (CTest
// runs the cases one by one), so the library's global state starts fresh each time.
#include <morvik/morvik.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "ScoreCases.h"
#include "TempDirTest.h"

namespace {

class Exports : public TempDirTest {
protected:
    // Builds a model from text through the building family.
    static void Build(const std::string& text, const std::string& model) {
        Write("train.txt", text);
        Write("build.cfg", "[Ngrams]\nn=4\nngramfile=" + model +
                               "\n[Batch-Specs]\ntopicfile=train.txt\ntopictype=ASCIIDocument\n");
        ASSERT_EQ(BC_Init("build.cfg"), 0);
        EXPECT_EQ(BC_CreateClassifier(), -1);
        EXPECT_EQ(BC_Close(), 0);
        ASSERT_TRUE(std::filesystem::exists(model));
    }
    static std::string Config(const std::string& threshold, const std::string& models) {
        return "[Ngrams]\nn=4\nthreshold=" + threshold + "\n" + models +
               "[Batch-Specs]\ntopictype=ASCIIDocument\n";
    }
};

TEST_F(Exports, BeforeInitEverythingScoresZero) {
    EXPECT_EQ(C_Classify("het huis", "nl", "ASCIIDocument"), 0.0f);
    EXPECT_STREQ(C_ClassifyLanguage("het huis"), "?? 0.0000");
    EXPECT_EQ(C_Close(), 0);
}

TEST_F(Exports, OnlyDutchConfiguredAnswersNl) {
    Build("huis", "nl4.bin");
    Write("lid.cfg", Config("0.1", "ngramfile_nl_nt=nl4.bin\n"));
    ASSERT_EQ(C_InitLanguageClassifier("lid.cfg"), 0);
    const float nl = C_Classify("huis", "nl", "ASCIIDocument");
    EXPECT_NEAR(nl, 1.0 / 3.0, 1e-6);
    EXPECT_EQ(C_Classify("huis", "NL", "ASCIIDocument"), nl);
    EXPECT_EQ(C_Classify("huis", "en", "ASCIIDocument"), 0.0f);
    EXPECT_EQ(C_Classify("huis", "xx", "ASCIIDocument"), 0.0f);
    EXPECT_EQ(C_Classify("<b>huis</b>", "nl", "HTMLDocument"), nl);
    testing::internal::CaptureStderr();
    EXPECT_EQ(C_Classify("huis", "nl", "ascii"), nl);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unknown Document Type: assume ASCII\n");
    EXPECT_STREQ(C_ClassifyLanguage("huis"), "nl 0.3333");
    EXPECT_EQ(C_Close(), 0);
}

TEST_F(Exports, ClassifyLanguageAgreesWithClassify) {
    // The models are built one after another in this process, each on top of the previous
    // counts; the scores differ from those of separate models, the agreement must not.
    using namespace score_cases;
    std::string models;
    for (const Training& t : kTraining) {
        const std::string model = std::string(t.code) + "4.bin";
        Build(t.text, model);
        models += "ngramfile_" + std::string(t.code) + "_nt=" + model + "\n";
    }
    Write("lid.cfg", Config("0.03", models));
    ASSERT_EQ(C_InitLanguageClassifier("lid.cfg"), 0);
    testing::internal::CaptureStderr();
    for (const Case& c : kCases) {
        // Before any C_Classify, so that nothing either leaves behind can help the other.
        const std::string answer = C_ClassifyLanguage(c.text.c_str());
        // The first of the best in the answer's order (en nl de); "??" unless above 0.03.
        std::string code = "??";
        float best = 0.0f;
        for (const char* language : {"en", "nl", "de"}) {
            const float score = C_Classify(c.text.c_str(), language, "ASCIIDocument");
            if (score > best) {
                best = score;
                if (score > 0.03f) code = language;
            }
        }
        char expected[32];
        std::snprintf(expected, sizeof expected, "%s %.4f", code.c_str(),
                      static_cast<double>(best));
        EXPECT_EQ(answer, expected) << c.what;
    }
    testing::internal::GetCapturedStderr();
}

TEST_F(Exports, ThresholdDecidesAndNonNumberMeansZero) {
    Build("huis", "nl4.bin");
    struct {
        const char* threshold;
        const char* answer;
    } cases[] = {{"0.8", "?? 0.3333"},
                 {"abc", "nl 0.3333"},
                 {"0.33333", "nl 0.3333"},
                 {"0.5 ; comment", "?? 0.3333"}};
    for (const auto& c : cases) {
        Write("lid.cfg", Config(c.threshold, "ngramfile_nl_nt=nl4.bin\n"));
        ASSERT_EQ(C_InitLanguageClassifier("lid.cfg"), 0);
        EXPECT_STREQ(C_ClassifyLanguage("huis"), c.answer) << c.threshold;
    }
}

TEST_F(Exports, NullPointersNeverCrash) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(C_InitLanguageClassifier(nullptr), -1);
    EXPECT_EQ(C_Init(nullptr, 4, nullptr, nullptr), 0);
    EXPECT_EQ(C_Init(nullptr, 4, "nl", nullptr), 0);
    EXPECT_EQ(C_Classify(nullptr, "nl", "ASCIIDocument"), -1.0f);
    EXPECT_EQ(C_Classify("huis", nullptr, nullptr), 0.0f);
    EXPECT_STREQ(C_ClassifyLanguage(nullptr), "?? 0.0000");
    EXPECT_EQ(C_Close(), 0);
    EXPECT_EQ(BC_Init(nullptr), -1);
    EXPECT_EQ(BC_CreateClassifier(), -1);
    EXPECT_EQ(BC_Close(), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Empty document!\n"), std::string::npos);
    EXPECT_NE(err.find("Unknown Document Type: assume ASCII\n"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(".")) << "nothing written";
}

TEST_F(Exports, ConfigurationErrorsAreReportedAndKeepWhatLoaded) {
    Build("huis", "nl4.bin");
    struct {
        const char* what;
        std::string content;
        int result;
        const char* message; // expected in stderr
        bool nlLoaded;
    } cases[] = {
        {"no threshold",
         "[Ngrams]\nn=4\nngramfile_nl_nt=nl4.bin\n[Batch-Specs]\ntopictype=ASCIIDocument\n", -1,
         "Configfile error: entry \"threshold\" in section [Ngrams] not found.\n\n\n", true},
        {"no n", "[Ngrams]\nthreshold=0.1\n[Batch-Specs]\ntopictype=ASCIIDocument\n", -1,
         "Configfile error: entry \"n\" in section [Ngrams] not found.", false},
        {"no Batch-Specs", "[Ngrams]\nn=4\nthreshold=0.1\n", -1,
         "Configfile error: section [Batch-Specs] not found.", false},
        {"unclosed quote skips that language",
         Config("0.1", "ngramfile_en_nt=\"en4.bin\nngramfile_nl_nt=nl4.bin\n"), 0,
         "Error, String end (dbl quote) on entry \"ngramfile_en_nt\" not found.\n", true},
        {"missing model file fails the start", Config("0.1", "ngramfile_nl_nt=absent.bin\n"), -1,
         "morvik: model file 'absent.bin' not loaded: No such file or directory\n", false},
    };
    for (const auto& c : cases) {
        Write("lid.cfg", c.content);
        testing::internal::CaptureStderr();
        EXPECT_EQ(C_InitLanguageClassifier("lid.cfg"), c.result) << c.what;
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(c.message), std::string::npos) << c.what << ": " << err;
        if (c.message[0] == '\0') {
            EXPECT_EQ(err, "") << c.what;
        }
        // Profiles stay loaded once loaded, so only the first cases can tell.
        if (c.nlLoaded) {
            EXPECT_GT(C_Classify("huis", "nl", "ASCIIDocument"), 0.0f) << c.what;
        }
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(C_InitLanguageClassifier("absent.cfg"), -1);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Error:       1015\nExplanation: File '"), std::string::npos) << err;
    EXPECT_NE(err.find("absent.cfg' not found"), std::string::npos) << err;
}

TEST_F(Exports, ModelNamesAreFoundBesideTheConfigurationFromAnyWorkingDirectory) {
    Build("huis", "nl4.bin");
    Build("house", "en4.bin");
    std::filesystem::create_directories("share/morvik");
    std::filesystem::create_directories("elsewhere");
    std::filesystem::rename("nl4.bin", "share/morvik/nl4.bin");
    // In the working directory too: a name that exists there still loads from there.
    std::filesystem::copy_file("en4.bin", "elsewhere/nl4.bin");
    std::filesystem::rename("en4.bin", "share/morvik/en4.bin");
    Write("share/morvik/lid.cfg",
          Config("0.1", "ngramfile_en_nt=en4.bin\nngramfile_nl_nt=nl4.bin\n"));
    const std::string absolute = (dir_ / "share/morvik/lid.cfg").string();
    struct {
        const char* workingDirectory;
        std::string config;
        float dutchHouse; // the score of "huis" in nl
    } cases[] = {
        {"elsewhere", absolute, 0.0f},              // en's model loaded as nl from cwd
        {".", "share/morvik/lid.cfg", 1.0f / 3.0f}, // relative path to the configuration
        {"share", "morvik/lid.cfg", 1.0f / 3.0f},
    };
    for (const auto& c : cases) {
        std::filesystem::current_path(dir_ / c.workingDirectory);
        testing::internal::CaptureStderr();
        EXPECT_EQ(C_InitLanguageClassifier(c.config.c_str()), 0) << c.config;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << c.config;
        EXPECT_GT(C_Classify("house", "en", "ASCIIDocument"), 0.0f) << c.config;
        if (c.dutchHouse > 0.0f)
            EXPECT_NEAR(C_Classify("huis", "nl", "ASCIIDocument"), c.dutchHouse, 1e-6) << c.config;
        else
            EXPECT_LT(C_Classify("huis", "nl", "ASCIIDocument"), 1.0f / 3.0f) << c.config;
        std::filesystem::current_path(dir_);
    }
}

TEST_F(Exports, ListedModelMissingFailsTheStartButTheOthersLoad) {
    Build("huis", "nl4.bin");
    std::filesystem::create_directories("data");
    std::filesystem::rename("nl4.bin", "data/nl4.bin");
    Write("data/lid.cfg", Config("0.5", "ngramfile_nl_nt=nl4.bin\nngramfile_fr_nt=fr4.bin\n"));
    std::filesystem::create_directories("away");
    std::filesystem::current_path("away");
    testing::internal::CaptureStderr();
    EXPECT_EQ(C_InitLanguageClassifier("../data/lid.cfg"), -1);
    const std::string missing = (std::filesystem::path("../data") / "fr4.bin").string();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "morvik: model file '" + missing + "' not loaded: No such file or directory\n");
    EXPECT_NEAR(C_Classify("huis", "nl", "ASCIIDocument"), 1.0 / 3.0, 1e-6);
    EXPECT_STREQ(C_ClassifyLanguage("huis"), "?? 0.3333") << "the threshold was still read";
}

TEST_F(Exports, CorruptModelStaysUnloadedWithOneLine) {
    Write("nl4.bin", std::string("MORVIKNG\0\0\0\1\0\0\0\5 no entries after all", 36));
    Write("lid.cfg", Config("0.1", "ngramfile_nl_nt=nl4.bin\n"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(C_InitLanguageClassifier("lid.cfg"), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "morvik: model file 'nl4.bin' not loaded: checksum mismatch\n");
    EXPECT_EQ(C_Classify("huis", "nl", "ASCIIDocument"), 0.0f);
}

TEST_F(Exports, BuildingReportsMissingTrainingTextAndUnknownType) {
    Write("build.cfg", "[Ngrams]\nn=4\nngramfile=m.bin\n[Batch-Specs]\ntopicfile=absent.txt\n"
                       "topictype=ASCIIDocument\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(BC_Init("build.cfg"), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Could not open topic file: absent.txt\n");

    Write("train.txt", "huis");
    Write("build.cfg", "[Ngrams]\nn=4\nngramfile=m.bin\n[Batch-Specs]\ntopicfile=train.txt\n"
                       "topictype=PDFDocument\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(BC_Init("build.cfg"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unknown Document Type\n");
    EXPECT_EQ(BC_CreateClassifier(), -1);
    EXPECT_EQ(BC_Close(), 0);
    // Nothing collected: the model holds only nrchars = 0 and loads, scoring nothing.
    EXPECT_EQ(C_Init("m.bin", 4, "de", "ASCIIDocument"), 0);
    EXPECT_EQ(C_Classify("huis", "de", "ASCIIDocument"), 0.0f);

    Write("build.cfg", "[Ngrams]\nn=4\n[Batch-Specs]\ntopicfile=train.txt\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(BC_Init("build.cfg"), -1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("entry \"ngramfile\""),
              std::string::npos);
}

TEST_F(Exports, EachBuildInAProcessMakesItsModelFromItsOwnTextOnly) {
    Build("het huis is groot en de tuin is mooi\n", "eerst.bin");
    Build("the house is big and the garden is nice\n", "daarna.bin");
    const std::string second = Read("daarna.bin");
    Build("the house is big and the garden is nice\n", "alleen.bin");
    EXPECT_EQ(second, Read("alleen.bin"));
    // The Dutch text of the first build is in no model but the first.
    EXPECT_EQ(C_Init("daarna.bin", 4, "en", "ASCIIDocument"), 0);
    EXPECT_EQ(C_Init("eerst.bin", 4, "nl", "ASCIIDocument"), 0);
    EXPECT_GT(C_Classify("het huis is groot", "nl", "ASCIIDocument"),
              C_Classify("het huis is groot", "en", "ASCIIDocument"));
}

TEST_F(Exports, LargeAndHighByteTextsScoreWithinBounds) {
    Build("het huis van de buren staat aan de gracht en de boom in de tuin is oud", "nl4.bin");
    Write("lid.cfg", Config("0.1", "ngramfile_nl_nt=nl4.bin\n"));
    ASSERT_EQ(C_InitLanguageClassifier("lid.cfg"), 0);
    // Random bytes 1-255: every control character, entity and tag fragment the cleaners meet.
    std::mt19937 rng(7);
    std::string noise(256u << 10, ' ');
    for (char& c : noise)
        c = static_cast<char>(1 + rng() % 255);
    // 10 MB of mail-like text with markup and Latin-1 letters.
    std::string big;
    const std::string piece = "De tuin &amp; het huis <b>caf\xE9</b> \xE9\xE8n \x93mail\x94\r\n";
    while (big.size() < (10u << 20))
        big += piece;
    for (const std::string* text : {&noise, &big}) {
        for (const char* type : {"ASCIIDocument", "HTMLDocument"}) {
            const float s = C_Classify(text->c_str(), "nl", type);
            EXPECT_GT(s, 0.0f) << type;
            EXPECT_LE(s, 1.0f) << type;
        }
        const std::string answer = C_ClassifyLanguage(text->c_str());
        EXPECT_EQ(answer.size(), 9u) << answer;
    }
}

} // namespace
