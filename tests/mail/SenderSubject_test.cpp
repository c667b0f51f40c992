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
    };
    for (const auto& c : cases) {
        const SenderParts parts = SplitSender(c.from);
        EXPECT_EQ(parts.name, c.name) << c.from;
        EXPECT_EQ(parts.address, c.address) << c.from;
    }
}

TEST(CleanSubject, StripsReplyAndForwardMarksPassByPass) {
    const struct {
        const char* subject;
        const char* cleaned;
    } cases[] = {
        {"Re: Fwd: Re: vergadering (fwd)", "vergadering"},
        {"[Nieuws] Re: vergadering", "Nieuws] Re: vergadering"},
        {"RE: FW: FWD: Fw: uitje", "uitje"},
        {"re: klein", "re: klein"},
        {"AW: Antwort", "AW: Antwort"},
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
    // A line without a TAB is all subject.
    EXPECT_EQ(HeaderSentence(4, "los"), "4. Van . Onderwerp: los");
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
