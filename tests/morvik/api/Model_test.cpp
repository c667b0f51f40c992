#include <morvik/api/ASCIIDocument.h>
#include <morvik/api/ClassifierBuilder.h>
#include <morvik/api/LanguageProfile.h>
#include <morvik/api/ModelFile.h>
#include <morvik/api/ProfileSet.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ios>
#include <random>
#include <string>
#include <vector>

#include "ScoreCases.h"
#include "TempDirTest.h"

namespace {

class Model : public TempDirTest {
protected:
    static void Collect(ClassifierBuilder& b, const std::string& text) {
        ASCIIDocument doc;
        doc.Init(text, nullptr, 0, 0);
        b.Collect(&doc);
    }
    static LanguageProfile Loaded(const char* file) {
        LanguageProfile p;
        EXPECT_EQ(p.Load(4, file, 0), 1);
        return p;
    }
    static float Score(const LanguageProfile& p, const std::string& text) {
        ASCIIDocument doc;
        doc.Init(text, nullptr, 0, 0);
        return p.Score(doc);
    }
};

TEST_F(Model, HuisModelHasVFiveAndEqualValues) {
    ClassifierBuilder b;
    b.N = 4;
    Collect(b, "huis");
    EXPECT_EQ(b.CharCounts.size(), 5u);
    ASSERT_EQ(b.WriteModel("huis.bin"), 1);
    LanguageProfile p = Loaded("huis.bin");
    EXPECT_EQ(p.Model,
              (ModelDictionary{
                  {"nrchars", 5}, {"_hui", -1098613}, {"huis", -1098613}, {"uis_", -1098613}}));
    EXPECT_NEAR(Score(p, "huis"), 1.0 / 3.0, 1e-6);
    // Collecting the same document again doubles the counts.
    Collect(b, "huis");
    EXPECT_EQ(b.NgramCounts.at("huis"), 2);
}

TEST_F(Model, ValuesAreFlooredScaledLogProbabilities) {
    struct {
        int c, c2, v;
        std::int32_t value;
    } cases[] = {{99, 100, 40, -336473}, {5, 20, 40, -2302586}, {0, 0, 40, -3688880}};
    for (const auto& c : cases) {
        ClassifierBuilder b;
        b.N = 4;
        for (int i = 0; i < c.v; ++i)
            b.CharCounts[std::string(1, static_cast<char>('A' + i))] = 1;
        b.NgramCounts["abcd"] = c.c;
        b.PrefixCounts["abc"] = c.c2;
        ASSERT_EQ(b.WriteModel("m.bin"), 1);
        LanguageProfile p = Loaded("m.bin");
        EXPECT_EQ(p.Model.at("abcd"), c.value) << c.c << "/" << c.c2 << "/" << c.v;
        EXPECT_EQ(p.Model.at("nrchars"), c.v);
    }
}

TEST_F(Model, EmptyBuilderWritesOnlyNrchars) {
    ClassifierBuilder b;
    b.N = 4;
    ASSERT_EQ(b.WriteModel("empty.bin"), 1);
    LanguageProfile p = Loaded("empty.bin");
    EXPECT_EQ(p.Model, (ModelDictionary{{"nrchars", 0}}));
    EXPECT_EQ(Score(p, "huis"), 0.0f);
}

TEST_F(Model, ScoresFollowTheFormula) {
    struct {
        const char* what;
        ModelDictionary model;
        std::string text;
        float expected;
    } cases[] = {
        {"every 4-gram at value 0",
         {{"nrchars", 7}, {"_hui", 0}, {"huis", 0}, {"uis_", 0}},
         "Huis huis",
         1.0f},
        {"all unseen scores 1/V", {{"nrchars", 50}, {"xxxx", 0}}, "huis boom", 1.0f / 50},
        {"no 4-gram", {{"nrchars", 50}}, "a b c", 0.0f},
    };
    for (const auto& c : cases) {
        const auto bytes = ModelFile::Encode(c.model);
        Write("m.bin", std::string(bytes.begin(), bytes.end()));
        LanguageProfile p = Loaded("m.bin");
        testing::internal::CaptureStderr();
        const float s1 = Score(p, c.text), s2 = Score(p, c.text);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NEAR(s1, c.expected, 1e-6) << c.what;
        EXPECT_EQ(s1, s2) << c.what;
        if (c.expected == 0.0f) {
            EXPECT_EQ(err, "\nCould not extract N-grams\n\nCould not extract N-grams\n");
        }
    }
    LanguageProfile unloaded;
    EXPECT_EQ(Score(unloaded, "huis"), 0.0f);
}

TEST_F(Model, BadModelFilesLeaveTheProfileUnloadedWithOneLine) {
    ClassifierBuilder b;
    b.N = 4;
    Collect(b, "het huis van de buren staat aan de gracht");
    ASSERT_EQ(b.WriteModel("good.bin"), 1);
    const std::string good = Read("good.bin");
    std::string flipped = good;
    flipped[flipped.size() / 2] ^= 0x10;
    std::string version = good;
    version[11] = 9;
    const auto positive = ModelFile::Encode({{"nrchars", 5}, {"huis", 12}});
    struct {
        const char* what;
        std::string bytes;
        const char* reason;
    } cases[] = {
        {"empty", "", "file too short"},
        {"truncated", good.substr(0, good.size() - 7), "checksum mismatch"},
        {"header only", good.substr(0, 16), "file too short"},
        {"bit flipped", flipped, "checksum mismatch"},
        {"wrong magic", "XORVIKNG" + good.substr(8), "not a model file"},
        {"other version", version, "unsupported format version"},
        {"text file", "[Ngrams]\nn=4\nthreshold=0.1\n", "not a model file"},
        {"positive value", std::string(positive.begin(), positive.end()),
         "positive log probability"},
        {"no nrchars",
         [] {
             const auto b = ModelFile::Encode({{"huis", -5}});
             return std::string(b.begin(), b.end());
         }(),
         "no nrchars entry"},
    };
    for (const auto& c : cases) {
        Write("bad.bin", c.bytes);
        LanguageProfile p;
        testing::internal::CaptureStderr();
        EXPECT_EQ(p.Load(4, "bad.bin", 0), 0) << c.what;
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err, std::string("morvik: model file 'bad.bin' not loaded: ") + c.reason + "\n")
            << c.what;
        EXPECT_FALSE(p.IsLoaded()) << c.what;
        EXPECT_EQ(Score(p, "huis"), 0.0f);
    }
    // Every cut of a good file is refused, never half loaded.
    for (std::size_t cut = 0; cut < good.size(); cut += 7) {
        Write("cut.bin", good.substr(0, cut));
        LanguageProfile p;
        testing::internal::CaptureStderr();
        EXPECT_EQ(p.Load(4, "cut.bin", 0), 0) << cut;
        testing::internal::GetCapturedStderr();
    }
    // A missing file or a folder is silent.
    LanguageProfile p;
    testing::internal::CaptureStderr();
    EXPECT_EQ(p.Load(4, "missing.bin", 0), 0);
    EXPECT_EQ(p.Load(4, ".", 0), 0);
    EXPECT_EQ(p.Load(4, nullptr, 0), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    // A bad file does not spoil a model already loaded.
    LanguageProfile loaded = Loaded("good.bin");
    testing::internal::CaptureStderr();
    EXPECT_EQ(loaded.Load(4, "bad.bin", 0), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(loaded.IsLoaded());
    EXPECT_GT(Score(loaded, "huis"), 0.0f);
}

TEST_F(Model, FileOverTheSizeCapIsRefusedWithOneLine) {
    // Sparse: it takes no disk space, and is refused on its size, before any of it is read.
    Write("huge.bin", "");
    std::filesystem::resize_file("huge.bin", (std::uintmax_t{256} << 20) + 1);
    LanguageProfile p;
    testing::internal::CaptureStderr();
    EXPECT_EQ(p.Load(4, "huge.bin", 0), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "morvik: model file 'huge.bin' not loaded: file too large\n");
    EXPECT_FALSE(p.IsLoaded());
}

TEST_F(Model, FailedWriteLeavesNoFileBehind) {
    ClassifierBuilder b;
    b.N = 4;
    testing::internal::CaptureStderr();
    EXPECT_EQ(b.WriteModel("no/such/folder/m.bin"), 0);
    EXPECT_EQ(b.WriteModel(""), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(std::filesystem::exists("no"));
}

TEST_F(Model, ProfileSetScoresEqualEachProfilesOwnScore) {
    const char* training[] = {"het huis van de buren staat aan de gracht",
                              "the house of the neighbours stands by the canal",
                              "la maison des voisins est au bord du canal", "", "huis"};
    LanguageProfile profiles[6];
    for (int i = 0; i < 5; ++i) {
        ClassifierBuilder b;
        b.N = 4;
        Collect(b, training[i]);
        // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) of "m" + ....
        std::string name = "m";
        name += std::to_string(i);
        name += ".bin";
        ASSERT_EQ(b.WriteModel(name.c_str()), 1);
        ASSERT_EQ(profiles[i].Load(4, name.c_str(), 0), 1);
    }
    // profiles[5] stays unloaded.
    const LanguageProfile* pointers[6];
    for (int i = 0; i < 6; ++i)
        pointers[i] = &profiles[i];
    ProfileSet set;
    set.Build(pointers, 6);
    for (const char* text : {"het huis aan de gracht", "the canal house", "maison huis house",
                             "a b c", "", "\xE9t\xE9 caf\xE9 huis huis"}) {
        Stopper extractor(Stopper::kModeNgrams, 4, 0);
        FourGramTable grams(std::strlen(text));
        const std::int32_t total = extractor.CountFourGrams(text, grams, 0);
        float together[6];
        testing::internal::CaptureStderr();
        set.ScoreFourGrams(grams, total, together);
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(together[i], profiles[i].ScoreFourGrams(grams, total)) << text << " / " << i;
            EXPECT_EQ(set.ScoreFourGrams(i, grams, total), together[i]) << text << " / " << i;
        }
        testing::internal::GetCapturedStderr();
    }
}

TEST_F(Model, ScoresKeepEveryBit) {
    using namespace score_cases;
    LanguageProfile profiles[3];
    for (int i = 0; i < 3; ++i) {
        ClassifierBuilder b;
        b.N = 4;
        Collect(b, kTraining[i].text);
        ASSERT_EQ(b.WriteModel("m.bin"), 1);
        ASSERT_EQ(profiles[i].Load(4, "m.bin", 0), 1);
    }
    const LanguageProfile* pointers[3] = {&profiles[0], &profiles[1], &profiles[2]};
    ProfileSet set;
    set.Build(pointers, 3);
    for (const Case& c : kCases) {
        const float expected[3] = {c.nl, c.en, c.de};
        Stopper extractor(Stopper::kModeNgrams, 4, 0);
        FourGramTable grams(c.text.size());
        ASCIIDocument doc;
        doc.Init(c.text, &extractor, 0, 0);
        const std::int32_t total = doc.ExtractFourGrams(grams);
        float together[3];
        testing::internal::CaptureStderr();
        set.ScoreFourGrams(grams, total, together);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(Score(profiles[i], c.text), expected[i])
                << c.what << " / " << kTraining[i].code << ": " << std::hexfloat
                << Score(profiles[i], c.text);
            EXPECT_EQ(together[i], expected[i]) << c.what << " / " << kTraining[i].code;
        }
        testing::internal::GetCapturedStderr();
    }
}

TEST(SixWayDecision, PicksTheBestAboveTheThreshold) {
    struct {
        const char* what;
        float scores[6]; // en nl de fr it es
        float threshold;
        const char* answer;
    } cases[] = {
        {"tie goes to the earlier", {0.5f, 0.7f, 0.7f, 0.1f, 0.0f, 0.0f}, 0.6f, "nl 0.7000"},
        {"en before nl", {0.7f, 0.7f, 0.0f, 0.0f, 0.0f, 0.0f}, 0.6f, "en 0.7000"},
        {"equal to threshold", {0.6f, 0.1f, 0.0f, 0.0f, 0.0f, 0.0f}, 0.6f, "?? 0.6000"},
        {"below threshold", {0.0f, 0.421f, 0.0f, 0.0f, 0.0f, 0.0f}, 0.8f, "?? 0.4210"},
        {"Dutch above", {0.1f, 0.87314f, 0.2f, 0.0f, 0.0f, 0.0f}, 0.8f, "nl 0.8731"},
        {"last language", {0.1f, 0.1f, 0.1f, 0.1f, 0.1f, 0.3f}, 0.2f, "es 0.3000"},
        {"nothing loaded", {0, 0, 0, 0, 0, 0}, 0.8f, "?? 0.0000"},
        {"null text everywhere", {-1, -1, -1, -1, -1, -1}, 0.0f, "?? 0.0000"},
        {"negative threshold, negative scores", {-1, -1, -1, -1, -1, -1}, -0.5f, "?? 0.0000"},
    };
    for (const auto& c : cases) {
        char out[32];
        SixWayDecision(c.scores, c.threshold, out, sizeof out);
        EXPECT_STREQ(out, c.answer) << c.what;
    }
}

TEST(SixWayDecision, WritesTheScoreAsPrintfWould) {
    // Random scores, ties of the fourth decimal that binary floats hold exactly, the ends.
    std::vector<float> values = {0.0f, 1.0f, 0.03125f, 0.00005f, 0.99995f, 0.12345f, 0.5f};
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> any(0.0f, 1.0f);
    for (int i = 0; i < 100000; ++i)
        values.push_back(any(rng));
    for (float v : values) {
        const float scores[6] = {0, v, 0, 0, 0, 0};
        char out[32], expected[32];
        SixWayDecision(scores, 0.1f, out, sizeof out);
        std::snprintf(expected, sizeof expected, "%s %.4f", v > 0.1f ? "nl" : "??",
                      static_cast<double>(v));
        ASSERT_STREQ(out, expected) << std::hexfloat << v;
    }
    // A short buffer keeps the beginning, terminated, as snprintf does.
    const float scores[6] = {0, 0.5f, 0, 0, 0, 0};
    char out[5];
    SixWayDecision(scores, 0.1f, out, sizeof out);
    EXPECT_STREQ(out, "nl 0");
}

} // namespace
