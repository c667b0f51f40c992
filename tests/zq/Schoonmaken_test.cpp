#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ZqTestSupport.h"

namespace {

struct Case {
    const char* name;
    const char* input;
    bool skipQuoted;
    const char* expected;
};

class Schoonmaken : public ::testing::Test {
protected:
    static void SetUpTestSuite() { zqtest::startEngines(); }
    static void check(const Case* cases, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            SCOPED_TRACE(cases[i].name);
            EXPECT_EQ(zqtest::clean(cases[i].input, cases[i].skipQuoted), cases[i].expected);
        }
    }
};

const char* const kReply = "Prima, dan zie ik je morgen.\r\n"
                           "\r\n"
                           "Op di 14 mrt. 2000 om 10:00 schreef Jan Jansen <jan@example.nl>:\r\n"
                           "> Zullen we morgen afspreken?\r\n"
                           ">> Eerder citaat.\r\n";

TEST_F(Schoonmaken, QuotedRepliesGoOnlyWhenAsked) {
    const Case cases[] = {
        {"skip", kReply, true, "Prima, dan zie ik je morgen."},
        {"keep, markers gone", kReply, false,
         "Prima, dan zie ik je morgen.\r\n\r\n"
         "Op di 14 mrt. 2000 om 10:00 schreef Jan Jansen jan apenstaartje example punt n l:\r\n"
         "Zullen we morgen afspreken?\r\nEerder citaat."},
        {"English introduction wrapped over two lines",
         "Thanks!\r\nOn Tue, Mar 14, 2000 at 10:00 AM John Smith\r\n<john@example.com> wrote:\r\n"
         "> Hello\r\n",
         true, "Thanks!"},
        {"short introduction", "Ja.\r\nPiet schreef:\r\n> Nee?\r\n", true, "Ja."},
        {"Outlook original message",
         "Akkoord.\r\n-----Oorspronkelijk bericht-----\r\n"
         "Van: Jan\r\nVerzonden: maandag\r\nOnderwerp: x\r\n\r\nOud.",
         true, "Akkoord."},
        {"Outlook header block",
         "Akkoord.\r\n________________________________\r\n"
         "Van: Jan <jan@x.nl>\r\nVerzonden: maandag 3 april\r\n"
         "Aan: Piet\r\nOnderwerp: Vergadering\r\n\r\nOude tekst.",
         true, "Akkoord."},
        {"forwarded message is read",
         "Zie hieronder.\r\n---------- Forwarded message ---------\r\nFrom: Jan <jan@x.nl>\r\n"
         "Date: maandag\r\nSubject: Nieuws\r\n\r\nHet nieuws.",
         true,
         "Zie hieronder.\r\n\r\nDoorgestuurd bericht van Jan, onderwerp: Nieuws.\r\n\r\nHet "
         "nieuws."},
        {"a sentence that only looks like an introduction",
         "Op zijn blog schreef hij:\r\nHet gaat goed.", true,
         "Op zijn blog schreef hij:\r\nHet gaat goed."},
        {"nothing but a quote", "> Alleen citaat\r\n> nog meer", true, ""},
    };
    check(cases, std::size(cases));
}

