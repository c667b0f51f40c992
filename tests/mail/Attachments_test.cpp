// The attachments named after a message's text.
#include <mail/Attachments.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <korp/KorpMsg.h>
#include <mail/SpokenText.h>

#include "MailRig.h"

namespace brevon {
namespace {

constexpr std::int64_t kPhoto = 200 * 1024;

TEST(AttachmentSentence, NamesUpToFiveWithTheirKindInDutch) {
    const struct {
        const char* what;
        std::vector<Attachment> attachments;
        const char* sentence; // Windows-1252
    } cases[] = {
        {"none", {}, ""},
        {"one", {{"factuur.pdf", 1000}}, "Met \xE9\xE9n bijlage: factuur, een PDF-bestand."},
        {"two",
         {{"notulen.docx", 1}, {"vakantie.JPG", kPhoto}},
         "Met twee bijlagen: notulen, een Word-document; vakantie, een foto."},
        {"five",
         {{"a.xlsx", 1}, {"b.pptx", 1}, {"c.zip", 1}, {"d.mp3", 1}, {"e.ics", 1}},
         "Met vijf bijlagen: a, een spreadsheet; b, een presentatie; c, een zip-bestand; d, een "
         "geluidsbestand; e, een afspraak."},
        {"more than five",
         {{"1.pdf", 1},
          {"2.pdf", 1},
          {"3.pdf", 1},
          {"4.pdf", 1},
          {"5.pdf", 1},
          {"6.pdf", 1},
          {"7.pdf", 1}},
         "Met zeven bijlagen: 1, een PDF-bestand; 2, een PDF-bestand; 3, een PDF-bestand; 4, een "
         "PDF-bestand; 5, een PDF-bestand en nog twee."},
        {"many more", std::vector<Attachment>(20, {"x.txt", 1}),
         "Met 20 bijlagen: x, een tekstbestand; x, een tekstbestand; x, een tekstbestand; x, een "
         "tekstbestand; x, een tekstbestand en nog 15."},
        {"an unknown kind and no extension",
         {{"gegevens.dat", 1}, {"LEESMIJ", 1}},
         "Met twee bijlagen: gegevens; LEESMIJ."},
        {"dots, underscores and blanks in the name",
         {{"verslag.v2.final.docx", 1}, {"jaar__overzicht_2026 .pdf", 1}},
         "Met twee bijlagen: verslag.v2.final, een Word-document; jaar overzicht 2026, een "
         "PDF-bestand."},
        {"nothing but an extension, or no name at all",
         {{".pdf", 1}, {"_cosa_", 1}, {"_cosa_.eml", 1}},
         "Met drie bijlagen: een PDF-bestand; een naamloos bestand; een doorgestuurd bericht."},
        {"a name in Windows-1252",
         {{"cr\xE8me br\xFBl\xE9\x65.pdf", 1}},
         "Met \xE9\xE9n bijlage: cr\xE8me br\xFBl\xE9\x65, een PDF-bestand."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(AttachmentSentence(c.attachments), c.sentence);
    }
}

TEST(AttachmentSentence, PicturesInsideTheTextAndLogosAreNotAttachments) {
    const struct {
        Attachment attachment;
        bool embedded;
    } cases[] = {
        {{"image001.png", kPhoto}, true}, // a mail program's embedded picture
        {{"Image12.JPG", kPhoto}, true},  //
        {{"bedrijfslogo.gif", kPhoto}, true},
        {{"icoon.png", 3000}, true},       // small: an icon or a signature's picture
        {{"vakantie.jpg", kPhoto}, false}, // a photo
        {{"image.png", kPhoto}, false},    // no number: a name someone chose
        {{"imagerie.png", kPhoto}, false},
        {{"klein.pdf", 100}, false}, // small, but not a picture
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.attachment.name);
        EXPECT_EQ(IsEmbeddedPicture(c.attachment), c.embedded);
    }
}

// A base64 body of that many bytes.
std::string Base64Of(std::size_t bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes / 3; ++i) {
        out += "QUJD";
        if (i % 19 == 18) out += "\n";
    }
    return out + "\n";
}

std::string Part(const std::string& type, const std::string& headers, const std::string& body) {
    return "--g\nContent-Type: " + type + "\n" + headers + "\n" + body;
}

// A newsletter-like message: its text, two inline pictures, a signature logo and the two files
// the sender attached.
std::string MailWithAttachments(const std::string& text) {
    return "From: Jan <jan@voorbeeld.nl>\nTo: piet@voorbeeld.nl\nSubject: Stukken\n"
           "Content-Type: multipart/mixed; boundary=\"g\"\n\n" +
           Part("text/plain", "", text) +
           Part("image/png; name=\"image001.png\"",
                "Content-Transfer-Encoding: base64\nContent-ID: <a@b>\n", Base64Of(30000)) +
           Part("image/gif; name=\"logo.gif\"", "Content-Transfer-Encoding: base64\n",
                Base64Of(2000)) +
           Part("application/pdf; name=\"factuur.pdf\"", "Content-Transfer-Encoding: base64\n",
                Base64Of(3000)) +
           Part("image/jpeg; name=\"tuin.jpg\"", "Content-Transfer-Encoding: base64\n",
                Base64Of(60000)) +
           "--g--\n";
}

TEST(AttachmentSentence, AParsedMessageNamesOnlyWhatTheSenderAttached) {
    korp::TKorpMsg message;
    message.RawMail.SetText(MailWithAttachments("Zie bijlagen.\n"));
    message.ParseRawMail();
    ASSERT_EQ(message.AttachedFiles.Count(), 4u);
    EXPECT_EQ(AttachmentSentence(AttachmentsToSay(message)),
              "Met twee bijlagen: factuur, een PDF-bestand; tuin, een foto.");
}

TEST(AttachmentSentence, AReadingEndsWithTheAttachmentsWhenAsked) {
    const std::string named = "Met twee bijlagen: factuur, een PDF-bestand; tuin, een foto.";
    const struct {
        const char* what;
        const char* text; // the message's own text part
        bool option;
        std::string spoken; // after the header sentence
    } cases[] = {
        {"after the text", "Zie bijlagen.\n", true,
         "[num][para][clean]Zie bijlagen.\r\n" + named + "\r\n"},
        {"instead of saying there is no text", "", true, named + "\r\n"},
        {"not without the option", "Zie bijlagen.\n", false, "[num][para][clean]Zie bijlagen.\r\n"},
        {"no text and no option", "", false, std::string(kNoTextSentence) + "\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fakes::MailRig rig;
        rig.settings.SayAttachments = c.option;
        rig.box.Add("u1", MailWithAttachments(c.text));
        rig.CheckAndListen();
        rig.shell.StopHeaderTimer();
        rig.mail.PlayMessage();
        EXPECT_EQ(rig.LastSaid(), "1. Van Jan. Onderwerp: Stukken\r" + c.spoken);
    }
}

} // namespace
} // namespace brevon
