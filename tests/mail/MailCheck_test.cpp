#include <mail/MailCheck.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <mail/MailContext.h>
#include <mail/MessageList.h>
#include <platform/TcpTransport.h>

#include "MailRig.h"

namespace brevon {
namespace {

using fakes::Mail;
using fakes::MailRig;
using ::testing::ElementsAre;

std::string Read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Line(int n) {
    return "Afzender " + std::to_string(n) + "\tBericht " + std::to_string(n);
}

TEST(MailCheck, FirstCheckAnnouncesTheNewMessagesAndKeepsTheList) {
    MailRig rig;
    rig.AddMessages(1, 3);
    rig.state.SayNoNewMail = true;
    rig.CheckAndListen();

    EXPECT_THAT(rig.Said(),
                ElementsAre("Er zijn 3 nieuwe berichten\r1. Van Afzender 3. Onderwerp: Bericht 3",
                            "2. Van Afzender 2. Onderwerp: Bericht 2",
                            "3. Van Afzender 1. Onderwerp: Bericht 1"));
    EXPECT_THAT(rig.box.commands,
                ElementsAre("USER jan", "PASS ****", "STAT", "LAST", "UIDL 3", "UIDL 2", "UIDL 1",
                            "LIST 3", "TOP 3 0", "LIST 2", "TOP 2 0", "LIST 1", "TOP 1 0", "QUIT"));
    EXPECT_THAT(rig.state.KnownIds, ElementsAre("u3", "u2", "u1"));
    EXPECT_THAT(rig.state.KnownHeaders, ElementsAre(Line(3), Line(2), Line(1)));
    EXPECT_EQ(Read(rig.dir.Path() / "jan.id"), "u3\r\nu2\r\nu1\r\n");
    EXPECT_EQ(Read(rig.dir.Path() / "jan.he"),
              Line(3) + "\r\n" + Line(2) + "\r\n" + Line(1) + "\r\n");
    EXPECT_EQ(rig.state.MessageCount, 3);
    EXPECT_EQ(rig.state.NewTotal, 3);
    EXPECT_EQ(rig.state.CurrentIndex, 0);
    EXPECT_FALSE(rig.state.SayNoNewMail);
    EXPECT_EQ(rig.window.broughtToFront, 1);
    // After the sequence: play the first message, step forward, nothing to stop.
    EXPECT_EQ(rig.shell.Buttons(), "PLAY pauze stop back FORW");
    EXPECT_TRUE(rig.shell.mailTimer);
    EXPECT_FALSE(rig.state.ReadingHeaders);
    EXPECT_TRUE(rig.state.ReadWithHeader); // more than one new: play reads with the header
    EXPECT_EQ(rig.client.OwnedMessageCount(), 0u);
    EXPECT_FALSE(rig.window.connected);
    EXPECT_EQ(rig.window.busy, 0);
}

TEST(MailCheck, ASecondCheckIsSilentAndAsksNoHeaders) {
    MailRig rig;
    rig.AddMessages(1, 3);
    rig.CheckAndListen();
    const std::size_t said = rig.speech.said.size();
    rig.box.commands.clear();
    rig.CheckAndListen();
    EXPECT_EQ(rig.speech.said.size(), said);
    EXPECT_EQ(rig.box.Count("TOP"), 0);
    EXPECT_EQ(rig.box.Count("UIDL"), 3);
    EXPECT_EQ(rig.shell.Buttons(), "PLAY pauze stop back FORW");

    // After the greeting a check says that nothing is new, once.
    rig.state.SayNoNewMail = true;
    rig.CheckAndListen();
    EXPECT_EQ(rig.LastSaid(), kNoNewMailSentence);
    EXPECT_FALSE(rig.state.SayNoNewMail);
}

TEST(MailCheck, TwoNewOfTwentyAreFetchedAndTheOthersKeepTheirStoredLines) {
    MailRig rig;
    rig.AddMessages(1, 20);
    rig.CheckAndListen();
    rig.AddMessages(21, 22);
    rig.box.commands.clear();
    rig.speech.said.clear();
    rig.CheckAndListen();

    EXPECT_EQ(rig.state.NewTotal, 22);
    EXPECT_EQ(rig.box.Count("UIDL"), 20); // one per message in range, none for FindOnServer
    EXPECT_EQ(rig.box.Count("TOP"), 2);
    ASSERT_EQ(rig.state.KnownHeaders.size(), 20u);
    EXPECT_EQ(rig.state.KnownHeaders[0], Line(22));
    EXPECT_EQ(rig.state.KnownHeaders[1], Line(21));
    EXPECT_EQ(rig.state.KnownHeaders[19], Line(3));
    EXPECT_THAT(rig.Said(), ElementsAre("Er zijn 2 nieuwe berichten\r1. Van Afzender 22. "
                                        "Onderwerp: Bericht 22",
                                        "2. Van Afzender 21. Onderwerp: Bericht 21"));
    std::vector<std::string> ids, lines;
    ASSERT_TRUE(LoadMessageList(ListFilesFor(rig.dir.Path(), "jan"), ids, lines));
    EXPECT_EQ(ids, rig.state.KnownIds);
    EXPECT_EQ(lines, rig.state.KnownHeaders);
}

TEST(MailCheck, WhatCountsAsNewFollowsTheFetchLimitAndTheOrder) {
    // Ten messages on the server, a limit of 5. Listed before: the ids named in "known".
    const struct {
        const char* name;
        bool useLimit;
        bool reverse;
        std::vector<std::string> known;
        std::vector<std::string> expectIds;
        std::vector<int> expectNew; // positions, 0-based
    } cases[] = {
        {"newest first, two new at the top",
         true,
         false,
         {"u8", "u7", "u6", "u5", "u4"},
         {"u10", "u9", "u8", "u7", "u6"},
         {0, 1}},
        {"an older message came into range behind listed ones",
         true,
         false,
         {"u10", "u9", "u7", "u6", "u5"},
         {"u10", "u9", "u8", "u7", "u6"},
         {}},
        {"without the limit every unlisted message is new",
         false,
         false,
         {"u10", "u9", "u7", "u5"},
         {"u10", "u9", "u8", "u7", "u6", "u5", "u4", "u3", "u2", "u1"},
         {2, 4, 6, 7, 8, 9}},
        {"reverse takes the newest, oldest first, new at the end",
         true,
         true,
         {"u4", "u5", "u6", "u7", "u8"},
         {"u6", "u7", "u8", "u9", "u10"},
         {3, 4}},
        {"reverse: an older one that came into range is not new",
         true,
         true,
         {"u7", "u8", "u9", "u10"},
         {"u6", "u7", "u8", "u9", "u10"},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MailRig rig;
        rig.AddMessages(1, 10);
        rig.settings.NumSaveMails = 5;
        rig.settings.UseNumSaveMails = c.useLimit;
        rig.settings.Reverse = c.reverse;
        rig.state.LoadPending = false;
        rig.state.KnownIds = c.known;
        for (const std::string& id : c.known)
            rig.state.KnownHeaders.push_back(Line(std::stoi(id.substr(1))));
        rig.mail.CheckMail();
        EXPECT_EQ(rig.state.KnownIds, c.expectIds);
        EXPECT_EQ(rig.state.NewCount, static_cast<int>(c.expectNew.size()));
        // The header sequence speaks the new positions, wherever they stand.
        std::vector<int> spoken;
        for (std::size_t i = 0; i < c.expectNew.size(); ++i) {
            spoken.push_back(rig.state.CurrentIndex);
            rig.Deliver();
        }
        EXPECT_EQ(spoken, c.expectNew);
        EXPECT_TRUE(rig.speech.pendingEnds.empty());
        for (std::size_t i = 0; i < c.expectIds.size(); ++i)
            EXPECT_EQ(rig.state.KnownHeaders[i], Line(std::stoi(c.expectIds[i].substr(1))));
        // Afterwards play reads the first of the new ones.
        EXPECT_EQ(rig.state.CurrentIndex, c.expectNew.empty() ? 0 : c.expectNew.front());
    }
}

// The ".id" file says which mail is known; missing list lines are fetched again, unannounced.
TEST(MailCheck, ListFilesAreReadOncePerUserAndTheIdsSayWhatIsKnown) {
    const struct {
        const char* name;
        const char* user;
        const char* file; // base name written before the check
        bool writeHeaders;
        int announced;
        int fetched; // headers asked of the server
    } cases[] = {
        {"the user's own pair", "DOMAIN\\jan", "jan", true, 0, 0},
        {"an .id file without its .he", "jan", "jan", false, 0, 3},
        {"another user's pair", "piet", "jan", true, 3, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MailRig rig;
        rig.AddMessages(1, 3);
        rig.settings.User = c.user;
        const ListFiles files = ListFilesFor(rig.dir.Path(), c.file);
        std::ofstream(files.ids, std::ios::binary) << "u3\r\nu2\r\nu1\r\n";
        if (c.writeHeaders)
            std::ofstream(files.headers, std::ios::binary) << Line(3) << "\r\n"
                                                           << Line(2) << "\r\n"
                                                           << Line(1) << "\r\n";
        rig.mail.CheckMail();
        EXPECT_EQ(rig.state.NewTotal, c.announced);
        EXPECT_EQ(rig.box.Count("TOP"), c.fetched);
        EXPECT_THAT(rig.state.KnownHeaders, ElementsAre(Line(3), Line(2), Line(1)));
        EXPECT_FALSE(rig.state.LoadPending);
    }
}

TEST(MailCheck, AChangedUserHasItsOwnListReadAtTheNextCheck) {
    MailRig rig;
    rig.AddMessages(1, 3);
    rig.CheckAndListen();
    ASSERT_EQ(rig.state.NewTotal, 3);
    // What the options dialog does when the user name changes.
    const ListFiles piet = ListFilesFor(rig.dir.Path(), "piet");
    std::filesystem::copy_file(ListFilesFor(rig.dir.Path(), "jan").ids, piet.ids);
    std::filesystem::copy_file(ListFilesFor(rig.dir.Path(), "jan").headers, piet.headers);
    rig.settings.User = "piet";
    rig.state.KnownIds.clear();
    rig.state.KnownHeaders.clear();
    rig.state.LoadPending = true;
    rig.CheckAndListen();
    EXPECT_EQ(rig.state.NewTotal, 3) << "piet's list knows these messages";
    EXPECT_EQ(rig.state.KnownIds.size(), 3u);
}

TEST(MailCheck, ADecodedSubjectWithLineBreaksStaysOneLineOfTheFiles) {
    MailRig rig;
    rig.box.Add("u1",
                Mail("=?utf-8?Q?Jan=09Jansen?= <jan@voorbeeld.nl>", "=?utf-8?Q?regel=0D=0Atwee?="));
    rig.CheckAndListen();
    ASSERT_EQ(rig.state.KnownHeaders.size(), 1u);
    EXPECT_EQ(rig.state.KnownHeaders[0], "Jan Jansen\tregel  twee");
    EXPECT_EQ(Read(rig.dir.Path() / "jan.he"), "Jan Jansen\tregel  twee\r\n");
}

TEST(MailCheck, ConnectsWhereTheHostPortAndSecuritySettingsSay) {
    const struct {
        const char* host;
        const char* port;
        ConnectionSecurity security;
        const char* connectedHost;
        std::uint16_t connectedPort;
    } cases[] = {
        {"pop.voorbeeld.nl", "", ConnectionSecurity::None, "pop.voorbeeld.nl", 110},
        {"pop.voorbeeld.nl", "", ConnectionSecurity::StartTls, "pop.voorbeeld.nl", 110},
        {"pop.voorbeeld.nl", "", ConnectionSecurity::Tls, "pop.voorbeeld.nl", 995},
        {"pop.voorbeeld.nl", " 1110 ", ConnectionSecurity::Tls, "pop.voorbeeld.nl", 1110},
        {"pop.voorbeeld.nl:2110", "1110", ConnectionSecurity::None, "pop.voorbeeld.nl", 2110},
        {"[::1]:995", "", ConnectionSecurity::None, "::1", 995},
        {"::1", "", ConnectionSecurity::None, "::1", 110},
        {"10.0.0.1:abc", "", ConnectionSecurity::None, "10.0.0.1", 110},
    };
    for (const auto& c : cases) {
        MailRig rig;
        rig.settings.Host = c.host;
        rig.settings.Port = PortFromText(c.port);
        rig.settings.Security = c.security;
        rig.mail.CheckMail();
        EXPECT_EQ(rig.box.lastHost, c.connectedHost) << c.host;
        EXPECT_EQ(rig.box.lastPort, c.connectedPort) << c.host << " " << c.port;
        EXPECT_EQ(rig.client.UseTLS, c.security == ConnectionSecurity::Tls) << c.host;
        EXPECT_EQ(rig.client.StartTLS, c.security == ConnectionSecurity::StartTls) << c.host;
    }
}

TEST(MailCheck, NoCheckWhileSomethingIsSpoken) {
    MailRig rig;
    rig.AddMessages(1, 2);
    for (bool* flag : {&rig.state.ReadingHeaders, &rig.state.ReadingBody}) {
        *flag = true;
        rig.mail.CheckMail();
        *flag = false;
    }
    EXPECT_EQ(rig.box.connections, 0);
    EXPECT_TRUE(rig.speech.said.empty());
}

TEST(MailCheck, AnEmptyMailboxKeepsTheListButOffersNothingToRead) {
    MailRig rig;
    rig.AddMessages(1, 2);
    rig.CheckAndListen();
    rig.box.messages.clear();
    rig.CheckAndListen();
    EXPECT_EQ(rig.state.MessageCount, 0);
    EXPECT_EQ(rig.state.KnownIds.size(), 2u);
    EXPECT_EQ(rig.state.NewCount, 0);
    EXPECT_EQ(rig.shell.Buttons(), "play pauze stop back forw");
}

// How the check ends when it cannot be had: what is said, and where the options open.
TEST(MailCheck, FailuresAreSpokenTakeTheProgramOfflineAndOpenTheOptions) {
    const struct {
        const char* name;
        std::function<void(MailRig&)> arrange;
        std::vector<std::string> said; // over two checks
        const char* focus;
    } cases[] = {
        {"no connection",
         [](MailRig& r) { r.box.refuseConnect = true; },
         {kCannotConnectSentence, kStillCannotConnectSentence},
         "Focus host"},
        {"login refused",
         [](MailRig& r) { r.settings.Password = "fout"; },
         {kCannotLogInSentence, kCannotLogInSentence},
         "Focus user"},
        {"empty host",
         [](MailRig& r) { r.settings.Host = " "; },
         {kFillInTheFormSentence},
         "Focus host"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MailRig rig;
        rig.AddMessages(1, 2);
        c.arrange(rig);
        for (int check = 0; check < 2; ++check) {
            rig.mail.CheckMail();
            EXPECT_FALSE(rig.state.Online);
            EXPECT_FALSE(rig.shell.online); // the tray's mark says offline
            EXPECT_FALSE(rig.shell.mailTimer);
            EXPECT_EQ(rig.shell.Buttons(), "play pauze stop back forw");
            rig.state.Online = true; // the user turns checking on again
        }
        EXPECT_EQ(rig.Said(), c.said);
        EXPECT_EQ(rig.shell.optionsShown, 1 + (c.said.size() > 1 ? 1 : 0));
        EXPECT_EQ(rig.log.back(), c.focus);
        EXPECT_TRUE(rig.state.KnownIds.empty());
    }
}

TEST(MailCheck, TheFirstFailureSentenceComesBackAfterASuccessfulLogin) {
    MailRig rig;
    rig.box.refuseConnect = true;
    rig.mail.CheckMail();
    EXPECT_EQ(rig.window.status, "Connect failed. Maybe the server is down or not responding.");
    rig.box.refuseConnect = false;
    rig.mail.SetOnline(true);
    rig.mail.CheckMail();
    // Other settings: a mailbox never reached with them.
    rig.settings.Port = 1110;
    rig.box.refuseConnect = true;
    rig.mail.CheckMail();
    EXPECT_THAT(rig.Said(), ElementsAre(kCannotConnectSentence, kCannotConnectSentence));
}

// A mailbox reached before that is out of reach for a while: brevon stays online, says so once
// and tries again after 1, 2, 4 ... minutes, never waiting longer than the interval.
TEST(MailCheck, AMailboxOutOfReachIsRetriedSoonerThanTheIntervalAndSaidOnce) {
    MailRig rig;
    rig.AddMessages(1, 2);
    rig.CheckAndListen();
    rig.speech.said.clear();
    rig.shell.buttons["play"] = rig.shell.buttons["forw"] = true;
    rig.settings.Interval = rig.shell.interval = 5;
    rig.box.refuseConnect = true;
    std::vector<int> delays;
    for (int tick = 0; tick < 5; ++tick) {
        rig.CheckAndListen();
        delays.push_back(rig.shell.mailTimerMinutes);
        EXPECT_TRUE(rig.state.Online);
        EXPECT_TRUE(rig.shell.online);
        EXPECT_TRUE(rig.shell.mailTimer);
        EXPECT_EQ(rig.shell.Buttons(), "PLAY pauze stop back FORW"); // the list is still there
    }
    EXPECT_THAT(delays, ElementsAre(1, 2, 4, 5, 5));
    EXPECT_THAT(rig.Said(), ElementsAre(kRetryLaterSentence));
    EXPECT_EQ(rig.shell.optionsShown, 0);
    EXPECT_EQ(rig.window.status,
              "Connect failed. Maybe the server is down or not responding. Next try in 5 min.");

    // The server answers again: the mail that came meanwhile is announced, checking goes back
    // to the interval, and the next failure is said again.
    rig.box.refuseConnect = false;
    rig.AddMessages(3, 3);
    rig.CheckAndListen();
    EXPECT_EQ(rig.LastSaid(), "Er is een nieuw bericht\r1. Van Afzender 3. Onderwerp: Bericht 3");
    EXPECT_EQ(rig.shell.mailTimerMinutes, 5);
    EXPECT_EQ(rig.state.RetryMinutes, 0);
    rig.box.refuseConnect = true;
    rig.CheckAndListen();
    EXPECT_EQ(rig.LastSaid(), kRetryLaterSentence);
    EXPECT_EQ(rig.shell.mailTimerMinutes, 1);

    // Speech ending or checking switched on again restarts the timer with the retry, not
    // with the interval; switching off forgets the retry.
    rig.shell.buttons["play"] = true;
    rig.mail.PlayMessage();
    EXPECT_EQ(rig.LastSaid(), kRetryLaterSentence) << "a reading says it every time";
    EXPECT_EQ(rig.shell.mailTimerMinutes, 1);
    rig.mail.SetOnline(false);
    rig.mail.SetOnline(true);
    EXPECT_EQ(rig.shell.mailTimerMinutes, 5);
    EXPECT_EQ(rig.shell.optionsShown, 0);
}

// Which failures are passing and which still need the user: a mailbox never reached with the
// settings in hand, or a server that judged the credentials, takes brevon offline with the
// options open on the faulty field.
TEST(MailCheck, OnlyAMailboxReachedWithTheseSettingsIsRetried) {
    const auto reached = [](MailRig& r) { r.CheckAndListen(); };
    const auto storedList = [](MailRig& r) {
        const ListFiles files = ListFilesFor(r.dir.Path(), "jan");
        std::ofstream(files.ids, std::ios::binary) << "u2\r\nu1\r\n";
        std::ofstream(files.headers, std::ios::binary) << Line(2) << "\r\n" << Line(1) << "\r\n";
    };
    const struct {
        const char* name;
        std::function<void(MailRig&)> before; // while the server answers
        std::function<void(MailRig&)> fault;
        const char* said;
        const char* focus; // nullptr: no dialog, still online
    } cases[] = {
        {"reached, then refused", reached, [](MailRig& r) { r.box.refuseConnect = true; },
         kRetryLaterSentence, nullptr},
        {"reached, then the connection went", reached,
         [](MailRig& r) { r.box.dropAfterCommands = static_cast<int>(r.box.commands.size()) + 3; },
         kRetryLaterSentence, nullptr},
        {"reached, then the server is busy for a while (RFC 3206)", reached,
         [](MailRig& r) { r.box.answers["PASS geheim"] = "-ERR [SYS/TEMP] probeer later"; },
         kRetryLaterSentence, nullptr},
        {"reached in an earlier run", storedList, [](MailRig& r) { r.box.refuseConnect = true; },
         kRetryLaterSentence, nullptr},
        {"never reached", [](MailRig&) {}, [](MailRig& r) { r.box.refuseConnect = true; },
         kCannotConnectSentence, "Focus host"},
        {"reached, then the host changed", reached,
         [](MailRig& r) {
             r.settings.Host = "pop2.voorbeeld.nl";
             r.box.refuseConnect = true;
         },
         kCannotConnectSentence, "Focus host"},
        {"another user's list read after the user changed", reached,
         [&storedList](MailRig& r) {
             r.settings.User = "piet";
             storedList(r);
             std::filesystem::copy_file(ListFilesFor(r.dir.Path(), "jan").ids,
                                        ListFilesFor(r.dir.Path(), "piet").ids);
             std::filesystem::copy_file(ListFilesFor(r.dir.Path(), "jan").headers,
                                        ListFilesFor(r.dir.Path(), "piet").headers);
             r.state.LoadPending = true;
             r.box.refuseConnect = true;
         },
         kCannotConnectSentence, "Focus host"},
        {"reached, then the password was refused", reached,
         [](MailRig& r) { r.box.password = "anders"; }, kCannotLogInSentence, "Focus user"},
        // Another server on the mailbox's port is a setting to mend, not a passing fault.
        {"reached, then a mail relay answers on its port", reached,
         [](MailRig& r) { r.box.greeting = "220 pop.voorbeeld.nl ESMTP"; }, kNotAMailServerSentence,
         "Focus host"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MailRig rig;
        rig.AddMessages(1, 2);
        c.before(rig);
        rig.speech.said.clear();
        c.fault(rig);
        rig.CheckAndListen();
        EXPECT_THAT(rig.Said(), ElementsAre(c.said));
        EXPECT_EQ(rig.state.Online, c.focus == nullptr);
        EXPECT_EQ(rig.shell.mailTimer, c.focus == nullptr);
        EXPECT_EQ(rig.state.RetryMinutes, c.focus ? 0 : 1);
        EXPECT_EQ(rig.shell.optionsShown, c.focus ? 1 : 0);
        if (c.focus) {
            EXPECT_EQ(rig.log.back(), c.focus);
        }
        if (rig.box.greeting != "+OK ready") {
            EXPECT_TRUE(rig.box.lastSession.empty()) << rig.box.lastSession.front();
        }
    }
}

// The real socket for one rig; resolve stands in for the system's name lookup.
void OverTheNetwork(MailRig& rig, const std::string& host,
                    platform::Transport::Resolver resolve = nullptr) {
    rig.settings.Host = host;
    rig.client.ReceiveTimeout = std::chrono::milliseconds(300);
    rig.client.TransportFactory = [resolve](const korp::TKorpPOP&) {
        auto transport = std::make_unique<platform::TcpTransport>();
        if (resolve) transport->Resolve = resolve;
        return transport;
    };
}

// Each kind of failure says what happened. Only where the settings may be at fault does the
// options dialog open and checking stop; otherwise checking goes on, sooner than the interval,
// and a check that fails the same way again says nothing more.
TEST(MailCheck, EachKindOfFailureSaysWhatHappenedAndOpensTheDialogOnlyForTheSettings) {
    // Greets, takes the user name, then says nothing for longer than the client waits.
    poptest::ScriptedServer silent({poptest::ScriptedServer::Send("+OK ready\r\n"),
                                    poptest::ScriptedServer::Expect("USER"),
                                    poptest::ScriptedServer::Pause(3000)});
    const std::string silentHost = "127.0.0.1:" + std::to_string(silent.Port());
    const std::string nobodyHost = "127.0.0.1:" + std::to_string(poptest::FreePort());
    const struct {
        const char* name;
        bool reachedBefore;
        std::function<void(MailRig&)> fault;
        const char* said;
        const char* focus; // nullptr: no dialog, and checking goes on
    } cases[] = {
        {"the connection drops during the login", false,
         [](MailRig& r) { r.box.dropAfterCommands = 1; }, kConnectionLostSentence, nullptr},
        {"the server stops answering", false, [&](MailRig& r) { OverTheNetwork(r, silentHost); },
         kServerSilentSentence, nullptr},
        {"no room for the temporary file of a header", false, nullptr, kNoTemporarySpaceSentence,
         nullptr},
        {"no room for the temporary file, mailbox reached before", true, nullptr,
         kNoTemporarySpaceSentence, nullptr},
        {"the name is not known", false,
         [](MailRig& r) {
             OverTheNetwork(r, "pop.voorbeeld.invalid",
                            [](const std::string&) { return std::vector<std::string>{}; });
         },
         kCannotConnectSentence, "Focus host"},
        {"nobody listens on the port", false, [&](MailRig& r) { OverTheNetwork(r, nobodyHost); },
         kCannotConnectSentence, "Focus host"},
        {"the login is refused", false, [](MailRig& r) { r.settings.Password = "fout"; },
         kCannotLogInSentence, "Focus user"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MailRig rig;
        rig.AddMessages(1, 2);
        if (c.reachedBefore) rig.CheckAndListen();
        rig.AddMessages(3, 3);
        rig.speech.said.clear();
        {
            // Without a fault of the server's, the temporary file is what fails.
            std::optional<fakes::NoRoomForTemporaryFiles> full;
            if (c.fault)
                c.fault(rig);
            else
                full.emplace();
            rig.CheckAndListen();
            if (!c.focus) rig.CheckAndListen();
        }
        EXPECT_THAT(rig.Said(), ElementsAre(c.said));
        EXPECT_EQ(rig.shell.optionsShown, c.focus ? 1 : 0);
        if (c.focus) {
            EXPECT_EQ(rig.log.back(), c.focus);
        }
        EXPECT_EQ(rig.state.Online, c.focus == nullptr);
        EXPECT_EQ(rig.shell.online, c.focus == nullptr);
        EXPECT_EQ(rig.shell.mailTimer, c.focus == nullptr);
        EXPECT_EQ(rig.state.RetryMinutes, c.focus ? 0 : 2); // two checks: after 1, then 2 min
        EXPECT_EQ(rig.state.KnownIds.size(), c.reachedBefore ? 2u : 0u);
        EXPECT_FALSE(rig.mail.SessionOpen());
    }
}

// A session that breaks half-way changes nothing. A server that refuses what the check needs
// ends it like a failed connection; a connection that goes, or an answer that does not fit
// the command, is passing for a mailbox reached before: said, and tried again.
TEST(MailCheck, ABrokenSessionLeavesListsFilesAndCountsAsTheyWere) {
    const struct {
        const char* name;
        std::function<void(fakes::FakeMailbox&)> arrange;
        bool passing;
    } cases[] = {
        {"UIDL refused", [](fakes::FakeMailbox& b) { b.refuseUidl = {4}; }, false},
        {"TOP refused", [](fakes::FakeMailbox& b) { b.refuseTop = {5}; }, false},
        {"STAT refused", [](fakes::FakeMailbox& b) { b.refuseStat = true; }, false},
        {"connection lost while ids are collected",
         [](fakes::FakeMailbox& b) {
             b.dropAfterCommands = static_cast<int>(b.commands.size()) + 6;
         },
         true},
        {"connection lost while headers are fetched",
         [](fakes::FakeMailbox& b) {
             b.dropAfterCommands = static_cast<int>(b.commands.size()) + 10;
         },
         true},
        {"line noise for an id", [](fakes::FakeMailbox& b) { b.answers["UIDL 4"] = "~#kx qqq"; },
         true},
        {"line noise for the count", [](fakes::FakeMailbox& b) { b.answers["STAT"] = "hd:ee ?.j"; },
         true},
        {"a count without a number", [](fakes::FakeMailbox& b) { b.answers["STAT"] = "+OK"; },
         true},
        {"the id of another message",
         [](fakes::FakeMailbox& b) { b.answers["UIDL 5"] = "+OK 3 u3"; }, true},
        {"a count that is no number",
         [](fakes::FakeMailbox& b) { b.answers["STAT"] = "+OK veel 12345"; }, true},
        {"an extra line after a header",
         [](fakes::FakeMailbox& b) {
             b.answers["TOP 5 0"] = "+OK\r\nSubject: Bericht 5\r\n\r\n.\r\n+OK 4 u4";
         },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MailRig rig;
        rig.AddMessages(1, 3);
        rig.CheckAndListen();
        const ReadingState before = rig.state;
        const std::string idFile = Read(rig.dir.Path() / "jan.id");
        rig.AddMessages(4, 5);
        rig.speech.said.clear();
        c.arrange(rig.box);
        rig.mail.CheckMail();

        EXPECT_EQ(rig.state.KnownIds, before.KnownIds);
        EXPECT_EQ(rig.state.KnownHeaders, before.KnownHeaders);
        EXPECT_EQ(rig.state.MessageCount, before.MessageCount);
        EXPECT_EQ(rig.state.NewTotal, before.NewTotal);
        EXPECT_EQ(Read(rig.dir.Path() / "jan.id"), idFile);
        EXPECT_THAT(rig.Said(),
                    ElementsAre(c.passing ? kRetryLaterSentence : kCannotConnectSentence));
        EXPECT_EQ(rig.state.Online, c.passing);
        EXPECT_EQ(rig.shell.optionsShown, c.passing ? 0 : 1);
        if (!c.passing) {
            EXPECT_EQ(rig.log.back(), "Focus host");
        }
        EXPECT_FALSE(rig.window.connected);
        EXPECT_FALSE(rig.client.IsConnected);
        EXPECT_EQ(rig.client.OwnedMessageCount(), 0u);
    }
}

// A pause may be forgotten for days: timed checks go on meanwhile without a word and without
// touching what the paused speech needs; what they find is announced once speaking ends, at
// the places the messages hold by then. A paused announcement goes on first.
TEST(MailCheck, ChecksGoOnSilentlyDuringAPauseAndTheirMailIsAnnouncedWhenSpeakingEnds) {
    enum class Paused { Reading, Announcement };
    enum class End { Resume, Stop };
    const std::string two = "Er zijn 2 nieuwe berichten\r1. Van Afzender 5. Onderwerp: Bericht 5";
    const std::string second = "2. Van Afzender 4. Onderwerp: Bericht 4";
    const char* const kReading = "PLAY pauze STOP back forw";
    const char* const kHeader = "PLAY pauze STOP BACK FORW"; // no longer the first message
    const struct {
        const char* name;
        Paused paused;
        End end;
        bool serverAway;
        int currentInPause;             // the paused message's place once the check is done
        const char* buttonsInPause;     // what resumes, stops, and steps from that place
        std::vector<std::string> after; // said once the pause ends
    } cases[] = {
        {"a reading resumed", Paused::Reading, End::Resume, false, 3, kReading, {two, second}},
        {"a reading stopped", Paused::Reading, End::Stop, false, 3, kReading, {two, second}},
        {"the check fails", Paused::Reading, End::Resume, true, 1, kReading, {}},
        {"an announcement resumed",
         Paused::Announcement,
         End::Resume,
         false,
         2,
         kHeader,
         {"4. Van Afzender 2. Onderwerp: Bericht 2", "5. Van Afzender 1. Onderwerp: Bericht 1", two,
          second}},
        {"an announcement stopped",
         Paused::Announcement,
         End::Stop,
         false,
         2,
         kHeader,
         {two, second}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MailRig rig;
        rig.AddMessages(1, 3);
        if (c.paused == Paused::Reading) {
            rig.CheckAndListen();
            rig.mail.NextMessage(); // message 2, Afzender 2
            rig.SpeakAll();
            rig.shell.StopHeaderTimer(); // ten seconds later: read with the header
            rig.mail.PlayMessage();
            ASSERT_EQ(rig.LastSaid().rfind("2. Van Afzender 2.", 0), 0u);
        } else {
            rig.mail.CheckMail(); // the first header of three is being said
        }
        rig.mail.PauseReading();
        EXPECT_TRUE(rig.shell.mailTimer) << "checks go on during the pause";
        const std::size_t said = rig.speech.said.size();
        const int newTotal = rig.state.NewTotal;

        rig.AddMessages(4, 5);
        rig.box.refuseConnect = c.serverAway;
        rig.mail.CheckMail(); // the mail timer's tick
        EXPECT_EQ(rig.speech.said.size(), said) << "nothing said during the pause";
        EXPECT_TRUE(rig.speech.paused);
        EXPECT_TRUE(rig.state.Paused);
        EXPECT_EQ(rig.shell.Buttons(), c.buttonsInPause);
        EXPECT_EQ(rig.shell.optionsShown, 0);
        EXPECT_TRUE(rig.state.Online);
        EXPECT_TRUE(rig.shell.mailTimer);
        EXPECT_EQ(rig.state.CurrentIndex, c.currentInPause);
        EXPECT_EQ(rig.state.NewTotal, newTotal + (c.serverAway ? 0 : 2));

        const int connections = rig.box.connections;
        if (c.end == End::Resume) {
            rig.mail.PlayMessage();
            EXPECT_FALSE(rig.speech.paused);
            EXPECT_FALSE(rig.shell.mailTimer);
        } else {
            rig.mail.StopReading();
        }
        EXPECT_EQ(rig.box.connections, connections) << "resumed, not fetched again";
        rig.SpeakAll();
        const std::vector<std::string> all = rig.Said();
        EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<long>(said), all.end()),
                  c.after);
        EXPECT_FALSE(rig.state.ReadingHeaders || rig.state.ReadingBody || rig.state.Paused);
        EXPECT_TRUE(rig.state.PendingNewIds.empty());
        EXPECT_TRUE(rig.shell.mailTimer);
        if (!c.after.empty()) {
            EXPECT_EQ(rig.state.CurrentIndex, 0); // play reads the newest
            EXPECT_GE(rig.state.NewTotal, 2);
            EXPECT_EQ(Read(rig.dir.Path() / "jan.id"), "u5\r\nu4\r\nu3\r\nu2\r\nu1\r\n");
        }
        if (c.serverAway) {
            // The failure is met again by the next check, now that it may be said.
            rig.CheckAndListen();
            EXPECT_THAT(rig.Said().back(), kRetryLaterSentence);
        }
    }
}

TEST(MailCheck, NothingElseStartsWhileTheClientWaitsForTheServer) {
    MailRig rig;
    rig.AddMessages(1, 3);
    rig.CheckAndListen();
    rig.AddMessages(4, 4);
    rig.shell.buttons["play"] = rig.shell.buttons["forw"] = true;
    int pumps = 0;
    // What the user could click while the client lets the event loop run.
    rig.client.ProcessMessages = [&] {
        ++pumps;
        EXPECT_TRUE(rig.mail.SessionOpen());
        rig.mail.CheckMail();
        rig.mail.PlayMessage();
        rig.mail.NextMessage();
        rig.mail.PreviousMessage();
        rig.mail.SetOnline(false);
    };
    rig.mail.CheckMail();
    rig.client.ProcessMessages = nullptr;
    EXPECT_GT(pumps, 10);
    EXPECT_EQ(rig.box.connections, 2);
    EXPECT_TRUE(rig.state.Online);
    EXPECT_TRUE(rig.shell.online);
    EXPECT_EQ(rig.state.NewCount, 1);
    EXPECT_EQ(rig.LastSaid(), "Er is een nieuw bericht\r1. Van Afzender 4. Onderwerp: Bericht 4");
    EXPECT_FALSE(rig.mail.SessionOpen());
}

TEST(MailCheck, AnAbortedCheckEndsSilentlyAndChangesNothing) {
    MailRig rig;
    rig.AddMessages(1, 3);
    rig.box.onCommand = [&](const std::string& command) {
        if (command == "UIDL 2") rig.mail.AbortSession();
    };
    rig.mail.CheckMail();
    EXPECT_TRUE(rig.speech.said.empty());
    EXPECT_TRUE(rig.state.KnownIds.empty());
    EXPECT_EQ(rig.state.MessageCount, 0);
    EXPECT_TRUE(rig.state.Online);
    EXPECT_EQ(rig.shell.optionsShown, 0);
    EXPECT_FALSE(rig.mail.SessionOpen());
    EXPECT_FALSE(std::filesystem::exists(rig.dir.Path() / "jan.id"));
}

TEST(MailCheck, SetOnlineSwitchesCheckingAndTheTrayMark) {
    MailRig rig;
    rig.AddMessages(1, 2);
    rig.CheckAndListen();
    rig.mail.SetOnline(false);
    EXPECT_FALSE(rig.state.Online);
    EXPECT_FALSE(rig.shell.online);
    EXPECT_FALSE(rig.shell.mailTimer);
    rig.mail.SetOnline(true);
    EXPECT_TRUE(rig.state.Online);
    EXPECT_TRUE(rig.shell.online);
    EXPECT_TRUE(rig.shell.mailTimer);
    EXPECT_EQ(rig.shell.Buttons(), "PLAY pauze stop back FORW");
}

} // namespace
} // namespace brevon
