// Whole mail bodies through the three engines in order, as brevon sends them.
#include <string>

#include <gtest/gtest.h>

#include "ZqTestSupport.h"

namespace {

class Chain : public ::testing::Test {
protected:
    static void SetUpTestSuite() { zqtest::startEngines(); }
};

TEST_F(Chain, PlainReplyWithSignatureAndQuote) {
    const std::string body =
        "Hoi Anna,\r\n"
        "\r\n"
        "De vergadering is verplaatst naar 14-03-2000 om 14:30. De zaal kost\r\n"
        "\x80 12,50 per persoon, dat is 25% minder dan vorig jaar. Bel me op\r\n"
        "06-12345678 als je vragen hebt.\r\n"
        "\r\n"
        "Groeten,\r\n"
        "Piet\r\n"
        "\r\n"
        "-- \r\n"
        "Piet Pietersen | www.pietersen.nl\r\n"
        "\r\n"
        "Op 1 maart 2000 om 09:00 schreef Anna <anna@example.nl>:\r\n"
        "> Wanneer is de vergadering?\r\n";
    EXPECT_EQ(zqtest::chain(body, true),
              "Hoi Anna,\r\n\r\n"
              "De vergadering is verplaatst naar veertien maart tweeduizend om veertien uur "
              "dertig. De zaal kost twaalf euro vijftig per persoon, dat is vijfentwintig procent "
              "minder dan vorig jaar. Bel me op nul zes, twaalf, vierendertig, zesenvijftig, "
              "achtenzeventig als je vragen hebt.\r\n\r\n"
              "Groeten,\r\nPiet.");
}

TEST_F(Chain, HtmlOnlyNewsletter) {
    const std::string body =
        "<!DOCTYPE html>\r\n<html><head><meta charset=\"windows-1252\"><style>td{}</style>"
        "</head>\r\n<body><table><tr><td><h1>Nieuwsbrief 3e kwartaal</h1>"
        "<p>Op 1 juli openen we om 9.30 uur. Korting: 10%!</p>"
        "<p><a href=\"https://t.example.com/c/ABCDEF0123456789abcdef\">Bekijk online</a></p>"
        "<p>=============================</p></td></tr></table></body></html>\r\n";
    EXPECT_EQ(zqtest::chain(body, false),
              "Nieuwsbrief derde kwartaal.\r\n\r\n"
              "Op \xE9\xE9n juli openen we om negen uur dertig. Korting: tien procent!\r\n\r\n"
              "Bekijk online.");
}

// What the cleaning writes out ("t/m", "&") still tells a date or a code; what it leaves
// ("#", "VS.") is the numbers' to say.
TEST_F(Chain, ParcelMailKeepsItsDeadlineAndCodesReadable) {
    const std::string body =
        "Beste klant,\r\n"
        "\r\n"
        "Bestelling #48213 is verzonden naar de VS. Ordernummer #100234 volgt.\r\n"
        "Track & Trace: 3SABCD1234567. Retourneren kan t/m 30-4.\r\n";
    EXPECT_EQ(zqtest::chain(body, false),
              "Beste klant,\r\n\r\n"
              "Bestelling nummer vier acht twee \xE9\xE9n drie is verzonden naar de V S. "
              "Ordernummer \xE9\xE9n nul nul twee drie vier volgt. Track en Trace: drie S A B C D "
              "\xE9\xE9n twee drie vier vijf zes zeven. Retourneren kan tot en met dertig april.");
}

TEST_F(Chain, NoTextSentenceSurvivesTheLaterEngines) {
    EXPECT_EQ(zqtest::numbers(zqtest::paragraphs("Dit \\-bericht \\-bevat \\+geen tekst")),
              "Dit \\-bericht \\-bevat \\+geen tekst.");
}

} // namespace
