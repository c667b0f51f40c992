#include <mail/MailPresets.h>

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "TempDir.h"

namespace brevon {
namespace {

MailPresets Shipped() {
    const PresetsLoad load = LoadMailPresets(PRESETS_FILE, {});
    EXPECT_TRUE(load.errors.empty()) << load.errors.front();
    return load.presets;
}

TEST(MailPresets, EveryShippedEntryIsCompleteAndSourced) {
    const MailPresets presets = Shipped();
    ASSERT_FALSE(presets.Domains().empty());
    for (const auto& [domain, preset] : presets.Domains()) {
        SCOPED_TRACE(domain);
        EXPECT_EQ(preset.source.rfind("https://", 0), 0u);
        EXPECT_FALSE(preset.host.empty());
        EXPECT_FALSE(preset.port.empty());
        // Every provider here wants the connection encrypted from the start.
        EXPECT_EQ(preset.security, ConnectionSecurity::Tls);
        EXPECT_TRUE(preset.signIn != SignInMethod::OAuth2 || !preset.oauth2.empty());
        EXPECT_TRUE(preset.oauth2.empty() || presets.Provider(preset.oauth2));
    }
    for (const auto& [id, provider] : presets.Providers()) {
        SCOPED_TRACE(id);
        EXPECT_EQ(provider.source.rfind("https://", 0), 0u);
        EXPECT_FALSE(provider.name.empty());
        EXPECT_EQ(provider.authorizationUrl.rfind("https://", 0), 0u);
        EXPECT_EQ(provider.tokenUrl.rfind("https://", 0), 0u);
        EXPECT_FALSE(provider.scopes.empty());
        // No client ID is shipped: each build or user registers its own.
        EXPECT_TRUE(provider.clientId.empty());
    }
}

TEST(MailPresets, AnAddressFindsTheSettingsOfItsDomain) {
    struct Case {
        const char* address;
        const char* host; // nullptr: no preset
        SignInMethod signIn;
        const char* oauth2;
    };
    const Case cases[] = {
        {"jan@hotmail.nl", "outlook.office365.com", SignInMethod::OAuth2, "microsoft"},
        {"jan@Outlook.COM", "outlook.office365.com", SignInMethod::OAuth2, "microsoft"},
        {"  jan@live.nl ", "outlook.office365.com", SignInMethod::OAuth2, "microsoft"},
        {"piet@gmail.com", "pop.gmail.com", SignInMethod::AppPassword, "google"},
        {"piet@googlemail.com", "pop.gmail.com", SignInMethod::AppPassword, "google"},
        {"oma@hetnet.nl", "pop.kpnmail.nl", SignInMethod::Password, ""},
        {"oma@planet.nl", "pop.kpnmail.nl", SignInMethod::Password, ""},
        {"opa@home.nl", "pop.ziggo.nl", SignInMethod::Password, ""},
        {"opa@casema.nl", "pop.ziggo.nl", SignInMethod::Password, ""},
        {"\"a@b\"@ziggo.nl", "pop.ziggo.nl", SignInMethod::Password, ""},
        {"jan@onbekend.example", nullptr, {}, ""},
        {"jan@mail.gmail.com", nullptr, {}, ""},
        {"gmail.com", nullptr, {}, ""},
        {"jan@", nullptr, {}, ""},
        {"", nullptr, {}, ""},
    };
    const MailPresets presets = Shipped();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        const MailPreset* preset = presets.ForAddress(c.address);
        if (!c.host) {
            EXPECT_EQ(preset, nullptr);
            continue;
        }
        ASSERT_NE(preset, nullptr);
        EXPECT_EQ(preset->host, c.host);
        EXPECT_EQ(preset->port, "995");
        EXPECT_EQ(preset->security, ConnectionSecurity::Tls);
        EXPECT_EQ(preset->signIn, c.signIn);
        EXPECT_EQ(preset->oauth2, c.oauth2);
    }
    const OAuthProvider* microsoft = presets.Provider("microsoft");
    ASSERT_NE(microsoft, nullptr);
    EXPECT_EQ(microsoft->mechanism, "XOAUTH2");
    EXPECT_NE(microsoft->scopes.find("offline_access"), std::string::npos);
}

constexpr const char* kProvider = "[oauth2 eigen]\nname = Eigen\n"
                                  "authorization = http://127.0.0.1:8080/authorize\n"
                                  "token = http://127.0.0.1:8080/token\nscopes = pop\n"
                                  "client-id = brevon-test\nmechanism = OAUTHBEARER\n";

TEST(MailPresets, ABadFileIsRefusedWithItsLineAndChangesNothing) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"host = x\n", "line 1: a value before the first section"},
        {"[domains a.nl\n", "line 1: a section without \"]\""},
        {"[mail a.nl]\n", "line 1: a section is [domains ...] or [oauth2 id]"},
        {"[domains]\n", "line 1: [domains ...] names no domain"},
        {"[oauth2 a b]\n", "line 1: [oauth2 id] names one provider"},
        {"[domains a_b.nl]\n", "line 1: \"a_b.nl\" is no name"},
        {"[domains a.nl]\nhost pop.a.nl\n", "line 2: neither a section nor \"key = value\""},
        {"[domains a.nl]\ncolour = red\n", "line 2: unknown key \"colour\""},
        {"[domains a.nl]\nhost = p\nhost = q\n", "line 3: \"host\" given twice"},
        {"[domains a.nl]\nhost = p\x01\n", "line 2: holds a control character"},
        {"\n[domains a.nl]\nhost = pop.a.nl\nport = 995\nsignin = password\n",
         "line 2: \"security\" is missing"},
        {"[domains a.nl]\nhost = pop.a.nl\nport = 0\nsecurity = SSL/TLS\nsignin = password\n",
         "line 1: port \"0\" is not 1 to 65535"},
        {"[domains a.nl]\nhost = pop a\nport = 995\nsecurity = SSL/TLS\nsignin = password\n",
         "line 1: host \"pop a\" is no host name"},
        {"[domains a.nl]\nhost = p\nport = 995\nsecurity = TLS\nsignin = password\n",
         "line 1: security \"TLS\" is not SSL/TLS, STARTTLS or Geen"},
        {"[domains a.nl]\nhost = p\nport = 995\nsecurity = Geen\nsignin = kerberos\n",
         "line 1: signin \"kerberos\" is not password, app-password or oauth2"},
        {"[domains a.nl]\nhost = p\nport = 995\nsecurity = Geen\nsignin = oauth2\n",
         "line 1: signin oauth2 names no \"oauth2\" provider"},
        {"[domains a.nl]\nhost = p\nport = 995\nsecurity = Geen\nsignin = oauth2\n"
         "oauth2 = elders\n",
         "line 1: no [oauth2 elders] entry"},
        {"[oauth2 x]\nname = X\nauthorization = http://example.com/a\ntoken = https://t/\n"
         "scopes = s\nmechanism = XOAUTH2\n",
         "line 1: \"http://example.com/a\" is no https:// address"},
        {"[oauth2 x]\nname = X\nauthorization = https://a/\ntoken = https://t/\n"
         "scopes = s\nmechanism = PLAIN\n",
         "line 1: mechanism \"PLAIN\" is neither XOAUTH2 nor OAUTHBEARER"},
        {"[oauth2 x]\nname = X\ntoken = https://t/\nscopes = s\nmechanism = XOAUTH2\n",
         "line 1: \"authorization\" is missing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        MailPresets presets;
        std::string error;
        ASSERT_TRUE(presets.Add(kProvider, error)) << error;
        // A good entry before the fault must not slip in either.
        const std::string text = std::string(c.text) +
                                 "\n[domains late.nl]\nhost = p\nport = 1\nsecurity = Geen\n"
                                 "signin = password\n";
        EXPECT_FALSE(presets.Add(text, error));
        EXPECT_EQ(error, c.error);
        EXPECT_TRUE(presets.Domains().empty());
        EXPECT_EQ(presets.Providers().size(), 1u);
    }
}

