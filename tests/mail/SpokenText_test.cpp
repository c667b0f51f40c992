#include <mail/SpokenText.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <engines/Preprocessor.h>
#include <engines/EnginePreprocessor.h>
#include <korp/KorpStreams.h>
#include <mail/LanguageCheck.h>

#include "MailFakes.h"

namespace brevon {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

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

TEST(WithLineEnds, EndsEveryLineWithCrLfAsALineListWouldWriteIt) {
    const struct {
        std::string text;
        std::string ended;
    } cases[] = {
        {"", ""},
        {"een", "een\r\n"},
        {"een\r\ntwee\r\n", "een\r\ntwee\r\n"},
        {"een\ntwee", "een\r\ntwee\r\n"},
        {"een\rtwee\r", "een\r\ntwee\r\n"},
        {"een\r\rtwee", "een\r\n\r\ntwee\r\n"},
        {"een\n\r", "een\r\n\r\n"},
        {"\r\n\r\n", "\r\n\r\n"},
        {"\n", "\r\n"},
        {std::string("ja\0nee", 6), std::string("ja\0nee\r\n", 8)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WithLineEnds(c.text), c.ended) << c.text;
        // What splitting into lines and joining them again gave.
        korp::TStringList lines;
        lines.SetText(c.text);
        EXPECT_EQ(lines.Text(), c.ended) << c.text;
    }
}

// The real preprocessor, as the program starts it.
class RealPreprocessor : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(engines::StartPreprocessor(ZQ_DATA_DIR)); }
    void TearDown() override { engines::StopPreprocessor(); }
    engines::EnginePreprocessor engines_;
};

TEST_F(RealPreprocessor, ABodyComesOutCleanedWithItsNumbersWrittenOut) {
    const std::string body = "Beste Jan,\r\n"
                             "\r\n"
                             "De rekening van \x80 12,50 is betaald.\r\n"
                             "\r\n"
                             "Op 2 mei schreef Jan:\r\n"
                             "> Is de rekening al betaald?\r\n";
    MailSettings settings;
    settings.SkipReply = true;
    EXPECT_EQ(PrepareBodyText(body, settings, nullptr, engines_),
              "Beste Jan,\r\n\r\nDe rekening van twaalf euro vijftig is betaald.\r\n");
    settings.SkipReply = false;
    EXPECT_EQ(PrepareBodyText(body, settings, nullptr, engines_),
              "Beste Jan,\r\n\r\nDe rekening van twaalf euro vijftig is betaald.\r\n\r\n"
              "Op twee mei schreef Jan:\r\nIs de rekening al betaald?\r\n");
}

TEST_F(RealPreprocessor, NothingSpeakableGivesTheNoTextSentence) {
    MailSettings settings;
    settings.SkipReply = true;
    for (const char* body :
         {"\r\n", "> alleen een citaat\r\n", "-----\r\n=====\r\n", "<html></html>\r\n"}) {
        EXPECT_EQ(PrepareBodyText(body, settings, nullptr, engines_),
                  std::string(kNoTextSentence) + ".\r\n")
            << body;
    }
}

