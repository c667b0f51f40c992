#include <mail/LanguageCheck.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <mail/MailSettings.h>
#include <mail/SpokenText.h>

#include "MailFakes.h"

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

TEST_F(RealLibrary, TellsWhichLanguageAShortMailIsIn) {
    // Reading mail in its own language alone loads the library too.
    settings_.ReadInOwnLanguage = true;
    LanguageCheck check([this] { return settings_; }, {}, "lid.cfg", MORVIK_LIBRARY);
    check.EnableLanguageCheck();
    ASSERT_TRUE(check.LanguageCheckLoaded());

    // One everyday mail in many languages, 150 to 200 characters, Windows-1252.
    const struct {
        const char* text;
        const char* language;
    } cases[] = {
        {"Hi Peter, thanks for sending the slides so quickly. I have a few small comments on the "
         "budget part; could we go through them on Thursday after lunch? Cheers, Anna",
         "en"},
        {"Hoi Peter, bedankt dat je de dia's zo snel hebt gestuurd. Ik heb nog een paar kleine "
         "opmerkingen over de begroting; kunnen we die donderdag na de lunch doornemen? Groet, "
         "Anna",
         "nl"},
        {"Bonjour Pierre, merci de m'avoir envoy\xE9 les diapositives si vite. J'ai quelques "
         "petites remarques sur le budget ; pourrions-nous en parler jeudi apr\xE8s le "
         "d\xE9jeuner ? Amiti\xE9s, Anne",
         "fr"},
        {"Hallo Peter, danke, dass du die Folien so schnell geschickt hast. Ich habe noch ein paar "
         "kleine Anmerkungen zum Budget; k\xF6nnen wir sie am Donnerstag nach dem Mittagessen "
         "durchgehen? Gru\xDF, Anna",
         "de"},
        {"Ciao Pietro, grazie per avermi mandato le slide cos\xEC in fretta. Ho qualche piccola "
         "osservazione sul budget; possiamo vederle gioved\xEC dopo pranzo? Un saluto, Anna",
         "it"},
        {"Hola Pedro, gracias por enviarme las diapositivas tan r\xE1pido. Tengo algunos "
         "comentarios peque\xF1os sobre el presupuesto; \xBFpodemos revisarlos el jueves "
         "despu\xE9s de comer? Saludos, Ana",
         "es"},
        // Outside the six: no language is likely enough.
        {"Ol\xE1 Pedro, obrigado por me enviar os slides t\xE3o depressa. Tenho alguns pequenos "
         "coment\xE1rios sobre o or\xE7"
         "amento; podemos rev\xEA-los na quinta-feira depois do "
         "almo\xE7o? Abra\xE7o, Ana",
         "??"},
        {"Hej Peter, tak fordi du sendte slides s\xE5 hurtigt. Jeg har et par sm\xE5 kommentarer "
         "til budgettet; kan vi gennemg\xE5 dem p\xE5 torsdag efter frokost? Hilsen Anna",
         "??"},
        {"Hej Peter, tack f\xF6r att du skickade bilderna s\xE5 snabbt. Jag har n\xE5gra "
         "sm\xE5 kommentarer om budgeten; kan vi g\xE5 igenom dem p\xE5 torsdag efter lunch? "
         "H\xE4lsningar, Anna",
         "??"},
        {"Hei Pekka, kiitos ett\xE4 l\xE4hetit diat niin nopeasti. Minulla on pari pient\xE4 "
         "huomautusta budjetista; voisimmeko k\xE4yd\xE4 ne l\xE4pi torstaina lounaan "
         "j\xE4lkeen? Terveisin Anna",
         "??"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(check.ClassifyLanguage(c.text), c.language) << c.text;
    // Under 100 characters nothing is judged.
    EXPECT_EQ(check.ClassifyLanguage(kEnglish.substr(0, 99)), "");
    check.DisableLanguageCheck();
    EXPECT_EQ(check.ClassifyLanguage(kEnglish), "");
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
        // morvik's -1: the text could not be scored, which says nothing about its language.
        {-1.0f, true},
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

TEST(LanguageCheck, AMailTheLibraryCouldNotScoreIsReadAsIfNoLibraryWereLoaded) {
    MailSettings settings;
    settings.UseLid = true;
    LanguageCheck check([&settings] { return settings; }, {}, "lid.cfg", UNSCORING_MORVIK);
    check.EnableLanguageCheck();
    ASSERT_TRUE(check.LanguageCheckLoaded());
    const std::string notice = "brevon: morvik could not judge this message's language; it is "
                               "read without the language check\n";

    testing::internal::CaptureStderr();
    EXPECT_TRUE(check.IsDutchText(kEnglish));
    EXPECT_EQ(check.ClassifyLanguage(kEnglish), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), notice + notice);

    // The body is read, not refused, with the gate alone and with reading in the own language.
    fakes::FakePreprocessor preprocessor;
    for (const bool ownLanguage : {false, true}) {
        settings.ReadInOwnLanguage = ownLanguage;
        testing::internal::CaptureStderr();
        const std::string body =
            PrepareBodyText(std::string(kEnglish) + "\r\n", settings, &check, preprocessor);
        testing::internal::GetCapturedStderr();
        ASSERT_FALSE(body.empty());
        EXPECT_NE(body, std::string(kNotDutchSentence) + "\r\n") << ownLanguage;
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
