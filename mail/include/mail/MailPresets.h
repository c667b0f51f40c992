// What brevon knows of mail providers: the POP3 server, port, security and way of signing in
// that belong to the domain of an e-mail address, and the OAuth2 authorization servers some of
// them sign in with. Read from the shipped "providers.ini" and the user's own file of that
// name, whose entries add to or replace the shipped ones.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <mail/MailSettings.h>

namespace brevon {

inline constexpr std::string_view kPresetsFileName = "providers.ini";

// How a provider lets a mail program in.
enum class SignInMethod {
    Password,    // the account's own password
    AppPassword, // a password the user makes for this program in the provider's account pages
    OAuth2,      // the provider's sign-in page; POP3 then takes an access token
};

// An OAuth2 authorization server (RFC 6749) and the SASL mechanism its POP3 server takes.
struct OAuthProvider {
    std::string id;
    std::string source;
    std::string name; // as the user knows it: "Microsoft"
    std::string authorizationUrl;
    std::string tokenUrl;
    std::string scopes;    // blank-separated
    std::string clientId;  // empty: none given with the entry
    std::string mechanism; // "XOAUTH2" or "OAUTHBEARER"
    bool operator==(const OAuthProvider&) const = default;
};

struct MailPreset {
    std::vector<std::string> domains; // lower case
    std::string source;
    std::string host;
    std::string port;
    ConnectionSecurity security = ConnectionSecurity::Tls;
    SignInMethod signIn = SignInMethod::Password;
    std::string oauth2; // an OAuthProvider's id, or empty
    bool operator==(const MailPreset&) const = default;
};

class MailPresets {
public:
    // Adds the entries of one file's text, replacing those of the same domain or provider id.
    // On a bad text nothing is added and the error says where and what, as "line 3: ...".
    bool Add(std::string_view text, std::string& error);

    // The preset of the address's domain (after its last "@", case aside), or null.
    const MailPreset* ForAddress(std::string_view address) const;
    const OAuthProvider* Provider(std::string_view id) const;

    // Every domain's preset (one entry per domain), and every provider, in name order.
    const std::map<std::string, MailPreset>& Domains() const { return domains_; }
    const std::map<std::string, OAuthProvider>& Providers() const { return providers_; }

private:
    std::map<std::string, MailPreset> domains_;
    std::map<std::string, OAuthProvider> providers_;
};

struct PresetsLoad {
    MailPresets presets;
    std::vector<std::string> errors; // one per file that could not be used, naming it
};

// The shipped file, then the user's; a missing user file is no error, a missing shipped one
// is. A file that cannot be read or parsed adds nothing.
PresetsLoad LoadMailPresets(const std::filesystem::path& shipped,
                            const std::filesystem::path& user);

// An address as the dialog takes it: one "@" with text on both sides, and no blanks.
bool LooksLikeAddress(std::string_view address);

} // namespace brevon