TEST(PrepareBodyText, TheGateJudgesTheCleanedTextOrTheRawOneWhenCleaningFails) {
    const std::string raw(120, 'r');
    const std::string cleaned(120, 'c');
    // The engine's answer flat, not as a nested Result: GCC 12 at -O3 warns falsely
    // (-Wmaybe-uninitialized) of the nested one's destruction.
    const struct {
        const char* what;
        std::int32_t cleanLength;
        std::string cleanText;
        std::string scored; // empty: not scored
    } cases[] = {
        {"cleaned", 120, cleaned, cleaned},
        {"cleaning failed", -1, "", raw + "\r\n"},
        {"nothing speakable", 0, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MailSettings settings;
        settings.UseLid = true;
        LanguageCheck gate([&settings] { return settings; }, {});
        std::vector<std::string> scored;
        gate.UseClassifier([&scored](const char* text, const char*, const char*) {
            scored.push_back(text);
            return 0.0f;
        });
        fakes::FakePreprocessor pre;
        pre.useCleanAnswer = true;
        pre.clean = {c.cleanLength, c.cleanText};
        const std::string spoken = PrepareBodyText(raw + "\r\n", settings, &gate, pre);
        if (!c.scored.empty()) {
            EXPECT_THAT(scored, ElementsAre(c.scored));
            EXPECT_EQ(spoken, std::string(kNotDutchSentence) + "\r\n");
        } else {
            EXPECT_TRUE(scored.empty());
            EXPECT_EQ(spoken, "[num][para]" + std::string(kNoTextSentence) + "\r\n");
        }
    }
}

// An HTML mail as a desktop mail program writes it: a style sheet many times the length of
// the letter, Office's own markup around every paragraph.
std::string OfficeStyleMail(const std::string& paragraphs) {
    return R"html(<html xmlns:v="urn:schemas-microsoft-com:vml" xmlns:o="urn:schemas-microsoft-com:office:office" xmlns:w="urn:schemas-microsoft-com:office:word" xmlns:m="http://schemas.microsoft.com/office/2004/12/omml" xmlns="http://www.w3.org/TR/REC-html40">
<head>
<meta http-equiv="Content-Type" content="text/html; charset=iso-8859-1">
<meta name="Generator" content="Microsoft Word 15 (filtered medium)">
<style><!--
/* Font Definitions */
@font-face
	{font-family:"Cambria Math";
	panose-1:2 4 5 3 5 4 6 3 2 4;}
@font-face
	{font-family:Calibri;
	panose-1:2 15 5 2 2 2 4 3 2 4;}
@font-face
	{font-family:Aptos;}
/* Style Definitions */
p.MsoNormal, li.MsoNormal, div.MsoNormal
	{margin:0cm;
	font-size:11.0pt;
	font-family:"Calibri",sans-serif;
	mso-ligatures:standardcontextual;
	mso-fareast-language:EN-US;}
a:link, span.MsoHyperlink
	{mso-style-priority:99;
	color:#0563C1;
	text-decoration:underline;}
a:visited, span.MsoHyperlinkFollowed
	{mso-style-priority:99;
	color:#954F72;
	text-decoration:underline;}
span.EmailStyle17
	{mso-style-type:personal-compose;
	font-family:"Calibri",sans-serif;
	color:windowtext;}
.MsoChpDefault
	{mso-style-type:export-only;
	font-size:10.0pt;
	font-family:"Calibri",sans-serif;
	mso-fareast-language:EN-US;}
@page WordSection1
	{size:612.0pt 792.0pt;
	margin:72.0pt 72.0pt 72.0pt 72.0pt;}
div.WordSection1
	{page:WordSection1;}
--></style><!--[if gte mso 9]><xml>
<o:shapedefaults v:ext="edit" spidmax="1026" />
</xml><![endif]--><!--[if gte mso 9]><xml>
<o:shapelayout v:ext="edit">
<o:idmap v:ext="edit" data="1" />
</o:shapelayout></xml><![endif]-->
</head>
<body lang="NL" link="#0563C1" vlink="#954F72" style="word-wrap:break-word">
<div class="WordSection1">
)html" + paragraphs +
           "</div>\n</body>\n</html>";
}

std::string OfficeParagraph(const std::string& text) {
    return "<p class=\"MsoNormal\"><span style=\"mso-fareast-language:EN-US\">" + text +
           "<o:p></o:p></span></p>\n<p class=\"MsoNormal\"><o:p>&nbsp;</o:p></p>\n";
}

