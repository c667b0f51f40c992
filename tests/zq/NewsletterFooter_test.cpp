// Newsletter footers known by their look: small print at the end of an HTML mail with links, the
// sender's address or legal lines and words to unsubscribe, whatever its words say.
#include <string>

#include <gtest/gtest.h>

#include "ZqTestSupport.h"

namespace {

class NewsletterFooter : public ::testing::Test {
protected:
    static void SetUpTestSuite() { zqtest::startEngines(); }
};

std::string mail(const std::string& body) {
    return "<html><body>\r\n" + body + "\r\n</body></html>\r\n";
}

// Each footer is phrased in words the rule file does not know: in the letter's own print the
// same words are read, so what drops them is their look.
TEST_F(NewsletterFooter, FootersGoByTheirLookAndTheLetterStaysWhole) {
    const struct {
        const char* name;
        const char* letter;
        const char* footerOpen; // the element that gives the footer its look
        const char* footer;
        const char* footerClose;
        const char* heard;    // the letter, cleaned
        const char* ownPrint; // of the footer, read when it is in the letter's own print
    } cases[] = {
        {"webshop: a table cell of tiny grey text",
         "<table width=\"600\"><tr><td style=\"font-family:Arial;font-size:15px;color:#222222\">"
         "<h1>Klaar voor de lente?</h1><p>Beste fietser,</p>"
         "<p>Na de winter verdient je fiets een goede beurt. Deze maand krijg je bij een "
         "onderhoudsbeurt een nieuwe bel cadeau.</p>"
         "<p><a href=\"https://despaak.example.nl/c/9a8b7c?l=beurt\">Maak een afspraak</a></p>"
         "</td></tr>",
         "<tr><td style=\"font-family:Arial;font-size:10px;color:#8c8c8c;padding:16px\">",
         "Fietsenwinkel De Spaak B.V. - Molenweg 12 - 6711 AB Ede<br>\r\n"
         "KvK 51234567 - BTW NL001234567B01<br>\r\n"
         "Deze nieuwsbrief gaat naar alle klanten met een Spaak-pas.<br>\r\n"
         "<a href=\"https://despaak.example.nl/nb/uit?id=8f3a\" style=\"color:#8c8c8c\">"
         "Uitschrijven</a> | <a href=\"https://despaak.example.nl/nb/web?id=8f3a\" "
         "style=\"color:#8c8c8c\">Bekijk in je browser</a>",
         "</td></tr></table>",
         "Klaar voor de lente?\r\n\r\nBeste fietser,\r\n\r\nNa de winter verdient je fiets een "
         "goede beurt. Deze maand krijg je bij een onderhoudsbeurt een nieuwe bel cadeau.\r\n\r\n"
         "Maak een afspraak",
         "Deze nieuwsbrief gaat naar alle klanten met een Spaak-pas."},
        {"bank: points and a named grey, its closing and name in the same small print",
         "<p>Geachte heer De Vries,</p><p>Per 1 maart verandert de rente op uw Internetsparen "
         "rekening. U hoeft zelf niets te doen.</p>",
         "<p style=\"font-size:8pt; color: grey\">",
         "Met vriendelijke groet,<br>Spaarbank Noord<br><br>\r\n"
         "Wilt u deze berichten niet langer per mail krijgen? Dat regelt u in "
         "<a href=\"https://www.spaarbanknoord.example/mijn\">Mijn Spaarbank</a>.<br>\r\n"
         "<a href=\"https://www.spaarbanknoord.example/privacy\">Privacy</a> &middot; "
         "<a href=\"https://www.spaarbanknoord.example/veilig\">Veilig bankieren</a><br>\r\n"
         "Spaarbank Noord N.V., Postbus 1200, 9700 BA Groningen.",
         "</p>",
         "Geachte heer De Vries,\r\n\r\nPer 1 maart verandert de rente op uw Internetsparen "
         "rekening. U hoeft zelf niets te doen.\r\n\r\nMet vriendelijke groet,\r\nSpaarbank "
         "Noord",
         "Dat regelt u in Mijn Spaarbank."},
        {"municipality: an old font element",
         "<h2>Nieuws uit de gemeente</h2><p>Vanaf maandag wordt de Stationsstraat opnieuw "
         "bestraat. Het werk duurt ongeveer drie weken.</p><p>Op woensdag is er een inloopavond "
         "in het gemeentehuis. U bent van harte welkom.</p>",
         "<p><font size=\"1\" color=\"#999999\">",
         "Gemeente Wolderwijk | Postbus 50 | 3840 AB Harderwijk<br>\r\n"
         "Deze digitale nieuwsbrief verschijnt iedere maand.<br>\r\n"
         "<a href=\"https://www.wolderwijk.example.nl/nieuwsbrief/afmelden?e=1f2e\">Klik hier</a> "
         "als u hem niet meer wilt lezen.",
         "</font></p>",
         "Nieuws uit de gemeente\r\n\r\nVanaf maandag wordt de Stationsstraat opnieuw bestraat. "
         "Het werk duurt ongeveer drie weken.\r\n\r\nOp woensdag is er een inloopavond in het "
         "gemeentehuis. U bent van harte welkom.",
         "Deze digitale nieuwsbrief verschijnt iedere maand."},
        {"club: small, under the board's closing",
         "<p>Hallo leden,</p><p>Zaterdag speelt ons eerste team de kampioenswedstrijd. Kom "
         "allemaal aanmoedigen, de bar is vanaf twaalf uur open!</p>"
         "<p>Sportieve groet,<br>Het bestuur</p>",
         "<p><small>",
         "Clubhuis De Kraaien &middot; Sportlaan 3 &middot; 2012 XY Haarlem<br>\r\n"
         "Je krijgt dit bericht als lid van de club. "
         "<a href=\"https://kraaien.example.nl/lid/stop?x=3\">Geen clubmail meer</a> - "
         "<a href=\"https://kraaien.example.nl/portaal\">Ledenportaal</a>",
         "</small></p>",
         "Hallo leden,\r\n\r\nZaterdag speelt ons eerste team de kampioenswedstrijd. Kom "
         "allemaal aanmoedigen, de bar is vanaf twaalf uur open!\r\n\r\nSportieve groet,\r\nHet "
         "bestuur",
         "Je krijgt dit bericht als lid van de club."},
        {"English: a grey element its class names the footer",
         "<h1>New in March</h1><p>Dear reader,</p><p>This month we picked three novels about the "
         "sea. Our favourite is a story of a lighthouse keeper and his daughter.</p>",
         "<div class=\"footer\" style=\"color:#999999;font-size:12px\">",
         "Northwind Books Ltd, 4 Mill Lane, Cambridge CB2 1RX, United Kingdom<br>\r\n"
         "You get this newsletter because you joined our readers' club.<br>\r\n"
         "<a href=\"https://northwind.example.com/optout?r=77\">Opt out</a> | "
         "<a href=\"https://northwind.example.com/web?r=77\">View in browser</a>",
         "</div>",
         "New in March\r\n\r\nDear reader,\r\n\r\nThis month we picked three novels about the "
         "sea. Our favourite is a story of a lighthouse keeper and his daughter.",
         "You get this newsletter because you joined our readers' club."},
        {"German, known only by its shape: a font shorthand and an rgb grey",
         "<p>Liebe Leserin, lieber Leser,</p><p>im April lesen wir gemeinsam einen neuen Roman. "
         "Wir treffen uns jeden Dienstag um acht Uhr im Laden.</p>",
         "<div style=\"font: 10px/14px Arial, sans-serif; color: rgb(136, 136, 136)\">",
         "Buchhandlung Am Markt GmbH, Marktplatz 5, 37073 Goslar<br>\r\n"
         "<a href=\"https://buch.example.de/n/x1\">Nicht mehr erhalten</a> | "
         "<a href=\"https://buch.example.de/n/x2\">Einstellungen</a>",
         "</div>",
         "Liebe Leserin, lieber Leser,\r\n\r\nim April lesen wir gemeinsam einen neuen Roman. Wir "
         "treffen uns jeden Dienstag um acht Uhr im Laden.",
         "Buchhandlung Am Markt GmbH"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(
            zqtest::clean(mail(std::string(c.letter) + c.footerOpen + c.footer + c.footerClose)),
            c.heard);
        const std::string ownPrint =
            zqtest::clean(mail(std::string(c.letter) + "<p>" + c.footer + "</p>"));
        EXPECT_NE(ownPrint.find(c.ownPrint), std::string::npos)
            << "the footer's words alone gave it away:\n"
            << ownPrint;
    }
}

TEST_F(NewsletterFooter, SmallPrintIsKnownInTheWaysMailIsWritten) {
    const std::string letter =
        "<p>Beste klant,</p><p>Deze week krijg je tien procent korting op alle fietstassen.</p>";
    const std::string footer = "Fietsenwinkel De Spaak - Molenweg 12 - 6711 AB Ede<br>"
                               "<a href=\"https://despaak.example.nl/route\">Route</a> | "
                               "<a href=\"https://despaak.example.nl/nb/uit\">Niet meer</a>";
    const std::string heard = "Beste klant,\r\n\r\nDeze week krijg je tien procent korting op "
                              "alle fietstassen.";
    const struct {
        const char* open;
        const char* close;
        bool smallPrint;
    } cases[] = {
        {"<div style=\"font-size:10px\">", "</div>", true},
        {"<div style=\"FONT-SIZE: 0.65em\">", "</div>", true},
        {"<div style=\"font-size:x-small\">", "</div>", true},
        {"<div style=\"color:#999\">", "</div>", true},
        {"<div style=\"color:rgb(153, 153, 153)\">", "</div>", true},
        {"<div style=\"color:DarkGray\">", "</div>", true},
        {"<font size=\"-1\">", "</font>", true},
        {"<font size=2>", "</font>", true},
        {"<font color=999999>", "</font>", true},
        {"<footer>", "</footer>", true},
        {"<div id=\"templateFooter\">", "</div>", true},
        // the letter's own print
        {"<div style=\"font-size:14px;color:#333333\">", "</div>", false},
        {"<div style=\"color:#555555\">", "</div>", false},
        {"<div style=\"color:#3a7d3a\">", "</div>", false},
        {"<div style=\"font:bold 16px/20px Arial\">", "</div>", false},
        {"<font size=\"3\">", "</font>", false},
        {"<small style=\"font-size:14px\">", "</small>", false},
        {"<div style=\"font-size:10px\"><span style=\"font-size:15px;color:#000\">",
         "</span></div>", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.open);
        const std::string cleaned = zqtest::clean(mail(letter + c.open + footer + c.close));
        if (c.smallPrint)
            EXPECT_EQ(cleaned, heard);
        else
            EXPECT_NE(cleaned, heard);
    }
}

// Small print is not enough: at the end of a letter it must follow the letter and show the signs
// of a footer; in the middle it is never touched.
TEST_F(NewsletterFooter, SmallPrintThatIsNoFooterIsRead) {
    const struct {
        const char* name;
        const char* body;
        const char* heard;
    } cases[] = {
        {"a personal letter: its address, a postscript, under it the sender's address and one "
         "link in grey",
         "<div dir=\"ltr\">Lieve Sophie,<br><br>Het feest is bij tante Els thuis. Het adres is:"
         "<br>Kastanjelaan 8<br>3581 GH Utrecht<br><br>Liefs,<br>Oma<br><br>P.S. Neem je de "
         "fotoalbums mee? Ze staan op <a href=\"https://fotos.example.nl/kerst\">het album</a>."
         "<div style=\"color:#888888;font-size:10px\">Oma Jansen<br>Dorpsstraat 1<br>1234 AB "
         "Ergens<br><a href=\"https://omajansen.example.nl\">Mijn blog</a></div></div>",
         "Lieve Sophie,\r\nHet feest is bij tante Els thuis. Het adres is:\r\nKastanjelaan 8\r\n"
         "3581 GH Utrecht\r\nLiefs,\r\nOma\r\nP.S. Neem je de fotoalbums mee? Ze staan op het "
         "album.\r\nOma Jansen\r\nDorpsstraat 1\r\n1234 AB Ergens\r\nMijn blog"},
        {"a short mail all in small print",
         "<div style=\"font-size:10px;color:#999999\">Hoi Piet,<br>De sleutel ligt onder de mat. "
         "Tot vanavond!<br><br>Dorpsstraat 1, 1234 AB Ergens<br>"
         "<a href=\"https://kaart.example.nl/route\">Route</a> | "
         "<a href=\"https://kaart.example.nl/parkeren\">Parkeren</a> | "
         "<a href=\"https://example.nl/nb/afmelden\">Niet meer</a></div>",
         "Hoi Piet,\r\nDe sleutel ligt onder de mat. Tot vanavond!\r\nDorpsstraat 1, 1234 AB "
         "Ergens\r\nRoute | Parkeren | Niet meer"},
        {"a footer-like block in the middle, followed by the letter",
         "<p>Beste klant,</p><p>Onze winkel in Ede is verbouwd en weer open. Kom langs voor "
         "koffie en een rondleiding.</p>"
         "<p style=\"font-size:10px;color:#999999\">Fietsenwinkel De Spaak - Molenweg 12 - 6711 "
         "AB Ede<br><a href=\"https://despaak.example.nl/route\">Route</a> | "
         "<a href=\"https://despaak.example.nl/nb/uit\">Niet meer</a></p>"
         "<p>Tot slot: vanaf volgende week zijn we ook op zondag open.</p>",
         "Beste klant,\r\n\r\nOnze winkel in Ede is verbouwd en weer open. Kom langs voor koffie "
         "en een rondleiding.\r\n\r\nFietsenwinkel De Spaak - Molenweg 12 - 6711 AB Ede\r\nRoute "
         "| Niet meer\r\n\r\nTot slot: vanaf volgende week zijn we ook op zondag open."},
        {"the terms of an offer in small print above the footer stay; the footer goes",
         "<p>Beste klant,</p><p>Deze week krijg je tien procent korting op alle fietstassen in "
         "onze winkel.</p>"
         "<p style=\"font-size:10px;color:#999999\">Geldig tot en met zondag, zolang de voorraad "
         "strekt.</p>"
         "<p style=\"font-size:10px;color:#999999\">Fietsenwinkel De Spaak - Molenweg 12 - 6711 "
         "AB Ede<br><a href=\"https://despaak.example.nl/route\">Route</a> | "
         "<a href=\"https://despaak.example.nl/nb/uit\">Niet meer</a></p>",
         "Beste klant,\r\n\r\nDeze week krijg je tien procent korting op alle fietstassen in onze "
         "winkel.\r\n\r\nGeldig tot en met zondag, zolang de voorraad strekt."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(zqtest::clean(mail(c.body)), c.heard);
    }
}

} // namespace