TEST_F(Schoonmaken, ForwardsAreReadAfterAnIntroductionRepliesSkipped) {
    const std::string block =
        "Van: Jan Bakker <jan@x.nl>\r\nVerzonden: dinsdag 5 maart 2024 09:14\r\n"
        "Aan: Kees\r\nOnderwerp: FW: Offerte\r\n\r\nDe offerte.";
    const std::string intro =
        "Doorgestuurd bericht van Jan Bakker, onderwerp: Offerte.\r\n\r\nDe offerte.";
    const struct {
        const char* name;
        std::string input;
        std::string expected;
    } cases[] = {
        {"Outlook block under words that pass it on", "Ter info.\r\n\r\n" + block,
         "Ter info.\r\n\r\n" + intro},
        {"Outlook block with nothing above it but a closing",
         "\r\nGroet,\r\nKees\r\n-----Oorspronkelijk bericht-----\r\n" + block,
         "Groet,\r\nKees\r\n\r\n" + intro},
        {"Outlook block under an answer: a reply", "Akkoord, doen we.\r\n\r\n" + block,
         "Akkoord, doen we."},
        {"a cue inside a word is none", "Hieronderaan staat het.\r\n\r\n" + block,
         "Hieronderaan staat het."},
        {"Apple Mail, a blank line under the marker",
         "Begin doorgestuurd bericht:\r\n\r\nVan: \"Bakker, Jan\" <jan@x.nl>\r\nOnderwerp: "
         "Re: Fwd: Offerte\r\nDatum: 5 maart 2024 om 09:14:00 CET\r\nAan: Kees <k@y.nl>\r\n\r\n"
         "De offerte.",
         "Doorgestuurd bericht van Bakker, Jan, onderwerp: Offerte.\r\n\r\nDe offerte."},
        {"Thunderbird, subject first, tabs, recipients over two lines",
         "-------- Doorgestuurd bericht --------\r\nOnderwerp: \tOfferte\r\nDatum: \tTue, 5 Mar "
         "2024\r\nVan: \tjan@x.nl\r\nAan: \tKees <k@y.nl>,\r\n Piet <p@y.nl>\r\n\r\nDe offerte.",
         "Doorgestuurd bericht van jan apenstaartje x punt n l, onderwerp: Offerte.\r\n\r\nDe "
         "offerte."},
        {"old Outlook address form",
         "-----Original Message-----\r\nFrom: Jan Bakker "
         "[mailto:jan@x.nl]\r\nSent: Tuesday\r\nSubject: Offerte\r\n\r\nDe offerte.",
         intro},
        {"a marker without header fields", "---------- Forwarded message ---------\r\nDe offerte.",
         "Doorgestuurd bericht.\r\n\r\nDe offerte."},
        {"the forwarded message's own reply history is skipped",
         "FYI\r\n\r\n" + block + "\r\n\r\n" + block, "FYI\r\n\r\n" + intro},
        {"a sentence naming a forwarded message is no marker",
         "Hieronder het doorgestuurde bericht van Jan.\r\nTot morgen.",
         "Hieronder het doorgestuurde bericht van Jan.\r\nTot morgen."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(zqtest::clean(c.input, true), c.expected);
    }
    // read all the same when quoted text is kept; a reply's block stays as it was
    EXPECT_EQ(zqtest::clean("Ter info.\r\n\r\n" + block, false), "Ter info.\r\n\r\n" + intro);
    EXPECT_EQ(zqtest::clean("Akkoord.\r\n" + block, false),
              "Akkoord.\r\nVan: Jan Bakker jan apenstaartje x punt n l\r\nVerzonden: dinsdag 5 "
              "maart 2024 09:14\r\nAan: Kees\r\nOnderwerp: FW: Offerte\r\n\r\nDe offerte.");
}

TEST_F(Schoonmaken, AnswersBetweenQuotedLinesAreParagraphsOfTheirOwn) {
    EXPECT_EQ(
        zqtest::clean("> Vraag een?\r\nJa.\r\n> Vraag twee?\r\n>\r\nNee.\r\nEcht niet.", true),
        "Ja.\r\n\r\nNee.\r\nEcht niet.");
}

TEST_F(Schoonmaken, SignaturesAndTagLinesAreDropped) {
    const Case cases[] = {
        {"dash dash space", "Tot morgen.\r\n-- \r\nJan Jansen\r\nTel 0123", false, "Tot morgen."},
        {"signature stripped of its blank", "Tot morgen.\r\n--\r\nJan", false, "Tot morgen."},
        {"quoted text after the signature stays",
         "Ja.\r\n-- \r\nJan\r\n\r\nOp 1 mei schreef Piet:\r\n> Kom je?", false,
         "Ja.\r\nOp 1 mei schreef Piet:\r\nKom je?"},
        {"mobile tag line", "Goed idee!\r\n\r\nVerzonden vanaf mijn iPhone", false, "Goed idee!"},
        {"contact block under a closing and a name",
         "Tot dan.\r\nGroet,\r\nJan\r\nAdviseur\r\nT: 020 123 4567\r\nwww.x.nl", false,
         "Tot dan.\r\nGroet,\r\nJan"},
        {"bilingual closing, name with details on its line",
         "Ok.\r\nMet vriendelijke groet / Kind regards,\r\nJan | X BV | 06-12345678", false,
         "Ok.\r\nMet vriendelijke groet / Kind regards,\r\nJan"},
        {"no contact details: title and company stay", "Ok.\r\nGroet,\r\nJan\r\nAdviseur\r\nX BV",
         false, "Ok.\r\nGroet,\r\nJan\r\nAdviseur\r\nX BV"},
        {"a postscript with a number is the letter",
         "Ok.\r\nGroetjes,\r\nOma\r\nPs. bel me: 06-12345678", false,
         "Ok.\r\nGroetjes,\r\nOma\r\nPs. bel me: 06-12345678"},
        {"an address introduced after the name is the letter",
         "Ok.\r\nGroet,\r\nJan\r\n\r\nMijn nieuwe adres:\r\nDorpsstraat 1\r\n1234 AB Ergens", false,
         "Ok.\r\nGroet,\r\nJan\r\n\r\nMijn nieuwe adres:\r\nDorpsstraat 1\r\n1234 AB Ergens"},
        {"closing words that open a sentence",
         "Groeten aan je moeder!\r\nT: 020 123 4567\r\nBest wel druk.\r\nwww.x.nl", false,
         "Groeten aan je moeder!\r\nT: 020 123 4567\r\nBest wel druk.\r\nx punt n l"},
        {"PGP signature",
         "-----BEGIN PGP SIGNED MESSAGE-----\r\nHash: SHA256\r\n\r\nGetekend.\r\n"
         "-----BEGIN PGP SIGNATURE-----\r\niQEzBAEBCAAdFiEE\r\n-----END PGP SIGNATURE-----",
         false, "Getekend."},
    };
    check(cases, std::size(cases));
}

TEST_F(Schoonmaken, AddressesAndLinksBecomeSpeakable) {
    const Case cases[] = {
        {"URL with path", "Zie https://www.rijksoverheid.nl/onderwerpen?id=5 voor meer.", false,
         "Zie rijksoverheid punt n l voor meer."},
        {"URL in angle brackets", "<http://example.com/a/b>", false, "example punt com"},
        {"www without scheme", "Kijk op www.brevon-test.be.", false,
         "Kijk op brevon test punt b e."},
        {"bare domain", "bestel via bol.com", false, "bestel via bol punt com"},
        {"address", "Mail naar piet.de_vries@mail.example.org!", false,
         "Mail naar piet punt de vries apenstaartje mail punt example punt org!"},
        {"mailto", "mailto:info@zq.nl?subject=hoi", false, "info apenstaartje zq punt n l"},
    };
    check(cases, std::size(cases));
}

TEST_F(Schoonmaken, LinksAndImageStandInsAreNotSpelledOut) {
    const Case cases[] = {
        {"a long link says where it goes",
         "Lees verder: https://click.example.nl/ls/click?upn=a1b2c3d4e5f6g7h8i9j0k1l2m3n4 nu",
         false, "Lees verder: een link naar click punt example punt n l nu"},
        {"a short path is only the host", "Zie https://www.example.nl/contact", false,
         "Zie example punt n l"},
        {"a link glued to its text, as Outlook writes it",
         "Bekijk ons aanbod<https://www.example.nl/aanbod/lente/2024/tuinmeubelen?utm_source=nb>.",
         false, "Bekijk ons aanbod een link naar example punt n l."},
        {"image stand-ins",
         "[image: Logo Bakkerij]Vers brood [cid:image001.png@01DA6F2B.5C3B1E40]"
         "elke dag [https://cdn.example.nl/spacer.gif] [ ] <image002.jpg>",
         false, "Vers brood elke dag"},
        {"other brackets stay", "[Let op] de winkel is [maandag] dicht", false,
         "[Let op] de winkel is [maandag] dicht"},
        {"a '[' without end, and one around others", "Zie [ bijlage [image: x] en [Tekst", false,
         "Zie bijlage en [Tekst"},
        {"rows of links",
         "Facebook | Instagram | LinkedIn\r\nVolg ons op Facebook en X\r\n"
         "Afmelden <https://x.nl/a?u=1> | Voorkeuren wijzigen\r\nTekst",
         false, "Tekst"},
        {"one word is no row", "Facebook\r\nAfmelden\r\nContact", false,
         "Facebook\r\nAfmelden\r\nContact"},
    };
    check(cases, std::size(cases));
}

TEST_F(Schoonmaken, DecorationAndGarbageGo) {
    const Case cases[] = {
        {"separator lines become paragraph breaks",
         "Eerste.\r\n==========\r\nTweede.\r\n*-*-*-*-*-*-*-*-*-*-*-*\r\nDerde.", false,
         "Eerste.\r\n\r\nTweede.\r\n\r\nDerde."},
        {"runs of symbols inside a line", "Let op!!!!! ----- Nu *****", false, "Let op Nu"},
        {"ellipsis stays", "Tja.....", false, "Tja..."},
        {"base64 block",
         "Zie bijlage.\r\nUEsDBBQABgAIAAAAIQDfpNJsWgEAACAFAAATAAgCW0NvbnRlbnRfVHlwZXNdLnht\r\n"
         "bCCiBAIooAACAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA",
         false, "Zie bijlage."},
        {"long compounds stay, hashes and tracking ids go",
         "De arbeidsongeschiktheidsverzekeringsmaatschappij belde over "
         "3f786850e387550fdab836ed7e6dc881de23001b en id=AB12CD34EF56GH78IJ90KL12.",
         false, "De arbeidsongeschiktheidsverzekeringsmaatschappij belde over en"},
        {"smileys, numbers and estimates", "Top :D en <3 voor #5, ~10 mensen", false,
         "Top en voor #5, ongeveer 10 mensen"},
        {"control characters and backslashes",
         "a\x01"
         "b\tc\\d",
         false, "a b c d"},
        {"ampersand and bullets", "* Jan & Piet\r\n\x95 Kees", false, "- Jan en Piet\r\n- Kees"},
        {"names in capitals are no abbreviations", "Ajax vs. PSV, Jansen BV. en de VS.", false,
         "Ajax versus PSV, Jansen BV. en de VS."},
        {"abbreviations", "Bijv. morgen, o.a. Jan enz.", false,
         "Bijvoorbeeld morgen, onder andere Jan enzovoort."},
        {"undeclared quoted-printable", "Caf=E9 met een zach=\r\nte regelbreuk, <a href=3D\"x\">",
         false, "Caf\xE9 met een zachte regelbreuk, <a href=\"x\">"},
        {"lone equals signs are not quoted-printable", "a=1, b=20 en x=\r\ny", false,
         "a=1, b=20 en x=\r\ny"},
        {"UTF-8 body with one stray Windows-1252 byte",
         "Caf\xC3\xA9, cr\xC3\xA8me br\xC3\xBBl\xC3\xA9"
         "e en \xE9\xE9n",
         false,
         "Caf\xE9, cr\xE8me br\xFBl\xE9"
         "e en \xE9\xE9n"},
        {"Windows-1252 body stays",
         "Caf\xE9 \x80 5, na\xEF"
         "ef",
         false,
         "Caf\xE9 \x80 5, na\xEF"
         "ef"},
        {"UTF-8 body", "Caf\xC3\xA9 \xE2\x82\xAC 5 \xF0\x9F\x98\x80", false, "Caf\xE9 \x80 5"},
    };
    check(cases, std::size(cases));
}

TEST_F(Schoonmaken, HtmlSourceBecomesText) {
    const Case cases[] = {
        {"markup, scripts, styles and entities",
         "<html><head><title>T</title><style>p{x:y}</style></head><body>"
         "<p>Caf&eacute; &amp; taart&nbsp;voor &euro;&#160;3</p><script>var a=1;</script>"
         "<!-- opmerking --><p>Tot <b>straks</b>!</p></body></html>",
         false, "Caf\xE9 en taart voor \x80 3\r\n\r\nTot straks!"},
        {"line breaks, lists and tables",
         "<div>Hoi,<br>Hier:</div><ul><li>een</li><li>twee</li></ul>"
         "<table><tr><td>A</td><td>B</td></tr><tr><td>C</td></tr></table>",
         false, "Hoi,\r\nHier:\r\n\r\n- een\r\n- twee\r\n\r\nA B\r\nC"},
        {"link text, not the link",
         "<p>Lees <a href=\"https://x.nl/?a=1&b=2\">dit artikel</a>.</p>", false,
         "Lees dit artikel."},
        {"blockquote is quoted text",
         "<div>Goed.</div><div>Op 1 mei schreef Jan &lt;jan@x.nl&gt;:</div>"
         "<blockquote>Kom je ook?</blockquote>",
         true, "Goed."},
        {"blockquote kept without markers",
         "<div>Goed.</div><blockquote><div>Kom je ook?</div></blockquote>", false,
         "Goed.\r\n\r\nKom je ook?"},
        {"multipart/alternative read once",
         "Hallo Anna,\r\n\r\nTot vrijdag!\r\n"
         "<html><body><p>Hallo Anna,</p><p>Tot <i>vrijdag</i>!</p></body></html>\r\n",
         false, "Hallo Anna,\r\n\r\nTot vrijdag!"},
        {"different HTML part is kept",
         "Zie de nieuwsbrief.\r\n<html><body><p>Nieuws over de tuin.</p></body></html>", false,
         "Zie de nieuwsbrief.\r\n\r\nNieuws over de tuin."},
        {"unclosed tag and comparisons are text", "<p>3 <4 en 5> 2</p>a <b", false,
         "3 <4 en 5> 2\r\n\r\na <b"},
    };
    check(cases, std::size(cases));
}

TEST_F(Schoonmaken, HtmlPartsOpenWithAnyElement) {
    const Case cases[] = {
        {"heading", "<h1>Nieuws</h1>\r\n<p>Tekst</p>", false, "Nieuws\r\n\r\nTekst"},
        {"list", "<ul><li>een</li><li>twee</li></ul>", false, "- een\r\n- twee"},
        {"link with an image",
         "<a href=\"https://x.nl/?q=1\"><img src=\"logo.png\" alt=\"Logo\"></a>", false, ""},
        {"bold", "<b>Let op:</b> morgen dicht", false, "Let op: morgen dicht"},
        {"comment first", "<!-- [if mso]><table><![endif] -->\r\n<p>Hallo</p>", false, "Hallo"},
        {"closing tag first", "</div>\r\n<div>Rest</div>", false, "Rest"},
        {"tag continued on the next line", "<a\r\nhref=\"x\">Lees</a>", false, "Lees"},
        // no elements: an address, a link, a comparison
        {"angle-bracket address", "<jan@example.nl>\r\nHallo", false,
         "jan apenstaartje example punt n l\r\nHallo"},
        {"angle-bracket link", "<https://example.nl>", false, "example punt n l"},
        {"unknown name", "<groet>\r\nJan", false, "<groet>\r\nJan"},
    };
    check(cases, std::size(cases));
}

TEST_F(Schoonmaken, EntitiesBrowsersReadAreDecoded) {
    const Case cases[] = {
        {"without ';'", "<p>Caf&eacute met&nbspvrienden &amp collega's</p>", false,
         "Caf\xE9 met vrienden en collega's"},
        {"numeric without ';'", "<p>&#233&#xE9 en &#8364</p>", false, "\xE9\xE9 en \x80"},
        {"old name at the start of a word", "<p>Tot&nbspmorgen in caf&eacutes</p>", false,
         "Tot morgen in caf\xE9s"},
        {"outside the tables: silent", "<p>Lees meer &rarr; &hearts;&check;</p>", false,
         "Lees meer"},
        {"invisible and symbol code points", "<p>a&#8203;b&ZeroWidthSpace;c &#x1F600; d</p>", false,
         "abc d"},
        {"more names", "<p>&circ;&minus;5 &Zcaron;</p>", false, "\x88-5 \x8E"},
        {"out of range", "<p>x&#99999999999999;y</p>", false, "xy"},
        {"no entity", "<p>AT&T en R&D; zijn namen, a & b ook &#; &#x; &</p>", false,
         "AT&T en R&D; zijn namen, a en b ook &#; &#x; en"},
    };
    check(cases, std::size(cases));
}

TEST_F(Schoonmaken, TextHiddenFromViewIsNotRead) {
    const Case cases[] = {
        {"preheader",
         "<div style=\"display:none;font-size:1px;max-height:0;overflow:hidden;mso-hide:all\">"
         "Bekijk onze aanbiedingen&zwnj;&nbsp;&zwnj;</div><p>Beste klant,</p>",
         false, "Beste klant,"},
        {"display none in capitals, with !important",
         "<span style=\"DISPLAY: NONE !important\">weg</span><p>Hier</p>", false, "Hier"},
        {"visibility, opacity, clipped",
         "<p>Een</p><div style=\"visibility:hidden\">x</div><div style=\"opacity:0\">y</div>"
         "<div style=\"height:0;overflow:hidden\">z</div><p>Twee</p>",
         false, "Een\r\n\r\nTwee"},
        {"hidden and aria-hidden attributes",
         "<p>Een <span hidden>x</span><span aria-hidden=\"true\">y</span>twee</p>", false,
         "Een twee"},
        {"text of no size", "<p>Een<span style=\"font-size:0px\">verstopt</span> twee</p>", false,
         "Een twee"},
        {"a point, or a tenth of the text around it",
         "<p>Een<span style=\"font-size:1pt\">x</span><span style=\"font-size:0.1em\">y</span> "
         "twee</p>",
         false, "Een twee"},
        {"nested elements of the same name",
         "<div style=\"display:none\"><div>a</div><div>b</div></div><div>Zichtbaar</div>", false,
         "Zichtbaar"},
        {"ended by its parent", "<table><tr><td><div hidden>x</td><td>Zichtbaar</td></tr></table>",
         false, "Zichtbaar"},
        {"paragraph ended by the next", "<p style=\"display:none\">x<b>y<p>Zichtbaar</p>", false,
         "Zichtbaar"},
        // shown as a browser would show them, or kept when in doubt
        {"zero-size cell with sized text inside",
         "<table><tr><td style=\"font-size:0\"><div style=\"font-size:14px\">Kolom</div></td></tr>"
         "</table>",
         false, "Kolom"},
        {"visible values",
         "<div style=\"display:block;opacity:0.5;font-size:12px\">Zichtbaar</div>", false,
         "Zichtbaar"},
        {"sizes relative to the text around them",
         "<p style=\"font-size:0.9em\">Een</p><p style=\"font-size:.8rem\">twee</p>"
         "<p style=\"font-size:85%\">drie</p>",
         false, "Een\r\n\r\ntwee\r\n\r\ndrie"},
        {"never closed", "<div style=\"display:none\">Niet gesloten", false, "Niet gesloten"},
        {"closed only by the body", "<body><div style=\"display:none\">Tekst</body>", false,
         "Tekst"},
        {"style in a value", "<div title=\"display:none\">Zichtbaar</div>", false, "Zichtbaar"},
    };
    check(cases, std::size(cases));
}

std::string repeat(const std::string& piece, int times) {
    std::string s;
    for (int i = 0; i < times; ++i)
        s += piece;
    return s;
}

TEST_F(Schoonmaken, UnclosedTagsStayTextWhateverTheirNumber) {
    // A '<' before a letter that no '>' follows is text; the first '>' closes a tag however many
    // '<' came before it.
    struct Repeated {
        const char* name;
        std::string input;
        std::string expected;
    };
    std::vector<Repeated> cases;
    for (int n : {1, 2, 3, 7}) {
        cases.push_back({"tags without '>'", "<html><body>" + repeat("<a", n), repeat("<a", n)});
        cases.push_back({"among words", "<html><body>Hallo " + repeat("<a b", n) + " wereld",
                         "Hallo " + repeat("<a b", n) + " wereld"});
        cases.push_back({"one '>' at the end", "<html>" + repeat("<a", n) + ">rest", "rest"});
        cases.push_back({"each closed by the next tag's '>'",
                         "<html>" + repeat("<b>v<a", n) + " en <i>w</i>", repeat("v", n) + "w"});
    }
    for (int n : {1, 2, 3})
        cases.push_back({"declarations without '>'", "<html>" + repeat("<!x", n) + "z",
                         repeat("<!x", n) + "z"});
    // An open quote in a tag reaches to the first '>' after it.
    const std::pair<int, const char*> quoted[] = {{1, "x <a href='y"},
                                                  {2, "x x <a href='y"},
                                                  {3, "x x <a href='y"},
                                                  {7, "x x x x <a href='y"}};
    for (const auto& [n, expected] : quoted)
        cases.push_back({"open quotes", "<html>\r\n" + repeat("<p>x <a href='y", n), expected});
    // Past the length of a word the run of '<a' is garbage, not speech.
    cases.push_back({"a long run", "<html><body>" + repeat("<a", 40), ""});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(zqtest::clean(c.input), c.expected) << c.name;
    }
}

