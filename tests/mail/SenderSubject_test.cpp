#include <mail/SenderSubject.h>

#include <string>

#include <gtest/gtest.h>

namespace brevon {
namespace {

TEST(SplitSender, GivesASpeakableNameAndTheAddress) {
    const struct {
        const char* from;
        const char* name;
        const char* address;
    } cases[] = {
        {"Jan Jansen <jan@voorbeeld.nl>", "Jan Jansen", "jan@voorbeeld.nl"},
        {"  jan.de.vries@voorbeeld.nl ", "jan de vries", "jan.de.vries@voorbeeld.nl"},
        {"\"Jansen, Jan\" <jan@voorbeeld.nl>", "Jansen  Jan", "jan@voorbeeld.nl"},
        {"<piet@voorbeeld.nl>", "piet", "piet@voorbeeld.nl"},
        {"jan@voorbeeld.nl (Jan {de} [Vries])", "Jan de Vries", "jan@voorbeeld.nl"},
        {"'O'Brien' <ob@x.ie>", "OBrien", "ob@x.ie"},
        {"zonder-apenstaartje", "", "zonder-apenstaartje"},
        {"", "", ""},
        // Brackets missing or the wrong way round: defined, never out of range.
        {"Jan <jan@voorbeeld.nl", "Jan", "jan@voorbeeld.nl"},
        {"Jan > x <jan@voorbeeld.nl>", "Jan > x", "jan@voorbeeld.nl"},
        {"a) b (c", "c", "a) b"},
        {"<", "", ""},
        {"(", "", ""},
        {"x <>", "x", ""},
        // A name of nothing but quotes or blanks is no name: the address tells it.
        {"\"\" <jan.smit@voorbeeld.nl>", "jan smit", "jan.smit@voorbeeld.nl"},
        {"jan@voorbeeld.nl ( )", "jan", "jan@voorbeeld.nl"},
        {"\"\" <>", "", ""},
    };
    for (const auto& c : cases) {
        const SenderParts parts = SplitSender(c.from);
        EXPECT_EQ(parts.name, c.name) << c.from;
        EXPECT_EQ(parts.address, c.address) << c.from;
    }
}

TEST(MessageSender, FallsBackFromFromToSenderToReplyTo) {
    // Sender and Reply-To as the parser rewrites address lists.
    const struct {
        const char* from;
        const char* sender;
        const char* replyTo;
        const char* name;
        const char* address;
    } cases[] = {
        {"Jan <jan@a.nl>", "\"Piet\" <piet@b.nl>", "\"Kees\" <kees@c.nl>", "Jan", "jan@a.nl"},
        {"", "\"Piet Smit\" <piet@b.nl>", "\"Kees\" <kees@c.nl>", "Piet Smit", "piet@b.nl"},
        {"", "", "\"Kees\" <kees@c.nl>", "Kees", "kees@c.nl"},
        {"  ", "\"\" <>", "\"\" <kees.de.wit@c.nl>", "kees de wit", "kees.de.wit@c.nl"},
        // Only the first entry of a list; a "," inside quotes or brackets does not end it.
        {"", "\"Smit, Piet\" <piet@b.nl>, \"Kees\" <kees@c.nl>", "", "Smit  Piet", "piet@b.nl"},
        {"", "\"\" <\"p,q\"@b.nl>, \"Kees\" <kees@c.nl>", "", "p q", "\"p,q\"@b.nl"},
        // A From whose name and address both come out empty, or as quotes alone, counts as
        // missing.
        {"<>", "\"Piet\" <piet@b.nl>", "", "Piet", "piet@b.nl"},
        {"\"\"", "", "\"Kees\" <kees@c.nl>", "Kees", "kees@c.nl"},
        // One with an address is a sender, even without a name to say.
        {"<MAILER-DAEMON>", "\"Piet\" <piet@b.nl>", "", "", "MAILER-DAEMON"},
        {"", "", "", "", ""},
        {"<>", "\"\" <>", "\"\" <>", "", ""},
    };
    for (const auto& c : cases) {
        const SenderParts parts = MessageSender(c.from, c.sender, c.replyTo);
        EXPECT_EQ(parts.name, c.name) << c.from << " | " << c.sender << " | " << c.replyTo;
        EXPECT_EQ(parts.address, c.address) << c.from << " | " << c.sender << " | " << c.replyTo;
    }
}

TEST(CleanSubject, StripsReplyAndForwardMarksPassByPass) {
    const struct {
        const char* subject;
        const char* cleaned;
    } cases[] = {
        {"Re: Fwd: Re: vergadering (fwd)", "vergadering"},
        {"RE: FW: FWD: Fw: uitje", "uitje"},
        // Any run of the usual prefixes, in any case, with or without a count.
        {"re: klein", "klein"},
        {"AW: Antwort", "Antwort"},
        {"Antw: Doorst: offerte", "offerte"},
        {"WG: TR: RV: SV: VS: rondje", "rondje"},
        {"RE: RE: RE: lang", "lang"},
        {"Fwd: Re: agenda", "agenda"},
        {"fWd:re:kort", "kort"},
        {"Re[2]: stand", "stand"},
        {"RE (3): stand", "stand"},
        {"Re [12] : AW(2):stand", "stand"},
        {"RE : TR : devis", "devis"},
        {"Re:", ""},
        {"Re: Re:", ""},
        // Words that merely start like a prefix, and prefixes without their ":", stay.
        {"Reservering: tafel voor vier", "Reservering: tafel voor vier"},
        {"Re-integratie", "Re-integratie"},
        {"Antwoord gevraagd: uiterlijk vrijdag", "Antwoord gevraagd: uiterlijk vrijdag"},
        {"Re vergadering", "Re vergadering"},
        {"Fwd2: x", "Fwd2: x"},
        {"Re[]: x", "Re[]: x"},
        {"Re[2: x", "Re[2: x"},
        {"Re(a): x", "Re(a): x"},
        {"Vergadering: Re: agenda", "Vergadering: Re: agenda"},
        // Behind a list's tag the prefixes go too; the tag's text stays.
        {"[Nieuws] Re: vergadering", "Nieuws] vergadering"},
        {"Re: [Nieuws] AW: Fwd: vergadering", "Nieuws] vergadering"},
        {"[Nieuws] Re:", "Nieuws"},
        {"[Nieuws] Reservering", "Nieuws] Reservering"},
        {"[]", ""},
        {"[ ]", " "},
        {"  Re:  ", ""},
        {"(fwd) vooraan (fwd)", "(fwd) vooraan (fwd)"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CleanSubject(c.subject), c.cleaned) << c.subject;
}

TEST(HeaderSentence, NamesPositionSenderAndSubjectOrTheMissingSubject) {
    EXPECT_EQ(HeaderSentence(3, "Jan Jansen\tvergadering"),
              "3. Van Jan Jansen. Onderwerp: vergadering");
    EXPECT_EQ(HeaderSentence(1, "Jan\t" + CleanSubject("[]")), "1. Van Jan. \\+Geen onderwerp");
    EXPECT_EQ(HeaderSentence(2, "Jan\t" + CleanSubject("[ ]")), "2. Van Jan. Onderwerp:  ");
    // Without a sender name, a line without a TAB included, the sender is unknown.
    EXPECT_EQ(HeaderSentence(4, "los"), "4. Van een onbekende afzender. Onderwerp: los");
    EXPECT_EQ(HeaderSentence(5, ListLine("", "")),
              "5. Van een onbekende afzender. \\+Geen onderwerp");
    EXPECT_EQ(HeaderSentence(6, " \tx"), "6. Van een onbekende afzender. Onderwerp: x");
}

TEST(ListLine, KeepsOneMessageOnOneLine) {
    EXPECT_EQ(ListLine("Jan\tJansen", "regel een\r\nregel\ttwee\r"),
              "Jan Jansen\tregel een  regel twee ");
    const TabParts parts = SplitAtTab(ListLine("Jan", "a\tb"));
    EXPECT_EQ(parts.before, "Jan");
    EXPECT_EQ(parts.after, "a b");
}

TEST(ReplaceNum, ReplacesTheFirstOccurrenceOnly) {
    EXPECT_EQ(ReplaceNum("Er zijn %NUM nieuwe berichten", 3), "Er zijn 3 nieuwe berichten");
    EXPECT_EQ(ReplaceNum("%NUM en %NUM", 1), "1 en %NUM");
    EXPECT_EQ(ReplaceNum("geen", 1), "geen");
}

} // namespace
} // namespace brevon
