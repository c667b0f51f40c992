#include <mail/SpokenText.h>

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <engines/Preprocessor.h>
#include <mail/EnginePreprocessor.h>

namespace brevon {
namespace {

using ::testing::ElementsAre;

TEST(RewriteInvitation, TurnsWhenAndWhereIntoOneDutchSentence) {
    const std::string zone = " (GMT+01:00) Amsterdam, Berlin,";
    const struct {
        const char* name;
        std::vector<std::string> lines;
        const char* sentence; // nullptr: not an invitation
    } cases[] = {
        {"the usual layout",
         {"When: Tuesday, March 14, 2000 10:00 AM-11:00 AM" + zone, "Bern, Rome.", "Where: Room 5",
          ""},
         "Wanneer: Dinsdag 14 Maart 2000 van 10:00 AM tot 11:00 AM. Plaats: Room 5"},
        {"further down the body, a leading zero, a place over two lines",
         {"Hallo,", "When: Friday, June 02, 2000 9:00-10:00" + zone, "", "Where: Zaal",
          " 3, Utrecht", "Groet"},
         "Wanneer: Vrijdag 2 Juni 2000 van 9:00 tot 10:00. Plaats: Zaal 3, Utrecht"},
        {"a zone west of Greenwich",
         {"When: Sunday, October 1, 2000 8:00-9:00 (GMT-05:00) Eastern", "", "Where: Boston", ""},
         "Wanneer: Zondag 1 October 2000 van 8:00 tot 9:00. Plaats: Boston"},
        {"no zone at all: the date text stays",
         {"When: Monday, May 1, 2000 8:00-9:00", "", "Where: Thuis", ""},
         "Wanneer: Maandag 1 Mei 2000 van 8:00 tot 9:00. Plaats: Thuis"},
        {"a day and month the tables do not know keep their own words",
         {"When: Mardi, Mars 14, 2000 10:00-11:00", "", "Where: Paris", ""},
         "Wanneer: Mardi 14 Mars 2000 van 10:00 tot 11:00. Plaats: Paris"},
        {"the short form",
         {"When: 14/03/2000 10:00-11:00" + zone, "", "Where: Kamer 2", ""},
         "14/03/2000  van 10:00 tot 11:00. Plaats: Kamer 2"},
        {"the short form with less than five characters before the dash",
         {"When: 9-10", "", "Where: x", ""},
         " van 9 tot 10. Plaats: x"},
        {"the short form without a dash", {"When: morgen", "", "Where:", ""}, "morgen. Plaats: "},
        {"a long form cut short",
         {"When: Monday,", "", "Where: x", ""},
         "Wanneer: Maandag    van  tot . Plaats: x"},
        {"only three lines", {"When: Monday, May 1, 2000 8:00-9:00", "", "Where: x"}, nullptr},
        {"lower case keys", {"when: Monday, May 1, 2000 8:00-9:00", "", "where: x", ""}, nullptr},
        {"Where: not two lines further", {"When: x", "Where: y", "", ""}, nullptr},
        {"no lines", {}, nullptr},
    };
    for (const auto& c : cases) {
        std::string sentence = "stale";
        EXPECT_EQ(RewriteInvitation(c.lines, sentence), c.sentence != nullptr) << c.name;
        EXPECT_EQ(sentence, c.sentence ? c.sentence : "") << c.name;
    }
}

// The real preprocessor, as the program starts it.
class RealPreprocessor : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(engines::StartPreprocessor(ZQ_DATA_DIR)); }
    void TearDown() override { engines::StopPreprocessor(); }
    EnginePreprocessor engines_;
};

TEST_F(RealPreprocessor, ABodyComesOutCleanedWithItsNumbersWrittenOut) {
    const std::vector<std::string> body{"Beste Jan,",
                                        "",
                                        "De rekening van \x80 12,50 is betaald.",
                                        "",
                                        "Op 2 mei schreef Jan:",
                                        "> Is de rekening al betaald?"};
    MailSettings settings;
    settings.SkipReply = true;
    EXPECT_THAT(PrepareBodyText(body, settings, nullptr, engines_),
                ElementsAre("Beste Jan,", "", "De rekening van twaalf euro vijftig is betaald."));
    settings.SkipReply = false;
    EXPECT_THAT(PrepareBodyText(body, settings, nullptr, engines_),
                ElementsAre("Beste Jan,", "", "De rekening van twaalf euro vijftig is betaald.", "",
                            "Op twee mei schreef Jan:", "Is de rekening al betaald?"));
}

TEST_F(RealPreprocessor, NothingSpeakableGivesTheNoTextSentence) {
    MailSettings settings;
    settings.SkipReply = true;
    for (const std::vector<std::string>& body : {std::vector<std::string>{""},
                                                 {"> alleen een citaat"},
                                                 {"-----", "====="},
                                                 {"<html></html>"}}) {
        EXPECT_THAT(PrepareBodyText(body, settings, nullptr, engines_),
                    ElementsAre(std::string(kNoTextSentence) + "."))
            << body.front();
    }
}

} // namespace
} // namespace brevon
