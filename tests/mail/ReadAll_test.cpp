// "Alles voorlezen": the new messages read one after the other, each fetched when its turn comes.
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <mail/MailCheck.h>
#include <mail/ReadingController.h>

#include "MailRig.h"

namespace brevon {
namespace {

using fakes::MailRig;
using ::testing::ElementsAre;

// What a message of the rig sounds like in a run: its header sentence, then its body as the
// marking preprocessor leaves it.
std::string Read(int position, int message) {
    const std::string n = std::to_string(message);
    return std::to_string(position) + ". Van Afzender " + n + ". Onderwerp: Bericht " + n +
           "\r[num][para][clean]Hallo,\r\n\r\nTot morgen.\r\n";
}
std::string Next(const std::string& reading) {
    return std::string(kNextMessageSentence) + "\r" + reading;
}

// A rig whose check found messages 1..n new and announced them.
struct Announced : MailRig {
    explicit Announced(int n) {
        AddMessages(1, n);
        CheckAndListen();
        speech.said.clear();
        box.commands.clear();
    }
};

TEST(ReadAll, ReadsEveryNewMessageOnceInListOrderFetchingEachInItsTurn) {
    Announced rig(3);
    const int connections = rig.box.connections;
    rig.mail.ReadAll();
    // One message fetched, in a session of its own that is over before it is spoken.
    EXPECT_EQ(rig.box.Count("RETR"), 1);
    EXPECT_EQ(rig.box.connections, connections + 1);
    EXPECT_EQ(rig.client.OwnedMessageCount(), 0u);
    EXPECT_EQ(rig.box.commands.back(), "QUIT");
    EXPECT_EQ(rig.shell.Buttons(), "play PAUZE STOP BACK FORW");
    EXPECT_FALSE(rig.shell.mailTimer);
    rig.Deliver();
    EXPECT_EQ(rig.box.Count("RETR"), 2);
    EXPECT_EQ(rig.box.connections, connections + 2);
    rig.SpeakAll();

    EXPECT_THAT(rig.Said(),
                ElementsAre(Read(1, 3), Next(Read(2, 2)), Next(Read(3, 1)), kAllNewReadSentence));
    EXPECT_EQ(rig.box.Count("RETR"), 3);
    EXPECT_EQ(rig.state.CurrentIndex, 2);
    EXPECT_FALSE(rig.state.ReadingBody);
    EXPECT_TRUE(rig.state.UnheardIds.empty());
    EXPECT_EQ(rig.shell.Buttons(), "PLAY pauze stop BACK forw");
    EXPECT_TRUE(rig.shell.mailTimer);

    // All heard: a second run has nothing to read and says so.
    rig.speech.said.clear();
    rig.mail.ReadAll();
    EXPECT_THAT(rig.Said(), ElementsAre(kNoNewMailSentence));
    EXPECT_EQ(rig.box.Count("RETR"), 3);
}

TEST(ReadAll, AMessageAlreadyPlayedIsNotReadAgain) {
    Announced rig(3);
    rig.mail.PlayMessage(); // message 3, at position 1
    rig.SpeakAll();
    rig.speech.said.clear();
    rig.mail.ReadAll();
    rig.SpeakAll();
    EXPECT_THAT(rig.Said(), ElementsAre(Read(2, 2), Next(Read(3, 1)), kAllNewReadSentence));
}

TEST(ReadAll, StopEndsTheRunAndTheNextRunReadsWhatWasLeft) {
    Announced rig(3);
    rig.mail.ReadAll();
    rig.Deliver(); // the first has been read; the second begins
    rig.mail.StopReading();
    rig.SpeakAll();
    EXPECT_THAT(rig.Said(), ElementsAre(Read(1, 3), Next(Read(2, 2))));
    EXPECT_FALSE(rig.state.ReadingBody);
    EXPECT_EQ(rig.shell.Buttons(), "PLAY pauze stop BACK FORW");
    EXPECT_THAT(rig.state.UnheardIds, ElementsAre("u1"));

    rig.speech.said.clear();
    rig.shell.StopHeaderTimer();
    rig.mail.ReadAll();
    rig.SpeakAll();
    EXPECT_THAT(rig.Said(), ElementsAre(Read(3, 1), kAllNewReadSentence));
}

TEST(ReadAll, PauseAndResumeKeepThePlaceInTheRun) {
    for (const bool resumeWithReadAll : {false, true}) {
        SCOPED_TRACE(resumeWithReadAll ? "resumed with Alles voorlezen" : "resumed with play");
        Announced rig(2);
        rig.mail.ReadAll();
        rig.mail.PauseReading();
        EXPECT_TRUE(rig.speech.paused);
        EXPECT_EQ(rig.shell.Buttons(), "PLAY pauze STOP BACK FORW");
        const int connections = rig.box.connections;
        if (resumeWithReadAll)
            rig.mail.ReadAll();
        else
            rig.mail.PlayMessage();
        EXPECT_FALSE(rig.speech.paused);
        EXPECT_EQ(rig.box.connections, connections) << "resumed, not fetched again";
        rig.SpeakAll();
        EXPECT_THAT(rig.Said(), ElementsAre(Read(1, 2), Next(Read(2, 1)), kAllNewReadSentence));
    }
}

TEST(ReadAll, BackAndForwardMoveWithinTheRun) {
    // Each step cuts the text being said off; its late end report starts nothing.
    const struct {
        const char* name;
        std::vector<const char*> steps; // "back", "forw" or "end" (the oldest text said ends)
        std::vector<std::string> said;
    } cases[] = {
        {"forward skips to the next message",
         {"forw", "end", "end", "end"},
         {Read(1, 3), Read(2, 2), Next(Read(3, 1)), kAllNewReadSentence}},
        {"back at the first reads it again",
         {"back", "end", "end", "end", "end"},
         {Read(1, 3), Read(1, 3), Next(Read(2, 2)), Next(Read(3, 1)), kAllNewReadSentence}},
        {"back goes to the message before",
         {"end", "back", "end", "end", "end"},
         {Read(1, 3), Next(Read(2, 2)), Read(1, 3), Next(Read(2, 2)), Next(Read(3, 1)),
          kAllNewReadSentence}},
        {"forward at the last ends the run",
         {"forw", "forw", "forw", "end"},
         {Read(1, 3), Read(2, 2), Read(3, 1), kAllNewReadSentence}},
        {"back from the closing sentence reads the last again",
         {"end", "end", "end", "back", "end", "end"},
         {Read(1, 3), Next(Read(2, 2)), Next(Read(3, 1)), kAllNewReadSentence, Read(3, 1),
          kAllNewReadSentence}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Announced rig(3);
        rig.mail.ReadAll();
        for (const std::string step : c.steps) {
            if (step == "back")
                rig.mail.PreviousMessage();
            else if (step == "forw")
                rig.mail.NextMessage();
            else
                rig.Deliver();
        }
        rig.SpeakAll();
        EXPECT_EQ(rig.Said(), c.said);
        EXPECT_FALSE(rig.state.ReadingBody);
        EXPECT_TRUE(rig.speech.pendingEnds.empty());
    }
}

TEST(ReadAll, WithReadNewAtOnceTheAnnouncementGoesStraightOnToTheMessages) {
    MailRig rig;
    rig.settings.ReadNewAtOnce = true;
    rig.AddMessages(1, 2);
    rig.CheckAndListen();
    EXPECT_THAT(rig.Said(), ElementsAre("Er zijn 2 nieuwe berichten\r1. Van Afzender 2. Onderwerp: "
                                        "Bericht 2",
                                        "2. Van Afzender 1. Onderwerp: Bericht 1", Read(1, 2),
                                        Next(Read(2, 1)), kAllNewReadSentence));
    EXPECT_EQ(rig.shell.Buttons(), "PLAY pauze stop BACK forw");

    // An announcement stopped half-way reads nothing; neither does a check with nothing new.
    rig.speech.said.clear();
    rig.AddMessages(3, 4);
    rig.mail.CheckMail();
    rig.mail.StopReading();
    rig.SpeakAll();
    rig.mail.CheckMail();
    rig.SpeakAll();
    EXPECT_THAT(rig.Said(), ElementsAre("Er zijn 2 nieuwe berichten\r1. Van Afzender 4. Onderwerp: "
                                        "Bericht 4"));
}

TEST(ReadAll, AFailedFirstFetchSaysWhyAndNothingMore) {
    Announced rig(2);
    rig.box.refuseConnect = true;
    rig.mail.ReadAll();
    EXPECT_THAT(rig.Said(), ElementsAre(kRetryLaterSentence));
    EXPECT_FALSE(rig.state.ReadingBody);
    EXPECT_THAT(rig.state.UnheardIds, ElementsAre("u2", "u1"));
}

TEST(ReadAll, AFailedFetchEndsTheRunAfterSayingWhy) {
    Announced rig(3);
    rig.mail.ReadAll();
    rig.box.refuseConnect = true;
    rig.SpeakAll();
    EXPECT_THAT(rig.Said(), ElementsAre(Read(1, 3), kRetryLaterSentence));
    EXPECT_FALSE(rig.state.ReadingBody);
    EXPECT_TRUE(rig.state.Online);
    EXPECT_EQ(rig.state.CurrentIndex, 1) << "where the run stopped";
    EXPECT_EQ(rig.shell.Buttons(), "PLAY pauze stop BACK FORW");
    EXPECT_THAT(rig.state.UnheardIds, ElementsAre("u2", "u1"));
}

} // namespace
} // namespace brevon