TEST_F(Schoonmaken, EveryHtmlPartThatRepeatsThePlainTextIsDropped) {
    const Case cases[] = {
        {"three repeats",
         "Hallo wereld\r\n<p>Hallo wereld</html>\r\n<p>Hallo</html>\r\n<p>wereld</html>", false,
         "Hallo wereld"},
        {"words from several plain lines", "Hallo\r\nwereld\r\n<p>Hallo wereld</html>", false,
         "Hallo\r\nwereld"},
        // An HTML part that is read starts the comparison afresh.
        {"after a different part", "Hallo wereld\r\n<p>Anders</html>\r\n<p>Hallo wereld</html>",
         false, "Hallo wereld\r\n\r\nAnders\r\n\r\nHallo wereld"},
        {"plain text after a different part",
         "Hallo wereld\r\n<p>Anders</html>\r\nNieuw woord\r\n<p>Nieuw woord</html>", false,
         "Hallo wereld\r\n\r\nAnders\r\n\r\nNieuw woord"},
    };
    check(cases, std::size(cases));
}

TEST_F(Schoonmaken, BlockquotesNestedTenThousandDeepAreAllQuoted) {
    const std::string body = "<div>Boven</div>" + repeat("<blockquote>a", 10000);
    EXPECT_EQ(zqtest::clean(body, true), "Boven");
    EXPECT_EQ(zqtest::clean(body, false), "Boven" + repeat("\r\n\r\na", 10000));
}

} // namespace
