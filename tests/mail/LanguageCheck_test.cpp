#include <mail/LanguageCheck.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <mail/MailSettings.h>

namespace brevon {
namespace {

// Mail-like Dutch and English prose, over 100 characters each.
const std::string kDutch =
    "Beste Jan, morgen komen we om tien uur bij elkaar in de grote zaal. Wil jij de koffie "
    "regelen en de stukken van de vorige vergadering meenemen? Groeten, Marieke";
const std::string kEnglish =
    "Dear John, we will meet tomorrow at ten in the large room. Could you take care of the "
    "coffee and bring the papers from the last meeting? Best regards, Mary";

// morvik takes the configuration's name and the model names in it relative to the working
// directory, as the program runs it.
class RealLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(std::filesystem::path(MORVIK_CONFIG).parent_path());
    }
    void TearDown() override { std::filesystem::current_path(previous_); }

    MailSettings settings_;
    std::filesystem::path previous_;
};

TEST_F(RealLibrary, ClassifiesTextsOfAHundredCharactersOrMore) {
    settings_.UseLid = true;
    LanguageCheck check([this] { return settings_; }, {}, "lid.cfg", MORVIK_LIBRARY);
    check.EnableLanguageCheck();
    ASSERT_TRUE(check.LanguageCheckLoaded());

    const struct {
        std::string text;
        bool dutch;
    } cases[] = {
        {kDutch, true},
        {kEnglish, false},
        {kEnglish.substr(0, 100), false},
        // 99 characters, line break included, are never classified.
        {kEnglish.substr(0, 97) + "\r\n", true},
        {std::string(), true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(check.IsDutchText(c.text), c.dutch) << c.text.size() << ": " << c.text;
}

TEST_F(RealLibrary, EnableDisableAndApplyFollowUseLidWithTheBusyCursorAroundTheLoad) {
    std::vector<bool> busy;
    LanguageCheck check([this] { return settings_; }, [&busy](bool on) { busy.push_back(on); },
                        "lid.cfg", MORVIK_LIBRARY);

    settings_.UseLid = false;
    check.EnableLanguageCheck();
    EXPECT_FALSE(check.LanguageCheckLoaded());
    EXPECT_TRUE(busy.empty());
    EXPECT_TRUE(check.IsDutchText(kEnglish)); // nothing loaded: everything is read

    settings_.UseLid = true;
    check.ApplyLanguageCheckSetting();
    EXPECT_TRUE(check.LanguageCheckLoaded());
    EXPECT_EQ(busy, (std::vector<bool>{true, false}));
    EXPECT_FALSE(check.IsDutchText(kEnglish));

    check.ApplyLanguageCheckSetting(); // already loaded: no second load
    EXPECT_EQ(busy.size(), 2u);

    settings_.UseLid = false;
    check.ApplyLanguageCheckSetting();
    EXPECT_FALSE(check.LanguageCheckLoaded());
    EXPECT_TRUE(check.IsDutchText(kEnglish));

    settings_.UseLid = true;
    check.EnableLanguageCheck();
    EXPECT_TRUE(check.LanguageCheckLoaded());
    check.DisableLanguageCheck();
    EXPECT_FALSE(check.LanguageCheckLoaded());
    EXPECT_TRUE(check.IsDutchText(kEnglish));
    check.DisableLanguageCheck(); // twice is harmless
    EXPECT_EQ(busy, (std::vector<bool>{true, false, true, false}));
}

TEST_F(RealLibrary, AConfigurationWithoutTheDutchModelLeavesTheGateOff) {
    // Otherwise every long mail would score 0 and be refused as not Dutch.
    settings_.UseLid = true;
    LanguageCheck check([this] { return settings_; }, {}, "no-such-lid.cfg", MORVIK_LIBRARY);
    check.EnableLanguageCheck();
    EXPECT_FALSE(check.LanguageCheckLoaded());
    EXPECT_TRUE(check.IsDutchText(kEnglish));
}

TEST(LanguageCheck, AMissingOrIncompleteLibraryIsNotLoadedAndEveryTextCountsAsDutch) {
    MailSettings settings;
    settings.UseLid = true;
    // A library that does not exist, and one that exists without morvik's functions.
    for (const char* library : {"/nonexistent/libmorvik.so", "no-such-library.dll", "libm.so.6"}) {
        std::vector<bool> busy;
        LanguageCheck check([&settings] { return settings; },
                            [&busy](bool on) { busy.push_back(on); }, "lid.cfg", library);
        check.EnableLanguageCheck();
        EXPECT_FALSE(check.LanguageCheckLoaded()) << library;
        EXPECT_EQ(busy, (std::vector<bool>{true, false})) << library;
        EXPECT_TRUE(check.IsDutchText(kEnglish)) << library;
        check.ApplyLanguageCheckSetting(); // tries again, still without a crash
        check.DisableLanguageCheck();
        EXPECT_FALSE(check.LanguageCheckLoaded()) << library;
    }
}

TEST(LanguageCheck, TheScoreMustBeStrictlyAboveATenthInExtendedPrecision) {
    MailSettings settings;
    LanguageCheck check([&settings] { return settings; }, {});
    const std::string longText(100, 'a');
    const struct {
        float score;
        bool dutch;
    } cases[] = {
        {0.1f, true},                        // 0.100000001490116...
        {std::nextafter(0.1f, 0.0f), false}, // 0.0999999940395355...
        {0.5f, true},
        {0.0f, false},
        {-1.0f, false},
    };
    for (const auto& c : cases) {
        std::string language, type;
        check.UseClassifier([&](const char*, const char* l, const char* t) {
            language = l;
            type = t;
            return c.score;
        });
        EXPECT_EQ(check.IsDutchText(longText), c.dutch) << c.score;
        EXPECT_EQ(language, "nl");
        EXPECT_EQ(type, "ASCIIDocument");
    }
}

TEST(LanguageCheck, ShortTextsAreNeverHandedToTheClassifier) {
    MailSettings settings;
    LanguageCheck check([&settings] { return settings; }, {});
    int calls = 0;
    check.UseClassifier([&calls](const char*, const char*, const char*) {
        ++calls;
        return 0.0f;
    });
    EXPECT_TRUE(check.IsDutchText(std::string(99, 'a')));
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(check.IsDutchText(std::string(100, 'a')));
    EXPECT_EQ(calls, 1);
}

} // namespace
} // namespace brevon
