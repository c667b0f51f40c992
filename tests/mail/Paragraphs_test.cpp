// Moving by paragraph while a body is read.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "MailRig.h"

namespace brevon {
namespace {

using fakes::Mail;
using fakes::MailRig;

const std::string kFirst = "1. Van a. Onderwerp: Drie alinea's\r[num][para][clean]Een.\r\n\r\n";
const std::string kSecond = "Twee.\r\n\r\n";
const std::string kThird = "Drie.\r\n";

struct ParagraphRig : MailRig {
    ParagraphRig() {
        settings.ReadByParagraph = true;
        box.Add("u1", Mail("a@b.nl", "Drie alinea's", "Een.\n\nTwee.\n\nDrie.\n"));
        CheckAndListen();
        shell.StopHeaderTimer();
        speech.said.clear();
    }
};

TEST(Paragraphs, ABodyIsToldParagraphByParagraphAndEndsOnce) {
    ParagraphRig rig;
    rig.mail.PlayMessage();
    EXPECT_EQ(rig.Said(), (std::vector<std::string>{kFirst, kSecond, kThird}));
    for (const auto& said : rig.speech.said)
        EXPECT_EQ(said.window, &rig.readingWindow);
    rig.Deliver();
    rig.Deliver();
    EXPECT_TRUE(rig.state.ReadingBody) << "the last paragraph is still being said";
    rig.Deliver();
    EXPECT_FALSE(rig.state.ReadingBody);
    EXPECT_EQ(rig.shell.Buttons(), "PLAY pauze stop back forw");
}

TEST(Paragraphs, ForwardAndBackReadFromTheStartOfTheParagraphReached) {
    // Steps: "end" (the paragraph being said ends), "forw", "back", "pause". After each step
    // that moves, the engine has been stopped and told the rest from the paragraph reached.
    const struct {
        const char* name;
        std::vector<const char*> steps;
        std::vector<std::string> toldAfterPlay;
    } cases[] = {
        {"forward from the first", {"forw"}, {kSecond, kThird}},
        {"forward twice, then back",
         {"forw", "forw", "back"},
         {kSecond, kThird, kThird, kSecond, kThird}},
        {"forward from the second", {"end", "forw"}, {kThird}},
        {"forward at the last does nothing", {"end", "end", "forw"}, {}},
        {"back at the first reads it again", {"back"}, {kFirst, kSecond, kThird}},
        {"back from the second goes to the first", {"end", "back"}, {kFirst, kSecond, kThird}},
        {"back from the third goes to the second", {"end", "end", "back"}, {kSecond, kThird}},
        {"forward while paused reads on from there", {"pause", "forw"}, {kSecond, kThird}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ParagraphRig rig;
        rig.mail.PlayMessage();
        const std::size_t told = rig.speech.said.size();
        int stops = 0;
        for (const std::string step : c.steps) {
            if (step == "end") {
                rig.Deliver();
            } else if (step == "pause") {
                rig.mail.PauseReading();
            } else {
                const std::size_t before = rig.speech.said.size();
                if (step == "forw")
                    rig.mail.NextParagraph();
                else
                    rig.mail.PreviousParagraph();
                if (rig.speech.said.size() > before) ++stops;
            }
        }
        const std::vector<std::string> said = rig.Said();
        EXPECT_EQ(std::vector<std::string>(said.begin() + static_cast<long>(told), said.end()),
                  c.toldAfterPlay);
        EXPECT_EQ(rig.speech.stops, stops);
        EXPECT_FALSE(rig.speech.paused);
        EXPECT_EQ(rig.shell.Buttons(), "play PAUZE STOP back forw");
        // The ends of what was cut off count for nothing: the reading ends once, after the
        // last paragraph told.
        while (rig.speech.pendingEnds.size() > 1)
            rig.Deliver();
        EXPECT_TRUE(rig.state.ReadingBody);
        rig.Deliver();
        EXPECT_FALSE(rig.state.ReadingBody);
    }
}

TEST(Paragraphs, WithoutTheOptionABodyIsOneTextAndTheKeysDoNothing) {
    ParagraphRig rig;
    rig.settings.ReadByParagraph = false;
    rig.mail.PlayMessage();
    rig.mail.NextParagraph();
    rig.mail.PreviousParagraph();
    EXPECT_EQ(rig.Said(), (std::vector<std::string>{kFirst + kSecond + kThird}));
    EXPECT_EQ(rig.speech.stops, 0);
}

} // namespace
} // namespace brevon
