// A mailbox of more than 65,535 messages: brevon never deletes, so mailboxes only grow. The
// in-memory server makes each message when it is asked for.
#include <mail/EmailConnection.h>

#include <cstdint>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <mail/MailCheck.h>
#include <mail/SpokenText.h>

#include "MailRig.h"

namespace brevon {
namespace {

using fakes::MailRig;
using ::testing::ElementsAre;

// Message n has the id "u<n>", the sender "Afzender <n>" and the subject "Bericht <n>".
void MakeOnTheFly(fakes::FakeMailbox& box, std::uint32_t count) {
    box.generatedCount = count;
    box.generate = [](std::uint32_t n) {
        const std::string number = std::to_string(n);
        return fakes::FakeMailbox::Message{
            "u" + number, fakes::Mail("Afzender " + number + " <a" + number + "@voorbeeld.nl>",
                                      "Bericht " + number)};
    };
}

TEST(LargeMailbox, TheCheckReadsTheNewestOfSeventyThousandAndAnnouncesTheNextOne) {
    MailRig rig;
    MakeOnTheFly(rig.box, 70000);
    rig.settings.UseNumSaveMails = true;
    rig.settings.NumSaveMails = 3;
    rig.CheckAndListen();

    EXPECT_THAT(rig.state.KnownIds, ElementsAre("u70000", "u69999", "u69998"));
    EXPECT_THAT(rig.Said(), ElementsAre("Er zijn 3 nieuwe berichten\r1. Van Afzender 70000. "
                                        "Onderwerp: Bericht 70000",
                                        "2. Van Afzender 69999. Onderwerp: Bericht 69999",
                                        "3. Van Afzender 69998. Onderwerp: Bericht 69998"));
    EXPECT_THAT(rig.box.lastSession,
                ElementsAre("USER jan", "PASS ****", "STAT", "LAST", "UIDL 70000", "UIDL 69999",
                            "UIDL 69998", "LIST 70000", "TOP 70000 0", "LIST 69999", "TOP 69999 0",
                            "LIST 69998", "TOP 69998 0", "QUIT"));

    // One more arrives, as number 70001.
    rig.box.generatedCount = 70001;
    rig.speech.said.clear();
    rig.CheckAndListen();
    EXPECT_THAT(rig.Said(),
                ElementsAre("Er is een nieuw bericht\r1. Van Afzender 70001. Onderwerp: "
                            "Bericht 70001"));
    EXPECT_THAT(rig.state.KnownIds, ElementsAre("u70001", "u70000", "u69999"));
    EXPECT_EQ(rig.box.Count("TOP 70001 0"), 1);
    EXPECT_EQ(rig.box.Count("TOP"), 4);
}

TEST(LargeMailbox, ACountBeyondWhatTheListCanNumberIsNoMailboxRead) {
    MailRig rig;
    MakeOnTheFly(rig.box, 5);
    rig.CheckAndListen();
    ASSERT_THAT(rig.state.KnownIds, ElementsAre("u5", "u4", "u3", "u2", "u1"));

    // Three thousand million: no list position can number that many, and read otherwise the
    // count would be a wrong one. The list stays, and the listed message is not called gone.
    rig.box.generatedCount = 3000000000u;
    rig.box.commands.clear();
    rig.speech.said.clear();
    rig.state.SayNoNewMail = true;
    rig.CheckAndListen();
    rig.mail.PlayMessage();
    rig.SpeakAll();
    EXPECT_THAT(rig.state.KnownIds, ElementsAre("u5", "u4", "u3", "u2", "u1"));
    EXPECT_EQ(rig.box.Count("UIDL"), 0);
    EXPECT_EQ(rig.box.Count("RETR"), 0);
    for (const std::string& said : rig.Said()) {
        EXPECT_NE(said, kNoNewMailSentence);
        EXPECT_NE(said, std::string(kGoneSentence) + "\r\n");
    }
}

} // namespace
} // namespace brevon