void Write(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

TEST(MailPresets, TheUsersFileAddsAndReplacesEntriesAndABadOneIsNamed) {
    testsupport::TempDir dir;
    const std::filesystem::path user = dir.Path() / "providers.ini";

    PresetsLoad load = LoadMailPresets(PRESETS_FILE, user);
    EXPECT_TRUE(load.errors.empty());
    EXPECT_NE(load.presets.ForAddress("a@gmail.com"), nullptr);

    Write(user, std::string(kProvider) +
                    "[domains gmail.com eigen.nl]\nhost = 127.0.0.1\nport = 1995\n"
                    "security = STARTTLS\nsignin = oauth2\noauth2 = eigen\n");
    load = LoadMailPresets(PRESETS_FILE, user);
    EXPECT_TRUE(load.errors.empty());
    for (const char* address : {"a@gmail.com", "a@eigen.nl"}) {
        const MailPreset* preset = load.presets.ForAddress(address);
        ASSERT_NE(preset, nullptr);
        EXPECT_EQ(preset->host, "127.0.0.1");
        EXPECT_EQ(preset->security, ConnectionSecurity::StartTls);
        EXPECT_EQ(preset->oauth2, "eigen");
    }
    EXPECT_EQ(load.presets.ForAddress("a@googlemail.com")->host, "pop.gmail.com");
    EXPECT_EQ(load.presets.Provider("eigen")->clientId, "brevon-test");

    Write(user, "[domains gmail.com]\nhost = elders\n");
    load = LoadMailPresets(PRESETS_FILE, user);
    ASSERT_EQ(load.errors.size(), 1u);
    EXPECT_EQ(load.errors.front(), user.string() + ": line 1: \"port\" is missing");
    EXPECT_EQ(load.presets.ForAddress("a@gmail.com")->host, "pop.gmail.com");

    load = LoadMailPresets(dir.Path() / "absent.ini", {});
    ASSERT_EQ(load.errors.size(), 1u);
    EXPECT_NE(load.errors.front().find("cannot be opened"), std::string::npos);
    load = LoadMailPresets(PRESETS_FILE, dir.Path());
    ASSERT_EQ(load.errors.size(), 1u);
    EXPECT_NE(load.errors.front().find("cannot be read"), std::string::npos);
}

TEST(MailPresets, OnlyAPlainAddressLooksLikeOne) {
    for (const char* good : {"jan@ziggo.nl", "j.de.vries+post@Hotmail.NL"})
        EXPECT_TRUE(LooksLikeAddress(good)) << good;
    for (const char* bad : {"", "jan", "@ziggo.nl", "jan@", "jan @ziggo.nl", "jan@ziggo..nl"})
        EXPECT_FALSE(LooksLikeAddress(bad)) << bad;
}

} // namespace
} // namespace brevon
