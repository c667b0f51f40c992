#include <korp/KorpMsg.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <korp/KorpErrors.h>

#include "TempDirGuard.h"

using namespace korp;

namespace {

using Strings = std::vector<std::string>;

TStringList List(const Strings& lines) {
    TStringList list;
    for (const auto& l : lines)
        list.Add(l);
    return list;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Fixture(const char* name) {
    return std::string(BREVON_TEST_DATA_DIR) + "/korp/" + name;
}

// Parses a message given as lines, the way the POP3 client hands it over.
void Parse(TKorpMsg& msg, const Strings& lines) {
    msg.RawMail = List(lines);
    msg.ParseRawMail();
}

void ParseFile(TKorpMsg& msg, const char* name) {
    msg.RawMail.LoadFromFile(Fixture(name));
    msg.ParseRawMail();
}

// A multipart/<subtype> with its Content-Type line, holding parts given as header and body lines;
// a part made by this function may be one of them.
Strings Multipart(const std::string& subtype, const std::vector<Strings>& parts) {
    const std::string boundary = "grens-" + subtype;
    Strings lines = {"Content-Type: multipart/" + subtype + "; boundary=" + boundary, ""};
    for (const Strings& part : parts) {
        lines.push_back("--" + boundary);
        lines.insert(lines.end(), part.begin(), part.end());
    }
    lines.push_back("--" + boundary + "--");
    return lines;
}

Strings FileNames(const TAttachedFiles& files) {
    Strings names;
    for (std::size_t i = 0; i < files.Count(); ++i)
        names.push_back(files[i].FileName);
    return names;
}

} // namespace

TEST(HeaderHelpers, FindHeaderMatchesLineStartsAndUnfoldsKeepingTheWhiteSpace) {
    struct Case {
        const char* name;
        Strings lines;
        std::optional<std::string> found;
    };
    const Case cases[] = {
        {"SUBJECT:",
         {"Subject: Lange", " onderwerpregel", "\tdeel", "To: x"},
         "Subject: Lange onderwerpregel\tdeel"},
        {"TO:", {"X-To: a", " To: a"}, std::nullopt},
        {"TO:", {"Subject: To: a", "tO: b"}, "tO: b"},
        {"TO:", {"", "", "To: a"}, "To: a"},          // leading empty lines are skipped
        {"TO:", {"A: 1", "", "To: a"}, std::nullopt}, // the header block ends at an empty line
        {"TO:", {"A: 1", "   ", "To: a"}, "To: a"},   // a line of blanks is not empty
        {"TO:", {"To: a", " b ", "", " c"}, "To: a b "},
        {"TO:", {}, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindHeader(c.name, List(c.lines)), c.found) << c.name;
}

TEST(HeaderHelpers, HeaderValuesAreWholeAndOnlyStructuredOnesLoseTheirParameters) {
    struct Case {
        const char* line;
        const char* whole;
        const char* withoutParams;
    };
    const Case cases[] = {
        {"Subject: Vergadering; agenda volgt", "Vergadering; agenda volgt", "Vergadering"},
        {"From: \"Bakker; Piet\" <piet@example.nl>", "\"Bakker; Piet\" <piet@example.nl>",
         "\"Bakker; Piet\" <piet@example.nl>"},
        {"Subject:   ruim  ", "ruim", "ruim"},
        {"Subject:", "", ""},
        {"Content-Type: text/plain; charset=utf-8", "text/plain; charset=utf-8", "text/plain"},
        {"Content-Disposition: attachment ; filename=\"a;b.pdf\"",
         "attachment ; filename=\"a;b.pdf\"", "attachment"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetHeaderValue(c.line), c.whole) << c.line;
        EXPECT_EQ(GetHeaderValueWithoutParams(c.line), c.withoutParams) << c.line;
    }
}

TEST(HeaderHelpers, GetHeaderParamReadsOneParameterByItsWholeName) {
    struct Case {
        const char* attribute;
        const char* line;
        const char* value;
    };
    const Case cases[] = {
        {"name", "Content-Type: image/gif; name=a?b.gif", "a?b.gif"},
        {"filename", "Content-Disposition: attachment; filename=\"x.pdf\"; size=3", "x.pdf"},
        {"NAME", "Content-Type: x;\r\n\tName = \"a \\\"b\\\".txt\" ; x=1", "a \"b\".txt"},
        // Neither inside another attribute nor inside another parameter's value.
        {"name", "Content-Disposition: attachment; filename=\"x.pdf\"", ""},
        {"name", "Content-Type: application/pdf; x-info=\"name=virus.exe\"; name=rapport.pdf",
         "rapport.pdf"},
        {"charset", "Content-Type: text/plain; name=\"charset=utf-8.txt\"", ""},
        // A ";" in a quoted string belongs to the value.
        {"filename", "Content-Disposition: attachment; filename=\"Notulen; versie 2.pdf\"",
         "Notulen; versie 2.pdf"},
        {"name", "Content-Type: x; name=mijn verslag.doc", "mijn verslag.doc"},
        {"name", "Content-Type: x; name=", ""},
        {"name", "Content-Type: x; name=\"open", "open"},
        {"name", "Content-Type: text/plain", ""},
        // RFC 2231: an extended value wins over the plain one; sections are joined from 0.
        {"filename",
         "Content-Disposition: attachment; filename=\"cafe.pdf\"; filename*=utf-8''caf%C3%A9.pdf",
         "caf\xE9.pdf"},
        {"filename", "Content-Disposition: a; filename*1=\"verslag.pdf\"; filename*0=\"lang \"",
         "lang verslag.pdf"},
        {"filename", "Content-Disposition: a; filename*0*=iso-8859-1'nl'caf%E9; filename*1=.pdf",
         "caf\xE9.pdf"},
        {"filename", "Content-Disposition: a; filename*1=b; filename*2=c", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetHeaderParam(c.attribute, c.line), c.value) << c.line;
}

TEST(HeaderHelpers, StripHeaderBlockLeavesTheBody) {
    struct Case {
        Strings lines;
        Strings body;
    };
    const Case cases[] = {
        {{"A: 1", "B: 2", "", "  ", "body", "", "more"}, {"body", "", "more"}},
        {{"A: 1", "B: 2"}, {}},
        {{"", "body"}, {"body"}},
        {{}, {}},
    };
    for (const auto& c : cases) {
        TStringList list = List(c.lines);
        StripHeaderBlock(list);
        EXPECT_EQ(list.Lines(), c.body);
    }
}

TEST(HeaderHelpers, GetBoundaryReadsQuotedAndBareParameters) {
    struct Case {
        const char* line;
        const char* boundary;
    };
    const Case cases[] = {
        {"Content-Type: multipart/mixed; boundary=\"XYZ\"", "--XYZ"},
        {"Content-Type: multipart/mixed; BOUNDARY = abc ; x=y", "--abc"},
        {"Content-Type: multipart/mixed; boundary=\"a;b\" ; x", "--a;b"},
        {"Content-Type: multipart/mixed; x-note=\"boundary=z\"; boundary=echt", "--echt"},
        {"Content-Type: multipart/mixed; boundary=\"open", "--open"},
        {"Content-Type: multipart/mixed", "--"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetBoundary(c.line), c.boundary) << c.line;
}

TEST(Multipart, NestedPartsAreFlattenedInDocumentOrder) {
    const Strings lines = {"Content-Type: multipart/mixed; boundary=o",
                           "",
                           "preamble",
                           "--o",
                           "Content-Type: multipart/alternative; boundary=i",
                           "",
                           "--i",
                           "A",
                           "--i",
                           "B",
                           "--i--",
                           "--o",
                           "--o",
                           "C",
                           "--o-- ",
                           "D",
                           "--o--",
                           "epilogue"};
    std::vector<std::string_view> views(lines.begin(), lines.end());
    std::vector<Strings> parts;
    for (const auto part : SplitMultipart(views))
        parts.emplace_back(part.begin(), part.end());
    // The line after a boundary always belongs to the next part, even another boundary; a
    // delimiter with a trailing blank is an ordinary line.
    const std::vector<Strings> expected = {{"A"}, {"B"}, {"--o", "C", "--o-- ", "D"}};
    EXPECT_EQ(parts, expected);
}

TEST(AddressLists, AreRewrittenAsQuotedNamesAndBracketedAddresses) {
    struct Case {
        const char* value;
        const char* decoded;
    };
    const Case cases[] = {
        // A quoted display name stays, commas and all (it was dropped once, so a Sender or
        // Reply-To named by it was heard as the part of its address before "@").
        {"\"Vries, Jan\" <jan>, piet", "\"Vries, Jan\" <jan>, \"piet\" <piet>"},
        {"\"Bakker; Piet\" <piet@x.nl>", "\"Bakker; Piet\" <piet@x.nl>"},
        {"\"a <b> (c)\" <real@x.nl>", "\"a <b> (c)\" <real@x.nl>"},
        {"\"Jan \\\"de\\\" Vries\" <j@x.nl>, <p@x.nl>", "\"Jan de Vries\" <j@x.nl>, \"\" <p@x.nl>"},
        {"\"=?iso-8859-1?Q?Andr=E9?=\" <a@b>", "\"Andr\xE9\" <a@b>"},
        {"", "\"\" <>"},
        {"Jan <jan@x.nl>", "\"Jan\" <jan@x.nl>"},
        {"jan@x.nl (Jan de Vries)", "\"Jan de Vries\" <jan@x.nl>"},
        {"a) b (c", "\"\" <a) b (c>"},
        {"=?iso-8859-1?Q?Andr=E9?= <a@b>", "\"Andr\xE9\" <a@b>"},
        {"O'Brien <ob@x>, ", "\"OBrien\" <ob@x>, \"\" <>"},
        {"x > y < z", "\"x > y < z\" <>"},
        {"lone \" quote", "\"quote\" <lone>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeAddressList(c.value), c.decoded) << c.value;
}

TEST(ParseRawMail, SetsHeaderFieldsAsTheExamplesShow) {
    TKorpMsg msg;
    Parse(msg,
          {"Return-Path: <jan>", "Subject: Vergadering; agenda", "Cc: \"Vries, Jan\" <jan>, piet",
           "Date: Tue, 1 Dec 2026 10:00:00 +0100", "Reply-To: a@b", "", "body"});
    EXPECT_EQ(msg.From, "");
    EXPECT_EQ(msg.ReturnPath, "<jan>");
    EXPECT_EQ(msg.Subject, "Vergadering; agenda");
    EXPECT_EQ(msg.CC, "\"Vries, Jan\" <jan>, \"piet\" <piet>");
    EXPECT_EQ(msg.ReplyTo, "\"a@b\" <a@b>");
    EXPECT_EQ(msg.Date, "Tue, 1 Dec 2026 10:00:00 +0100");
    EXPECT_EQ(msg.ContentType, "TEXT/PLAIN");
    EXPECT_EQ(msg.ContentTransferEncoding, "7BIT");
    EXPECT_EQ(msg.Headers.Count(), 5u);
    EXPECT_EQ(msg.Text.Lines(), Strings{"body"});
    EXPECT_TRUE(msg.RawMail.Empty());
    EXPECT_EQ(msg.CharSet, "ISO-8859-1");
    EXPECT_EQ(msg.Priority, prNormal);
}

TEST(ParseRawMail, HeaderFieldsHoldTheWholeUnfoldedHeaderOrNothing) {
    struct Case {
        Strings headers;
        std::string TKorpMsg::*field;
        const char* value;
    };
    const Strings noFrom = {"Return-Path: <jan@example.nl>", "Sender: Jan <jan@example.nl>",
                            "Reply-To: piet@example.nl", "Subject: Zonder afzender"};
    const Case cases[] = {
        {{"Subject: Vergadering; agenda volgt"}, &TKorpMsg::Subject, "Vergadering; agenda volgt"},
        {{"From: \"Bakker; Piet\" <piet@example.nl>"},
         &TKorpMsg::From,
         "\"Bakker; Piet\" <piet@example.nl>"},
        {{"Reply-To: \"Bakker; Piet\" <piet@example.nl>"},
         &TKorpMsg::ReplyTo,
         "\"Bakker; Piet\" <piet@example.nl>"},
        // Unfolding keeps the blank or tab that starts the continuation line.
        {{"Subject: Overleg over de nieuwe", " regeling"},
         &TKorpMsg::Subject,
         "Overleg over de nieuwe regeling"},
        {{"Subject: Overleg over de nieuwe", "\tregeling"},
         &TKorpMsg::Subject,
         "Overleg over de nieuwe\tregeling"},
        // A fold between two encoded words is white space between them, which goes.
        {{"Subject: =?iso-8859-1?Q?Caf=E9bezoek_op_vrij?=", " =?iso-8859-1?Q?dag?="},
         &TKorpMsg::Subject,
         "Caf\xE9"
         "bezoek op vrijdag"},
        {{"Subject: =?utf-8?B?T3ZlcmxlZyBvdmVyIGRl?=", "\t=?utf-8?B?IG5pZXV3ZSByZWdlbGluZw==?="},
         &TKorpMsg::Subject,
         "Overleg over de nieuwe regeling"},
        {{"Content-Type: text/plain;", " charset=\"utf-8\""}, &TKorpMsg::ContentType, "TEXT/PLAIN"},
        // Without From the field stays empty, whatever the first line holds; Sender and
        // Reply-To are there for the reader to fall back on.
        {noFrom, &TKorpMsg::From, ""},
        {noFrom, &TKorpMsg::Sender, "\"Jan\" <jan@example.nl>"},
        {noFrom, &TKorpMsg::ReplyTo, "\"piet@example.nl\" <piet@example.nl>"},
        {noFrom, &TKorpMsg::ReturnPath, "<jan@example.nl>"},
        {{"From jan@example.nl Tue Dec  1 10:00:00 2026", "Subject: x"}, &TKorpMsg::From, ""},
    };
    for (const auto& c : cases) {
        Strings lines = c.headers;
        lines.insert(lines.end(), {"", "tekst"});
        TKorpMsg msg;
        Parse(msg, lines);
        EXPECT_EQ(msg.*c.field, c.value) << c.headers.front();
    }
}

TEST(ParseRawMail, UnderscoresAreBlanksOnlyInQEncodedHeaderWords) {
    TKorpMsg msg;
    Parse(msg,
          {"Subject: =?iso-8859-1?Q?Offerte_2025_voor_klant=5Fservice?= en menu_2025",
           "Content-Type: multipart/mixed; boundary=b", "", "--b",
           "Content-Type: text/plain; charset=iso-8859-1",
           "Content-Transfer-Encoding: quoted-printable", "",
           "Mail klant_service@example.nl over offerte_2025.pdf.", "--b",
           "Content-Type: text/plain; name=offerte_2025.txt",
           "Content-Transfer-Encoding: quoted-printable", "", "bedrag_totaal=3D1250", "--b--"});
    EXPECT_EQ(msg.Subject, "Offerte 2025 voor klant_service en menu_2025");
    EXPECT_EQ(msg.Text.Lines(), Strings{"Mail klant_service@example.nl over offerte_2025.pdf."});
    ASSERT_EQ(msg.AttachedFiles.Count(), 1u);
    EXPECT_EQ(msg.AttachedFiles[0].FileName, "offerte_2025.txt");
    EXPECT_EQ(msg.AttachedFiles[0].Data.Bytes(), "bedrag_totaal=1250");
}

TEST(ParseRawMail, EdgeMessagesGiveEmptyFieldsAndNoFailure) {
    TKorpMsg blankFirst;
    Parse(blankFirst, {"", "From: x", "tekst"});
    EXPECT_EQ(blankFirst.Headers.Count(), 0u);
    EXPECT_EQ(blankFirst.From, "");
    EXPECT_EQ(blankFirst.Text.Lines(), (Strings{"From: x", "tekst"}));

    TKorpMsg headersOnly;
    Parse(headersOnly, {"From: Jan <jan>", "Subject: alleen kop"});
    EXPECT_EQ(headersOnly.From, "Jan <jan>");
    EXPECT_TRUE(headersOnly.Text.Empty());

    TKorpMsg empty;
    empty.ParseRawMail();
    EXPECT_TRUE(empty.Headers.Empty());

    TKorpMsg emptyName; // a name parameter with nothing after its "="
    Parse(emptyName, {"Content-Type: application/x-y; name=", "Content-Transfer-Encoding: base64",
                      "", "SGVsbG8="});
    ASSERT_EQ(emptyName.AttachedFiles.Count(), 1u);
    EXPECT_EQ(emptyName.AttachedFiles[0].FileName, "_cosa_");

    TKorpMsg keep;
    keep.ClearRawMailAfterParse = false;
    Parse(keep, {"Subject: s", "", "b"});
    EXPECT_EQ(keep.RawMail.Count(), 3u);
}

TEST(ParseRawMail, AMessageWithoutContentTypeIsPlainText) {
    TKorpMsg msg;
    ParseFile(msg, "plain_default.eml");
    EXPECT_EQ(msg.From, "");
    EXPECT_EQ(msg.SendTo, "\"Vries, Jan\" <jan>, \"piet\" <piet>");
    EXPECT_EQ(msg.Text.Lines(), (Strings{"Eerste regel.", "Tweede regel."}));
}

TEST(ParseRawMail, QuotedPrintableTextAndEncodedHeadersAreDecoded) {
    TKorpMsg msg;
    ParseFile(msg, "qp_latin1.eml");
    EXPECT_EQ(msg.From, "Andr\xE9 <andre@example.be>");
    EXPECT_EQ(msg.Subject, "Caf\xE9 open");
    EXPECT_EQ(msg.ContentTransferEncoding, "QUOTED-PRINTABLE");
    EXPECT_EQ(msg.Text.Lines(), (Strings{"Het caf\xE9 is open vandaag, zie menu_2025.pdf.",
                                         "Een lange regel die hier doorloopt."}));
}

TEST(ParseRawMail, Utf8TextAndHeadersArrivedInWindows1252) {
    TKorpMsg msg;
    ParseFile(msg, "utf8_qp.eml");
    EXPECT_EQ(msg.From, "Zo\xEB <zoe@example.nl>");
    EXPECT_EQ(msg.Subject, "Caf\xE9 en \"thee\"");
    EXPECT_EQ(msg.SendTo, "\"Zo\xEB\" <zoe@example.nl>"); // raw UTF-8 in a header
    EXPECT_EQ(msg.Text.Lines(), Strings{"Dag Zo\xEB, de prijs is \x80"
                                        "5 \x96 \"goed\" en 'mooi'. L\xF3"
                                        "dz."});
}

TEST(ParseRawMail, MultipartMixedGivesTextAndADecodedPdf) {
    TempDirGuard tmp;
    TKorpMsg msg;
    ParseFile(msg, "mixed_pdf.eml");
    EXPECT_EQ(msg.From, "\"Jan de Vries\" <jan@example.nl>");
    EXPECT_EQ(msg.ContentType, "MULTIPART/MIXED");
    EXPECT_EQ(msg.Text.Lines(), (Strings{"Hier is het rapport.", "Groet, Jan"}));
    ASSERT_EQ(msg.AttachedFiles.Count(), 1u);
    const TAttachedFile& pdf = msg.AttachedFiles[0];
    EXPECT_EQ(pdf.FileName, "rapport.pdf");
    EXPECT_EQ(pdf.FilePath, "rapport.pdf");
    EXPECT_EQ(pdf.Data.Bytes(), ReadFile(Fixture("rapport.pdf.bin")));
    EXPECT_TRUE(pdf.EncodedLines.Empty());
    EXPECT_EQ(tmp.FilesLeft(), 0);
}

TEST(ParseRawMail, EachPartRuleAndEnclosedMessages) {
    TempDirGuard tmp;
    TKorpMsg msg;
    ParseFile(msg, "rules.eml");
    // One of the alternatives is read; the enclosed message is read from its own header block;
    // an unnamed part of another type with an identity encoding is text too.
    EXPECT_EQ(msg.Text.Lines(),
              (Strings{"platte tekst", "ingesloten bericht", "notitie als tekst"}));
    EXPECT_EQ(msg.Subject, "Alle soorten delen");
    ASSERT_EQ(msg.AttachedFiles.Count(), 2u);
    EXPECT_EQ(msg.AttachedFiles[0].FileName, "ab.gif");
    EXPECT_EQ(msg.AttachedFiles[0].Data.Bytes(), std::string("GIF89a\x01\0\x01\0\0\0\0;", 14));
    EXPECT_EQ(msg.AttachedFiles[1].FileName, "_cosa_");
    EXPECT_EQ(msg.AttachedFiles[1].MimeType, "application/octet-stream");
    EXPECT_EQ(msg.AttachedFiles[1].Data.Bytes().size(), 200u);
    EXPECT_EQ(tmp.FilesLeft(), 0);
}

TEST(ParseRawMail, NamedAndUnnamedAttachmentsByEncoding) {
    struct Case {
        Strings lines;
        std::string fileName;
        std::string data;
    };
    const Case cases[] = {
        {{"Subject: Mijn verslag.doc", "Content-Type: text/html; name=\"?\"",
          "Content-Transfer-Encoding: quoted-printable", "", "<b>caf=E9</b>=", "x", "y"},
         "Mijn verslag.html",
         "<b>caf\xE9</b>x\r\ny"},
        {{"Content-Type: text/plain", "Content-Disposition: attachment; filename='c:\\a\\b.txt'",
          "", "een", "twee", ""},
         "cab.txt",
         "een\r\ntwee\r\n"},
        {{"Content-Type: application/x-z; name==?iso-8859-1?Q?caf=E9.z?=",
          "Content-Transfer-Encoding: x-uuencode", "", "begin 644 c", "#0V%T", "`", "end"},
         "caf\xE9.z",
         "Cat"},
        {{"Content-Type: application/x-z", "Content-Transfer-Encoding: quoted-printable", "",
          "a=3Db"},
         "_cosa_",
         "a=b"},
    };
    for (const auto& c : cases) {
        TKorpMsg msg;
        Parse(msg, c.lines);
        ASSERT_EQ(msg.AttachedFiles.Count(), 1u) << c.fileName;
        EXPECT_EQ(msg.AttachedFiles[0].FileName, c.fileName);
        EXPECT_EQ(msg.AttachedFiles[0].Data.Bytes(), c.data) << c.fileName;
        EXPECT_TRUE(msg.Text.Empty());
    }
}

TEST(ParseRawMail, PartParametersAreReadByNameAndNeverFoundInsideOtherValues) {
    struct Case {
        Strings part;
        Strings text;
        Strings attachments;
    };
    const Case cases[] = {
        {{"Content-Type: application/pdf; x-info=\"name=virus.exe\"",
          "Content-Transfer-Encoding: base64", "", "JVBERi0="},
         {},
         {"_cosa_"}},
        // "multipart" in a parameter does not make a multipart.
        {{"Content-Type: text/plain; name=\"multipart-uitleg.txt\"", "", "uitleg"},
         {},
         {"multipart-uitleg.txt"}},
        {{"Content-Type: text/plain",
          "Content-Disposition: attachment; filename=\"Notulen; versie 2.txt\"", "", "notulen"},
         {},
         {"Notulen; versie 2.txt"}},
        // A filename parameter in the Content-Type stands in for its name.
        {{"Content-Type: application/pdf; filename=rapport.pdf",
          "Content-Transfer-Encoding: base64", "", "JVBERi0="},
         {},
         {"rapport.pdf"}},
        {{"Content-Type: application/pdf", "Content-Transfer-Encoding: base64",
          "Content-Disposition: attachment;", " filename*=utf-8''caf%C3%A9.pdf", "", "JVBERi0="},
         {},
         {"caf\xE9.pdf"}},
        {{"Content-Type: text/plain; x-note=\"charset=iso-8859-1\"; charset=utf-8", "",
          "caf\xC3\xA9"},
         {"caf\xE9"},
         {}},
    };
    for (const auto& c : cases) {
        TKorpMsg msg;
        Parse(msg, Multipart("mixed", {c.part}));
        EXPECT_EQ(msg.Text.Lines(), c.text) << c.part.front();
        EXPECT_EQ(FileNames(msg.AttachedFiles), c.attachments) << c.part.front();
    }
}

TEST(ParseRawMail, OneAlternativeIsReadThePlainOneUnlessItOnlyPointsToTheHtml) {
    const auto plain = [](const Strings& body) {
        Strings part = {"Content-Type: text/plain; charset=utf-8", ""};
        part.insert(part.end(), body.begin(), body.end());
        return part;
    };
    const Strings html = {"Content-Type: text/html", "", "<p>Tot morgen om tien uur.</p>"};
    const Strings logo = {"Content-Type: image/png; name=logo.png",
                          "Content-Transfer-Encoding: base64", "Content-ID: <logo>", "",
                          "iVBORw0KGgo="};
    const Strings calendar = {"Content-Type: text/calendar; method=REQUEST", "", "BEGIN:VCALENDAR",
                              "END:VCALENDAR"};
    const Strings letter = {"Tot morgen om tien uur."};
    struct Case {
        const char* what;
        Strings lines;
        Strings text;
        Strings attachments;
    };
    const Case cases[] = {
        {"a plain letter", Multipart("alternative", {plain(letter), html}), letter, {}},
        {"a letter with a link",
         Multipart("alternative",
                   {plain({"Het rooster staat op https://www.example.nl/rooster."}), html}),
         {"Het rooster staat op https://www.example.nl/rooster."},
         {}},
        {"an empty plain part",
         Multipart("alternative", {plain({"", "  "}), html}),
         {"<p>Tot morgen om tien uur.</p>"},
         {}},
        {"a notice to view the mail in a browser",
         Multipart("alternative", {plain({"Bekijk deze e-mail in uw browser:",
                                          "https://nieuws.example.nl/web/2025-03"}),
                                   html}),
         {"<p>Tot morgen om tien uur.</p>"},
         {}},
        {"a notice to use a mail program with HTML",
         Multipart("alternative", {plain({"This is an HTML message. Please use an HTML capable",
                                          "mail reader to view it."}),
                                   html}),
         {"<p>Tot morgen om tien uur.</p>"},
         {}},
        {"a bare link to the web version",
         Multipart("alternative", {plain({"<https://nieuws.example.nl/web/2025-03>"}), html}),
         {"<p>Tot morgen om tien uur.</p>"},
         {}},
        {"the HTML in a related multipart with its image",
         Multipart("alternative",
                   {plain({"Lees de nieuwsbrief online: https://nieuws.example.nl/2025-03"}),
                    Multipart("related", {html, logo})}),
         {"<p>Tot morgen om tien uur.</p>"},
         {"logo.png"}},
        {"a plain letter before a related multipart",
         Multipart("alternative", {plain(letter), Multipart("related", {html, logo})}),
         letter,
         {}},
        {"a nested alternative",
         Multipart("mixed", {Multipart("alternative", {plain({}), html}),
                             Multipart("alternative", {plain(letter), html})}),
         {"<p>Tot morgen om tien uur.</p>", "Tot morgen om tien uur."},
         {}},
        {"an empty plain part rather than calendar data",
         Multipart("alternative", {plain({}), calendar}),
         {},
         {}},
    };
    for (const auto& c : cases) {
        TKorpMsg msg;
        Parse(msg, c.lines);
        EXPECT_EQ(msg.Text.Lines(), c.text) << c.what;
        EXPECT_EQ(FileNames(msg.AttachedFiles), c.attachments) << c.what;
    }
}

TEST(ParseRawMail, AnInvitationIsReadFromItsPlainPartNotItsCalendar) {
    TKorpMsg msg;
    ParseFile(msg, "invitation_alternative.eml");
    EXPECT_EQ(msg.Text.Lines(),
              (Strings{"When: Thursday, March 13, 2025 10:00-11:00 (GMT+01:00) Amsterdam, Berlin, "
                       "Bern,",
                       " Rome, Stockholm, Vienna.", "Where: Bouwkeet Parkstraat 8, Utrecht", "",
                       "*~*~*~*~*~*~*~*~*~*", "",
                       "Graag bespreken we de planning van de keuken ter plaatse.", ""}));
    EXPECT_EQ(msg.AttachedFiles.Count(), 0u);
}

TEST(ParseRawMail, UuencodedBlocksInTextBecomeAttachmentsAndKeepTheirEndLine) {
    TempDirGuard tmp;
    TKorpMsg msg;
    ParseFile(msg, "uu_in_text.eml");
    EXPECT_EQ(msg.Text.Lines(), (Strings{"Kijk maar:", "end", "Tot ziens."}));
    ASSERT_EQ(msg.AttachedFiles.Count(), 1u);
    EXPECT_EQ(msg.AttachedFiles[0].FileName, "foto.jpg");
    EXPECT_EQ(msg.AttachedFiles[0].MimeType, "image/jpeg");
    EXPECT_EQ(msg.AttachedFiles[0].Data.Bytes(), ReadFile(Fixture("foto.jpg.bin")));

    TKorpMsg mode;
    Parse(mode, {"", "begin 0644 x.txt", "#0V%T", "end", "begin 999 y", "begin 000 z"});
    ASSERT_EQ(mode.AttachedFiles.Count(), 1u);
    EXPECT_EQ(mode.AttachedFiles[0].FileName, " x.txt");
    EXPECT_EQ(mode.Text.Lines(), (Strings{"end", "begin 999 y", "begin 000 z"}));
    EXPECT_EQ(tmp.FilesLeft(), 0);
}

TEST(ParseRawMail, KeepsAThousandAttachmentsAtMost) {
    TempDirGuard tmp;
    // 1,100 uuencoded blocks in one text part: each is taken out of the text, the first
    // thousand are kept as attachments.
    std::vector<std::string> lines{"", "Bijlagen:"};
    for (int i = 0; i < 1100; ++i) {
        lines.push_back("begin 644 deel" + std::to_string(i) + ".txt");
        lines.push_back("#0V%T");
        lines.push_back("end");
    }
    TKorpMsg msg;
    msg.RawMail.Lines() = lines;
    msg.ParseRawMail();
    EXPECT_EQ(msg.AttachedFiles.Count(), korp::kMaxAttachments);
    EXPECT_EQ(msg.AttachedFiles[999].FileName, "deel999.txt");
    EXPECT_EQ(msg.Text.Count(), 1u + 1100u); // the text line and every block's "end"
    EXPECT_EQ(tmp.FilesLeft(), 0);
}

TEST(ParseRawMail, AMalformedUuencodedLineRaisesOopsAndKeepsWhatWasParsed) {
    TempDirGuard tmp;
    TKorpMsg msg;
    try {
        ParseFile(msg, "uu_oops.eml");
        ADD_FAILURE() << "no error";
    } catch (const EKorpDecodeError& e) {
        EXPECT_STREQ(e.what(), "Oops...");
    }
    EXPECT_EQ(msg.Subject, "Kapot");
    EXPECT_TRUE(msg.Text.Empty());
    EXPECT_FALSE(msg.RawMail.Empty());
    EXPECT_EQ(tmp.FilesLeft(), 0);
}

TEST(ParseRawMail, DeepNestingAndManyPartsAreHandledWithoutRecursion) {
    // 100,000 enclosed messages with a multipart now and then: a recursive parser would run out
    // of stack. Parts nested over 100 deep are not opened: the enclosed message found at that
    // depth is kept whole as one attachment.
    Strings lines;
    const int depth = 100000;
    for (int i = 0; i < depth; ++i) {
        const bool multipart = i % 10000 == 0;
        lines.push_back(multipart ? "Content-Type: multipart/mixed; boundary=b" + std::to_string(i)
                                  : "Content-Type: message/rfc822");
        lines.push_back("");
        if (multipart) lines.push_back("--b" + std::to_string(i));
    }
    lines.push_back("Content-Type: text/plain");
    lines.push_back("");
    lines.push_back("diep");
    TKorpMsg msg;
    Parse(msg, lines);
    EXPECT_TRUE(msg.Text.Empty());
    ASSERT_EQ(msg.AttachedFiles.Count(), 1u);
    EXPECT_EQ(msg.AttachedFiles[0].FileName, "_cosa_.eml");
    const std::string kept(msg.AttachedFiles[0].Data.Bytes());
    // Level 0 is the message, level 100 the deepest one opened; its body is level 101.
    std::string expected;
    for (std::size_t i = 3 + 2 * 100; i < lines.size(); ++i)
        expected += lines[i] + (i + 1 < lines.size() ? "\r\n" : "");
    EXPECT_EQ(kept, expected);
}

// Multiparts nested levels deep, each holding a text part "niveau <level>" and then the next
// level; the deepest holds the text part "diep". Every level is closed.
Strings NestedMultiparts(int levels) {
    Strings lines = {"Subject: Diep"};
    for (int k = 0; k < levels; ++k) {
        // Appended piece by piece: GCC 12 at -O3 warns wrongly (-Wrestrict) on "text" + string.
        const std::string n = std::to_string(k);
        const auto cat = [](std::string_view a, std::string_view b) {
            std::string s(a);
            s += b;
            return s;
        };
        const std::string b = cat("b", n);
        for (std::string line : {cat("Content-Type: multipart/mixed; boundary=", b), std::string(),
                                 cat("--", b), std::string("Content-Type: text/plain"),
                                 std::string(), cat("niveau ", n), cat("--", b)})
            lines.push_back(std::move(line));
    }
    for (const char* line : {"Content-Type: text/plain", "", "diep"})
        lines.push_back(line);
    for (int k = levels - 1; k >= 0; --k) {
        std::string close = "--b";
        close += std::to_string(k);
        close += "--";
        lines.push_back(std::move(close));
    }
    return lines;
}

TEST(ParseRawMail, TenThousandNestedMultipartsGiveTheTextOfTheFirstHundredLevels) {
    const Strings lines = NestedMultiparts(10000);
    TKorpMsg msg;
    Parse(msg, lines);
    Strings reachable;
    for (int k = 0; k < 100; ++k)
        reachable.push_back("niveau " + std::to_string(k));
    EXPECT_EQ(msg.Text.Lines(), reachable);
    // Level 100 is kept as it stands, up to its own end delimiter.
    ASSERT_EQ(msg.AttachedFiles.Count(), 1u);
    EXPECT_EQ(msg.AttachedFiles[0].FileName, "_cosa_.eml");
    EXPECT_EQ(msg.AttachedFiles[0].MimeType, "message/rfc822");
    const std::string_view kept = msg.AttachedFiles[0].Data.Bytes();
    EXPECT_TRUE(kept.starts_with("Content-Type: multipart/mixed; boundary=b100\r\n\r\n--b100\r\n"));
    EXPECT_NE(kept.find("\r\ndiep\r\n"), std::string_view::npos);
    EXPECT_TRUE(kept.ends_with("\r\n--b100--"));

    // SplitMultipart stops at the same depth: a hundred text parts, then level 100 whole.
    const std::vector<std::string_view> views(lines.begin(), lines.end());
    const auto leaves = SplitMultipart(views);
    ASSERT_EQ(leaves.size(), 101u);
    EXPECT_EQ(leaves[99][2], "niveau 99");
    EXPECT_EQ(leaves[100].front(), "Content-Type: multipart/mixed; boundary=b100");
    EXPECT_EQ(leaves[100].back(), "--b100--");
}

TEST(ParseRawMail, HeaderSearchesRunOnPastBlankLookingLinesAtEveryLevel) {
    // A line of blanks ends a part's header block but not the search for its headers, which
    // runs on to the first empty line; a header found that way is found again by the part
    // enclosed after the blank line.
    struct Case {
        const char* what;
        Strings lines;
        Strings text;
    };
    const Case cases[] = {
        {"enclosed messages separated by lines of blanks",
         {"Content-Type: message/rfc822", " ", "Content-Type: message/rfc822", "\t",
          "Content-Type: text/plain", "", "diep"},
         {"diep"}},
        {"a folded header found by two levels",
         {"X-Kop: 1", " ", "Content-Type: message/rfc822;", " x=1", "", "Subject: binnen", "",
          "diep"},
         {"diep"}},
        {"the encoding after a line of blanks decodes the part's body",
         {"Content-Type: message/rfc822", " ", "Content-Type: text/plain", " ",
          "Content-Transfer-Encoding: quoted-printable", "", "caf=E9"},
         {"Content-Transfer-Encoding: quoted-printable", "", "caf\xE9"}},
        {"the search ends at an empty line",
         {"Content-Type: message/rfc822", "", "X-Kop: 1", "", "Content-Type: text/html", "", "<p>"},
         {"Content-Type: text/html", "", "<p>"}},
        {"a multipart's part",
         {"Content-Type: multipart/mixed; boundary=b", "", "--b", "X-Kop: 1", " ",
          "Content-Type: message/rfc822", "", "Subject: binnen", "", "binnen", "--b--"},
         {"binnen"}},
    };
    for (const auto& c : cases) {
        TKorpMsg msg;
        Parse(msg, c.lines);
        EXPECT_EQ(msg.Text.Lines(), c.text) << c.what;
        EXPECT_EQ(msg.AttachedFiles.Count(), 0u) << c.what;
    }
}
