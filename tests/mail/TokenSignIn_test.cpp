// A mailbox that signs in at its provider: the check logs in with the access token the shell
// hands out, by the settings' SASL mechanism, and each way of not having a good token ends as
// its cause asks: the provider out of reach as a passing failure, a sign-in that cannot be
// renewed spoken once with the dialog open on its button.
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <korp/KorpSasl.h>

#include "MailRig.h"

namespace brevon {
namespace {

using fakes::MailRig;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

// The one AUTH line the fake server takes: the mechanism's initial response for that token.
std::string AuthLine(const std::string& mechanism, const std::string& token) {
    const korp::TSaslMechanism m = *korp::SaslMechanismFromName(mechanism);
    return "AUTH " + mechanism + " " +
           korp::Base64Encode(
               korp::SaslInitialResponse(m, "jan", "pop.voorbeeld.nl", "110", token));
}

void SignInWithTokens(MailRig& rig, const std::string& mechanism) {
    rig.settings.SaslMechanism = mechanism;
    rig.settings.Password.clear();
    rig.box.answers[AuthLine(mechanism, "access-1")] = "+OK welkom";
}

TEST(TokenSignIn, ACheckLogsInWithTheTokenByTheMechanismAndNeverSendsAPassword) {
    for (const char* mechanism : {"XOAUTH2", "OAUTHBEARER"}) {
        SCOPED_TRACE(mechanism);
        MailRig rig;
        SignInWithTokens(rig, mechanism);
        rig.AddMessages(1, 1);
        rig.CheckAndListen();
        EXPECT_EQ(rig.LastSaid(),
                  "Er is een nieuw bericht\r1. Van Afzender 1. Onderwerp: Bericht 1");
        EXPECT_EQ(rig.tokens.asked, 1);
        EXPECT_THAT(rig.box.commands, Contains(AuthLine(mechanism, "access-1")));
        EXPECT_THAT(rig.box.commands, Not(Contains(HasSubstr("USER"))));
        EXPECT_THAT(rig.box.commands, Not(Contains(HasSubstr("PASS"))));
        // The token lives in the client only for the login.
        EXPECT_TRUE(rig.client.AccessToken.empty());
    }
}

TEST(TokenSignIn, APasswordMailboxNeverAsksForAToken) {
    MailRig rig;
    rig.AddMessages(1, 1);
    rig.CheckAndListen();
    EXPECT_EQ(rig.tokens.asked, 0);
    EXPECT_THAT(rig.box.commands, Contains("USER jan"));
}

TEST(TokenSignIn, EachWayOfHavingNoGoodTokenEndsAsItsCauseAsks) {
    const std::string expired = "Uw aanmelding bij Microsoft is verlopen; meld u opnieuw aan.";
    const auto reached = [](MailRig& r) {
        r.CheckAndListen();
        r.speech.said.clear();
        r.log.clear();
    };
    const auto nothing = [](MailRig&) {};
    const struct {
        const char* name;
        std::function<void(MailRig&)> before; // with a good token
        std::function<void(MailRig&)> arrange;
        std::vector<std::string> said; // over two checks
        bool online;
        int connections; // made by the two checks
        int rejected;
    } cases[] = {
        {"the provider refuses to renew",
         nothing,
         [](MailRig& r) {
             r.tokens.answers = {{.trouble = TokenTrouble::SignInAgain,
                                  .provider = "Microsoft",
                                  .error = "invalid_grant"}};
         },
         {expired, expired},
         false,
         0,
         0},
        {"never signed in",
         nothing,
         [](MailRig& r) {
             r.tokens.answers = {{.trouble = TokenTrouble::NotSignedIn,
                                  .provider = "Microsoft",
                                  .error = "no sign-in kept"}};
         },
         {"U bent nog niet aangemeld bij Microsoft; meld u aan in de instellingen.",
          "U bent nog niet aangemeld bij Microsoft; meld u aan in de instellingen."},
         false,
         0,
         0},
        {"the provider out of reach",
         nothing,
         [](MailRig& r) {
             r.tokens.answers = {
                 {.trouble = TokenTrouble::Passing, .provider = "Microsoft", .error = "no answer"}};
         },
         {kRetryLaterSentence},
         true,
         0,
         0},
        {"the server refuses the token of a mailbox never reached",
         nothing,
         [](MailRig& r) { r.tokens.answers = {{.token = "stale", .provider = "Microsoft"}}; },
         {expired, expired},
         false,
         2,
         2},
        {"the server refuses the token of a mailbox reached before",
         reached,
         [](MailRig& r) { r.tokens.answers = {{.token = "stale", .provider = "Microsoft"}}; },
         {kRetryLaterSentence},
         true,
         2,
         2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MailRig rig;
        SignInWithTokens(rig, "XOAUTH2");
        rig.AddMessages(1, 1);
        c.before(rig);
        const int connectionsBefore = rig.box.connections;
        c.arrange(rig);
        rig.CheckAndListen();
        rig.CheckAndListen();
        EXPECT_EQ(rig.Said(), c.said);
        EXPECT_EQ(rig.state.Online, c.online);
        EXPECT_EQ(rig.box.connections - connectionsBefore, c.connections);
        EXPECT_EQ(rig.tokens.rejected, c.rejected);
        if (c.online) {
            EXPECT_EQ(rig.shell.optionsShown, 0);
            EXPECT_TRUE(rig.shell.mailTimer);
        } else {
            EXPECT_THAT(rig.log, Contains("Focus sign-in"));
            EXPECT_THAT(rig.window.status, HasSubstr("Sign-in failed"));
        }
        // What the provider or server said may reach the status, never a token.
        EXPECT_THAT(rig.window.status, Not(HasSubstr("stale")));
    }
}

} // namespace
} // namespace brevon
