#include <mail/ReadingController.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <mail/MailContext.h>
#include <mail/SpokenText.h>

#include "MailRig.h"

namespace brevon {
namespace {

using fakes::Mail;
using fakes::MailRig;
using ::testing::ElementsAre;

// What the fake preprocessor makes of a body line: each engine leaves its mark.
std::string Processed(const std::string& body) {
    return "[num][para][clean]" + body;
}

// A rig whose check has found the messages 1..n and spoken their headers.
struct Listened : MailRig {
    explicit Listened(int n) {
        AddMessages(1, n);
        CheckAndListen();
        speech.said.clear();
        box.commands.clear();
    }
    // Play, and the reading spoken to its end.
    std::string PlayAndListen() {
        mail.PlayMessage();
        const std::string text = LastSaid();
        SpeakAll();
        return text;
    }
};

const std::string kBody = "Hallo,\r\n\r\nTot morgen.\r\n";

TEST(ReadingController, PlayReadsTheCurrentMessageWithItsHeaderAfterASequenceOfMany) {
    Listened rig(3);
    rig.mail.PlayMessage();
    // The body went through the engines as one text and comes back split at its line ends.
    EXPECT_EQ(rig.LastSaid(), "1. Van Afzender 3. Onderwerp: Bericht 3\r" + Processed("Hallo,") +
                                  "\r\n\r\nTot morgen.\r\n");
    ASSERT_FALSE(rig.speech.said.empty());
    EXPECT_EQ(rig.speech.said.back().window, &rig.readingWindow);
    EXPECT_THAT(rig.box.commands, ElementsAre("USER jan", "PASS ****", "STAT", "LAST", "UIDL 3",
                                              "LIST 3", "RETR 3", "QUIT"));
    EXPECT_TRUE(rig.state.ReadingBody);
    EXPECT_EQ(rig.shell.Buttons(), "play PAUZE STOP back forw");
    EXPECT_FALSE(rig.shell.mailTimer);
    EXPECT_EQ(rig.client.OwnedMessageCount(), 0u);
    EXPECT_EQ(rig.window.busy, 0);

    rig.SpeakAll();
    EXPECT_FALSE(rig.state.ReadingBody);
    EXPECT_EQ(rig.shell.Buttons(), "PLAY pauze stop back FORW");
    EXPECT_TRUE(rig.shell.mailTimer);
    // Within the ten seconds after a reading, play reads it again without the header.
    EXPECT_TRUE(rig.shell.headerTimer);
    EXPECT_EQ(rig.PlayAndListen().rfind("1. Van", 0), std::string::npos);
}

TEST(ReadingController, AfterOneNewMessagePlayWithinTheHeaderWindowSkipsItsHeader) {
    MailRig rig;
    rig.AddMessages(1, 1);
    rig.CheckAndListen();
    EXPECT_TRUE(rig.shell.headerTimer);
    rig.mail.PlayMessage();
    EXPECT_EQ(rig.LastSaid().rfind(Processed("Hallo,"), 0), 0u);
    rig.SpeakAll();
    rig.shell.StopHeaderTimer(); // ten seconds later
    rig.mail.PlayMessage();
    EXPECT_EQ(rig.LastSaid().rfind("1. Van Afzender 1. Onderwerp: Bericht 1\r", 0), 0u);
}

TEST(ReadingController, WhatIsReadForEachKindOfMessage) {
    const struct {
        const char* name;
        std::string raw; // empty: the message is deleted from the server after the check
        std::string spoken;
        bool preprocessed;
    } cases[] = {
        {"a deleted message", "", std::string(kGoneSentence) + "\r\n", false},
        {"no text", "From: a@b.nl\nSubject: leeg\n\n",
         "1. Van a. Onderwerp: leeg\r" + std::string(kNoTextSentence) + "\r\n", false},
        {"an invitation",
         Mail("a@b.nl", "Overleg",
              "When: Tuesday, March 14, 2000 10:00 AM-11:00 AM (GMT+01:00) Amsterdam, Berlin,\n"
              "Bern, Rome.\nWhere: Room 5\n\n"),
         "1. Van a. Onderwerp: Overleg\rWanneer: Dinsdag 14 Maart 2000 van 10:00 AM tot "
         "11:00 AM. Plaats: Room 5\r\n",
         false},
        {"a malformed uuencoded block: what was parsed before it",
         "From: Jan <j@b.nl>\nSubject: Foto\nContent-Type: multipart/mixed; boundary=\"g\"\n\n"
         "--g\nContent-Type: text/plain\n\nKijk maar.\n--g\nContent-Type: text/plain\n\n"
         "begin 644 foto.jpg\nM~~~~\nend\n--g--\n",
         "1. Van Jan. Onderwerp: Foto\r" + Processed("Kijk maar.") + "\r\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MailRig rig;
        rig.box.Add("u1", c.raw.empty() ? Mail("a@b.nl", "weg") : c.raw);
        rig.CheckAndListen();
        rig.shell.StopHeaderTimer();
        if (c.raw.empty()) rig.box.messages.clear();
        rig.mail.PlayMessage();
        EXPECT_EQ(rig.LastSaid(), c.spoken);
        EXPECT_EQ(rig.preprocessor.calls.empty(), !c.preprocessed);
        EXPECT_TRUE(rig.state.Online);
    }
}

TEST(ReadingController, TheListPositionIsFoundWithTheCountOfTheSessionOpenNow) {
    const struct {
        const char* name;
        std::function<void(fakes::FakeMailbox&)> change;
        int uidls;
    } cases[] = {
        {"two newer messages arrived",
         [](fakes::FakeMailbox& b) {
             b.Add("u6", Mail("x@y.nl", "zes"));
             b.Add("u7", Mail("x@y.nl", "zeven"));
         },
         3},
        {"the two oldest were deleted",
         [](fakes::FakeMailbox& b) {
             b.messages.erase(b.messages.begin(), b.messages.begin() + 2);
         },
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Listened rig(5);
        c.change(rig.box);
        rig.mail.PlayMessage(); // position 1: message u5
        EXPECT_EQ(rig.LastSaid().rfind("1. Van Afzender 5. Onderwerp: Bericht 5\r", 0), 0u);
        EXPECT_EQ(rig.box.Count("UIDL"), c.uidls);
        EXPECT_EQ(rig.box.Count("RETR"), 1);
    }
}

TEST(ReadingController, AMessageGoneFromABigMailboxCostsOneListingNotOneQuestionPerMessage) {
    for (const bool listingRefused : {false, true}) {
        SCOPED_TRACE(listingRefused ? "listing refused" : "listing");
        Listened rig(40);
        rig.box.refuseUidlListing = listingRefused;
        rig.box.messages.erase(rig.box.messages.end() - 1); // the newest, at position 1
        rig.mail.PlayMessage();
        EXPECT_EQ(rig.LastSaid(), std::string(kGoneSentence) + "\r\n");
        EXPECT_EQ(rig.box.Count("UIDL"), listingRefused ? 1 + 39 : 1 + 1);
        EXPECT_TRUE(rig.state.Online);
    }
}

// A play that cannot be had says why and reads nothing. A mailbox that was reached with these
// settings and is out of reach for now, or a message with no room to be stored, keeps checking
// on, without the dialog, and says so at every play; anything else takes brevon offline with the
// options open.
TEST(ReadingController, PlayAfterAFailedConnectionSaysNothingMore) {
    std::optional<fakes::NoRoomForTemporaryFiles> noRoom;
    const struct {
        const char* name;
        std::function<void(MailRig&)> fault;
        std::vector<std::string> said; // over two plays
        bool staysOnline;
    } cases[] = {
        {"server out of reach",
         [](MailRig& r) { r.box.refuseConnect = true; },
         {kRetryLaterSentence, kRetryLaterSentence},
         true},
        {"connection gone while the message is fetched",
         [](MailRig& r) { r.box.dropAfterCommands = static_cast<int>(r.box.commands.size()) + 6; },
         {kRetryLaterSentence, kRetryLaterSentence},
         true},
        {"server refuses the message",
         [](MailRig& r) { r.box.refuseRetr = {2}; },
         {kCannotConnectSentence, kCannotConnectSentence}, // the login in between succeeded
         false},
        {"another server",
         [](MailRig& r) {
             r.settings.Host = "pop2.voorbeeld.nl";
             r.box.refuseConnect = true;
         },
         {kCannotConnectSentence, kStillCannotConnectSentence},
         false},
        {"no room for the message's temporary file",
         [&noRoom](MailRig&) { noRoom.emplace(); },
         {kNoTemporarySpaceSentence, kNoTemporarySpaceSentence},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Listened rig(2);
        rig.shell.buttons["play"] = true;
        c.fault(rig);
        for (int play = 0; play < 2; ++play) {
            rig.mail.PlayMessage();
            EXPECT_TRUE(rig.speech.pendingEnds.empty());
            EXPECT_FALSE(rig.state.ReadingBody);
            EXPECT_EQ(rig.state.Online, c.staysOnline);
            EXPECT_EQ(rig.shell.mailTimer, c.staysOnline);
            EXPECT_EQ(rig.shell.Buttons(), "PLAY pauze stop back FORW");
        }
        EXPECT_EQ(rig.Said(), c.said);
        EXPECT_EQ(rig.shell.optionsShown, c.staysOnline ? 0 : 2);
        noRoom.reset();
    }
}

TEST(ReadingController, ReadingWhileOfflineTurnsCheckingOnAndAReadingEndedOfflineKeepsTheTimerOff) {
    Listened rig(2);
    rig.mail.SetOnline(false);
    rig.mail.PlayMessage();
    EXPECT_TRUE(rig.state.Online);
    EXPECT_TRUE(rig.shell.online);
    rig.mail.SetOnline(false); // from the tray while the message is read
    rig.SpeakAll();
    EXPECT_FALSE(rig.shell.mailTimer);
    EXPECT_TRUE(rig.shell.buttons["play"]);
}

TEST(ReadingController, PauseThenPlayResumesWhatWasPaused) {
    Listened rig(2);
    rig.mail.PlayMessage();
    rig.mail.PauseReading();
    EXPECT_TRUE(rig.state.Paused);
    EXPECT_TRUE(rig.speech.paused);
    EXPECT_EQ(rig.shell.Buttons(), "PLAY pauze STOP back forw");
    const int connections = rig.box.connections;
    rig.mail.PlayMessage();
    EXPECT_FALSE(rig.speech.paused);
    EXPECT_FALSE(rig.state.Paused);
    EXPECT_TRUE(rig.state.ReadingBody);
    EXPECT_EQ(rig.box.connections, connections); // resumed, not fetched again
    EXPECT_EQ(rig.shell.Buttons(), "play PAUZE STOP back forw");

    // A paused header sentence resumes as a header: no reading starts, checks go on after it.
    rig.SpeakAll();
    rig.mail.NextMessage();
    rig.mail.PauseReading();
    rig.mail.PlayMessage();
    EXPECT_FALSE(rig.state.ReadingBody);
    EXPECT_TRUE(rig.state.ReadingHeaders);
    rig.mail.PauseReading();
    rig.SpeakAll(); // cannot end while paused in the engine, but an end clears the flag anyway
    EXPECT_FALSE(rig.state.Paused);
    EXPECT_FALSE(rig.state.ReadingHeaders);
}

TEST(ReadingController, StopDuringTheHeaderSequenceEndsItWhereItWas) {
    MailRig rig;
    rig.AddMessages(1, 3);
    rig.mail.CheckMail();
    rig.Deliver(); // the first header has been spoken
    EXPECT_EQ(rig.state.CurrentIndex, 1);
    rig.mail.StopReading();
    rig.SpeakAll(); // the end of the cut-off sentence
    EXPECT_EQ(rig.speech.said.size(), 2u);
    EXPECT_EQ(rig.state.CurrentIndex, 1);
    EXPECT_FALSE(rig.state.InHeaderSequence);
    EXPECT_FALSE(rig.state.ReadingHeaders);
    EXPECT_EQ(rig.shell.Buttons(), "PLAY pauze stop BACK FORW");
}

TEST(ReadingController, BackAndForwardSpeakTheHeaderAndIgnoreTheEndOfTheTextTheyCutOff) {
    Listened rig(3);
    rig.mail.PreviousMessage(); // at the first: nothing
    EXPECT_TRUE(rig.speech.said.empty());

    rig.mail.NextMessage();
    EXPECT_EQ(rig.LastSaid(), "2. Van Afzender 2. Onderwerp: Bericht 2");
    rig.mail.NextMessage(); // cuts header 2 off
    EXPECT_EQ(rig.LastSaid(), "3. Van Afzender 1. Onderwerp: Bericht 1");
    EXPECT_EQ(rig.speech.stops, 1);
    ASSERT_EQ(rig.speech.pendingEnds.size(), 2u);
    rig.Deliver(); // header 2's end, reported after header 3 began
    EXPECT_TRUE(rig.state.ReadingHeaders) << "header 3 is still being spoken";
    EXPECT_EQ(rig.shell.Buttons(), "play PAUZE STOP BACK forw");
    rig.Deliver();
    EXPECT_FALSE(rig.state.ReadingHeaders);
    EXPECT_EQ(rig.shell.Buttons(), "PLAY pauze stop BACK forw");
    rig.mail.NextMessage(); // at the last: nothing
    EXPECT_EQ(rig.speech.said.size(), 2u);
    EXPECT_EQ(rig.state.CurrentIndex, 2);
}

TEST(ReadingController, ASingleMessageOffersNothingToStepTo) {
    MailRig rig;
    rig.AddMessages(1, 1);
    rig.CheckAndListen();
    EXPECT_EQ(rig.shell.Buttons(), "PLAY pauze stop back forw");
}

TEST(ReadingController, AMessageTooLargeToFetchIsSaidToBeSo) {
    MailRig rig;
    rig.box.Add("u1", Mail("a@b.nl", "Groot", std::string(5000, 'x') + "\n"));
    rig.box.Add("u2", Mail("c@d.nl", "Klein"));
    rig.client.MaxMessageSize = 2000;
    rig.CheckAndListen();
    rig.shell.StopHeaderTimer();
    rig.state.CurrentIndex = 1;
    rig.box.commands.clear();
    rig.mail.PlayMessage();
    EXPECT_EQ(rig.LastSaid(),
              "2. Van a. Onderwerp: Groot\r" + std::string(kTooLargeSentence) + "\r\n");
    EXPECT_EQ(rig.box.Count("RETR"), 0);
    EXPECT_EQ(rig.box.commands.back(), "QUIT");
    EXPECT_TRUE(rig.state.Online);
    EXPECT_EQ(rig.shell.optionsShown, 0);
}

TEST(PrepareBodyText, TheGateAndTheThreeEnginesInTurn) {
    fakes::FakePreprocessor pre;
    fakes::FakeLanguageCheck gate;
    MailSettings settings;
    const std::string body = "Hallo\r\n> oud\r\n";

    EXPECT_EQ(PrepareBodyText(body, settings, &gate, pre), "[num][para][clean]Hallo\r\n> oud\r\n");
    EXPECT_THAT(pre.calls, ElementsAre("Clean", "RestoreParagraphs", "SolveNumbers"));
    EXPECT_EQ(gate.asked, 0) << "without UseLid the gate is not asked";

    settings.SkipReply = true;
    settings.UseLid = true;
    gate.dutch = false;
    pre.calls.clear();
    EXPECT_EQ(PrepareBodyText(body, settings, &gate, pre), std::string(kNotDutchSentence) + "\r\n");
    EXPECT_THAT(pre.calls, ElementsAre("Clean skip")) << "judged once cleaned, then left";
    gate.dutch = true;
    PrepareBodyText(body, settings, &gate, pre);
    EXPECT_EQ(pre.calls.front(), "Clean skip");

    const struct {
        PreprocessorOps::Result clean;
        bool failParagraphs, failNumbers;
        const char* text;
    } cases[] = {
        {{0, ""}, false, false, "[num][para]Dit \\-bericht \\-bevat \\+geen tekst"},
        {{-1, ""}, false, false, "[num][para]Hallo"},
        {{5, "Schoon"}, true, false, "[num]Schoon"},
        {{5, "Schoon"}, false, true, "[para]Schoon"},
    };
    // Beyond the longest text read aloud the body is cut at a line end.
    const std::string line = std::string(1000, 'a') + "\r\n";
    std::string long_;
    for (std::size_t i = 0; i < kMaxSpokenText / 1002 + 10; ++i)
        long_ += line;
    pre.calls.clear();
    const std::string cut = PrepareBodyText(long_, MailSettings{}, nullptr, pre);
    EXPECT_EQ(
        cut,
        std::string("[num][para][clean]").append(long_, 0, kMaxSpokenText / 1002 * line.size()));

    for (const auto& c : cases) {
        pre.useCleanAnswer = true;
        pre.clean = c.clean;
        pre.failParagraphs = c.failParagraphs;
        pre.failNumbers = c.failNumbers;
        EXPECT_EQ(PrepareBodyText("Hallo\r\n", MailSettings{}, nullptr, pre),
                  std::string(c.text) + "\r\n");
    }
}

TEST(PrepareBodyText, ReadingInTheBodysOwnLanguage) {
    // One classification of the cleaned body decides; the rest follows from the two options.
    const struct {
        const char* what;
        bool useLid;
        const char* answer; // ClassifyLanguage's
        const char* language;
        bool refused;
    } cases[] = {
        {"English", false, "en", "en", false},
        {"French with the gate on", true, "fr", "fr", false},
        {"German", false, "de", "de", false},
        {"Italian", false, "it", "it", false},
        {"Spanish", true, "es", "es", false},
        {"Dutch", true, "nl", "", false},
        {"no language likely enough", false, "??", "", false},
        {"no language likely enough, gate on", true, "??", "", true},
        {"too short or no library", false, "", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fakes::FakePreprocessor pre;
        fakes::FakeLanguageCheck gate;
        gate.answer = c.answer;
        MailSettings settings;
        settings.ReadInOwnLanguage = true;
        settings.UseLid = c.useLid;
        std::string language = "stale";
        const std::string spoken = PrepareBodyText("Hello 12\r\n", settings, &gate, pre, &language);
        EXPECT_EQ(gate.asked, 1) << "one classification a body";
        EXPECT_EQ(language, c.language);
        if (c.refused) {
            EXPECT_EQ(spoken, std::string(kNotDutchSentence) + "\r\n");
        } else if (*c.language != '\0') {
            // Cleaned and its paragraphs restored; numbers are left to the other voice.
            EXPECT_EQ(spoken, "[para][clean]Hello 12\r\n");
            EXPECT_THAT(pre.calls, ElementsAre("Clean", "RestoreParagraphs"));
        } else {
            EXPECT_EQ(spoken, "[num][para][clean]Hello 12\r\n");
        }
    }

    // Without a library's six-way answer the gate still refuses by the Dutch score.
    fakes::FakePreprocessor pre;
    fakes::FakeLanguageCheck gate;
    gate.dutch = false;
    MailSettings settings;
    settings.ReadInOwnLanguage = true;
    settings.UseLid = true;
    EXPECT_EQ(PrepareBodyText("Hello\r\n", settings, &gate, pre),
              std::string(kNotDutchSentence) + "\r\n");
    // A body with nothing speakable is not classified.
    pre.useCleanAnswer = true;
    pre.clean = {0, ""};
    gate.asked = 0;
    settings.UseLid = false;
    EXPECT_EQ(PrepareBodyText("<p></p>\r\n", settings, &gate, pre),
              "[num][para]Dit \\-bericht \\-bevat \\+geen tekst\r\n");
    EXPECT_EQ(gate.asked, 0);
    EXPECT_EQ(LeadInSentence("nl"), "");
    EXPECT_EQ(LeadInSentence("??"), "");
}

TEST(ReadingController, AForeignBodyIsReadInItsLanguageAfterADutchLeadIn) {
    Listened rig(2);
    rig.settings.ReadInOwnLanguage = true;
    rig.language.answer = "en";
    rig.mail.PlayMessage();
    ASSERT_EQ(rig.speech.said.size(), 2u);
    // Header and lead-in in Dutch, told to nobody; the body in English, told to the bar.
    EXPECT_EQ(rig.speech.said[0].text,
              "1. Van Afzender 2. Onderwerp: Bericht 2\rDit bericht is in het Engels.");
    EXPECT_EQ(rig.speech.said[0].window, nullptr);
    EXPECT_EQ(rig.speech.said[0].language, "nl");
    EXPECT_EQ(rig.speech.said[1].text, "[para][clean]Hallo,\r\n\r\nTot morgen.\r\n");
    EXPECT_EQ(rig.speech.said[1].window, &rig.readingWindow);
    EXPECT_EQ(rig.speech.said[1].language, "en");
    EXPECT_EQ(rig.speech.language, "nl") << "what is said next is Dutch again";

    // The body's end closes the reading as any other; pause and play work across both texts.
    rig.mail.PauseReading();
    rig.mail.PlayMessage();
    EXPECT_TRUE(rig.state.ReadingBody);
    rig.SpeakAll();
    EXPECT_FALSE(rig.state.ReadingBody);
    EXPECT_EQ(rig.shell.Buttons(), "PLAY pauze stop back FORW");

    // Stop cuts the reading off; the next header sentence is Dutch.
    rig.speech.said.clear();
    rig.shell.StopHeaderTimer();
    rig.mail.PlayMessage();
    rig.mail.StopReading();
    rig.SpeakAll();
    rig.mail.NextMessage();
    EXPECT_EQ(rig.speech.said.back().language, "nl");
    EXPECT_EQ(rig.LastSaid(), "2. Van Afzender 1. Onderwerp: Bericht 1");

    // A Dutch body, or the option off, is read as one text as always.
    rig.SpeakAll();
    for (const bool own : {true, false}) {
        rig.settings.ReadInOwnLanguage = own;
        rig.language.answer = own ? "nl" : "en";
        rig.speech.said.clear();
        rig.mail.PlayMessage();
        ASSERT_EQ(rig.speech.said.size(), 1u);
        EXPECT_EQ(rig.speech.said[0].language, "nl");
        EXPECT_EQ(rig.speech.said[0].window, &rig.readingWindow);
        rig.SpeakAll();
    }
}

} // namespace
} // namespace brevon
