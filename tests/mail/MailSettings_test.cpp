#include <mail/MailSettings.h>

#include <gtest/gtest.h>

namespace brevon {
namespace {

TEST(ResolveServer, TakesThePortWithTheHostThenThePortSettingThenTheSecuritysUsualOne) {
    using enum ConnectionSecurity;
    const struct {
        const char* host;
        PortNumber port;
        ConnectionSecurity security;
        const char* toHost;
        PortNumber toPort;
    } cases[] = {
        {"pop.voorbeeld.nl", kUsualPort, None, "pop.voorbeeld.nl", 110},
        {"pop.voorbeeld.nl", kUsualPort, StartTls, "pop.voorbeeld.nl", 110},
        {"pop.voorbeeld.nl", kUsualPort, Tls, "pop.voorbeeld.nl", 995},
        {"pop.voorbeeld.nl", 1110, Tls, "pop.voorbeeld.nl", 1110},
        {" pop.voorbeeld.nl:2110 ", 1110, None, "pop.voorbeeld.nl", 2110},
        {"pop.voorbeeld.nl:0995", kUsualPort, None, "pop.voorbeeld.nl", 995},
        {"[::1]:995", kUsualPort, None, "::1", 995},
        {"[::1]", 1110, None, "::1", 1110},
        {"::1", kUsualPort, Tls, "::1", 995}, // more than one colon: an address, no port
        // A port with the host that is none counts as not written.
        {"10.0.0.1:abc", kUsualPort, None, "10.0.0.1", 110},
        {"10.0.0.1:0", 1110, None, "10.0.0.1", 1110},
        {"10.0.0.1:65536", kUsualPort, Tls, "10.0.0.1", 995},
        {"10.0.0.1:-5", kUsualPort, None, "10.0.0.1", 110},
        {"10.0.0.1:", kUsualPort, None, "10.0.0.1", 110},
        {"", kUsualPort, None, "", 110},
    };
    for (const auto& c : cases) {
        const MailServer server = ResolveServer(c.host, c.port, c.security);
        EXPECT_EQ(server.host, c.toHost) << c.host;
        EXPECT_EQ(server.port, c.toPort) << c.host << " " << c.port;
        EXPECT_EQ(server.security, c.security) << c.host;
    }
}

TEST(PortText, StoresAPortAsItsDigitsAndReadsBackOnlyPortsFrom1To65535) {
    const struct {
        const char* text;
        PortNumber port;
        const char* stored;
    } cases[] = {
        {"995", 995, "995"},       {" 0995\t", 995, "995"},
        {"65535", 65535, "65535"}, {"1", 1, "1"},
        {"", kUsualPort, ""},      {"0", kUsualPort, ""},
        {"65536", kUsualPort, ""}, {"+995", kUsualPort, ""},
        {"99 5", kUsualPort, ""},  {"995000", kUsualPort, ""},
        {"abc", kUsualPort, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PortFromText(c.text), c.port) << '"' << c.text << '"';
        EXPECT_EQ(PortText(PortFromText(c.text)), c.stored) << '"' << c.text << '"';
    }
}

} // namespace
} // namespace brevon