// A web mail's HTML: every block a div carrying the sender's chosen font.
std::string WebMail(const std::vector<std::string>& blocks) {
    std::string html = "<div dir=\"ltr\">";
    for (const std::string& block : blocks)
        html += "<div class=\"gmail_default\" style=\"font-family:verdana,sans-serif;"
                "font-size:small;color:#073763\">" +
                block +
                "</div><div class=\"gmail_default\" style=\"font-family:verdana,"
                "sans-serif;font-size:small;color:#073763\"><br></div>";
    return html + "</div>\n";
}

// The text as a body reaches the composition: every line ended by CR LF.
std::string WithCrLf(const std::string& text) {
    std::string body;
    for (const char c : text)
        body += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return body + "\r\n";
}

// The gate as the program runs it: morvik with the models the tree builds, and the real
// preprocessor. morvik takes its configuration relative to the working directory.
class RealGate : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(std::filesystem::path(MORVIK_CONFIG).parent_path());
        settings_.UseLid = true;
        gate_.EnableLanguageCheck();
        ASSERT_TRUE(gate_.LanguageCheckLoaded());
        ASSERT_TRUE(engines::StartPreprocessor(ZQ_DATA_DIR));
    }
    void TearDown() override {
        engines::StopPreprocessor();
        gate_.DisableLanguageCheck();
        std::filesystem::current_path(previous_);
    }

    MailSettings settings_;
    LanguageCheck gate_{[this] { return settings_; }, {}, "lid.cfg", MORVIK_LIBRARY};
    engines::EnginePreprocessor engines_;
    std::filesystem::path previous_;
};

TEST_F(RealGate, DutchHtmlMailIsReadWhateverItsMarkupAndOtherHtmlMailIsRefused) {
    const struct {
        const char* what;
        std::string html;
        const char* heard; // nullptr: refused as not Dutch
    } cases[] = {
        {"an office mail in Dutch",
         OfficeStyleMail(OfficeParagraph("Beste Marieke,") +
                         OfficeParagraph("Hartelijk dank voor je snelle reactie. Ik kom graag "
                                         "donderdag langs om de plannen voor de nieuwe keuken "
                                         "door te nemen.") +
                         OfficeParagraph("Zou je de tekeningen en de offerte van de aannemer "
                                         "alvast klaar willen leggen?") +
                         OfficeParagraph("Met vriendelijke groet,") +
                         OfficeParagraph("Peter de Groot")),
         "Ik kom graag donderdag langs"},
        {"a web mail in Dutch",
         WebMail({"Hoi Sanne,",
                  "Leuk dat je zaterdag ook meegaat naar de markt. Zullen we om half tien bij "
                  "het station afspreken? Dan kunnen we daarna nog ergens koffie drinken.",
                  "Groetjes,", "Lotte"}),
         "Zullen we om half tien"},
        {"an office mail in English",
         OfficeStyleMail(OfficeParagraph("Dear Mary,") +
                         OfficeParagraph("Thank you for your quick reply. I would be glad to "
                                         "come by on Thursday to go through the plans for the "
                                         "new kitchen.") +
                         OfficeParagraph("Could you have the drawings and the builder's quote "
                                         "ready for us?") +
                         OfficeParagraph("Kind regards,") + OfficeParagraph("Peter Green")),
         nullptr},
        {"a web mail in French",
         WebMail({"Salut Sophie,",
                  "Je suis contente que tu viennes aussi au march\xE9 samedi. On se retrouve "
                  "\xE0 neuf heures et demie devant la gare ? Apr\xE8s, nous pourrons boire un "
                  "caf\xE9 quelque part.",
                  "Bises,", "Louise"}),
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string body = WithCrLf(c.html);
        const std::string spoken = PrepareBodyText(body, settings_, &gate_, engines_);
        if (c.heard) {
            // The raw markup alone would have turned the letter away.
            EXPECT_FALSE(gate_.IsDutchText(body));
            EXPECT_THAT(spoken, HasSubstr(c.heard));
        } else {
            EXPECT_EQ(spoken, std::string(kNotDutchSentence) + "\r\n");
        }
    }
}

} // namespace
} // namespace brevon
