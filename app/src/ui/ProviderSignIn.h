// The shell's side of signing in at a mail provider: client IDs (the presets' own, else the
// ones this build was given), the sign-in the options dialog starts, and the access tokens the
// mail side asks for, for the provider the settings name ("Aanmelden"), or before any sign-in
// the provider of an address whose server takes no password.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <app/RefreshTokenStore.h>
#include <app/Settings.h>

#include "OAuthClient.h"
#include "OAuthTokenSource.h"

class QNetworkAccessManager;

namespace platform {
class SecretStore;
class SettingsStore;
} // namespace platform

namespace brevon {

class MailPresets;
struct OAuthProvider;

// The client IDs this build was given, by provider id; empty: none.
struct BuildClientIds {
    std::string microsoft;
    std::string google;
};

// The variable that makes the sign-in fetch the provider's page itself instead of opening the
// desktop's browser: a test seam, for the tests that sign in against a server of their own.
// "fetch" asks for the page and follows its redirects, as a browser whose user is signed in
// at the provider does. Any other value, or none, opens the desktop's browser.
inline constexpr const char* kTestBrowserVariable = "BREVON_TEST_BROWSER";

// Told to the user under the sign-in button when it failed.
inline constexpr std::string_view kSignInCancelledText = "Aanmelden is afgebroken.";
inline constexpr std::string_view kSignInUnreachableText =
    "De aanmeldpagina is niet bereikbaar. Probeer het later opnieuw.";
inline constexpr std::string_view kSignInFailedText = "Aanmelden is niet gelukt.";
inline constexpr std::string_view kSignInNotKeptText = "De aanmelding kan niet worden bewaard.";

class ProviderSignIn {
public:
    // secrets may be null: this system has no keyring.
    ProviderSignIn(const Settings& settings, const MailPresets& presets, BuildClientIds ids,
                   platform::SettingsStore& store, std::unique_ptr<platform::SecretStore> secrets);
    ~ProviderSignIn();

    // The SASL mechanism of the provider the settings name; empty: the password.
    std::string Mechanism() const;
    AccessTokenSource& Tokens() { return tokens_; }

    bool CanSignIn(const std::string& provider) const;
    // One sign-in at a time; a new one ends the one under way. done: empty, or what failed.
    void SignIn(const std::string& provider, const std::string& address, const std::string& account,
                std::function<void(const std::string&)> done);

private:
    // The provider the mailbox signs in at: the one signed in at, or the address's when that
    // provider takes no password and the server is still its own.
    const OAuthProvider* SignInProvider() const;
    std::string ClientId(const OAuthProvider& provider) const;
    OAuthEndpoints Endpoints(const OAuthProvider& provider) const;
    bool Open(const QUrl& url);

    const Settings& settings_;
    const MailPresets& presets_;
    BuildClientIds ids_;
    std::unique_ptr<platform::SecretStore> secrets_;
    RefreshTokenStore store_;
    OAuthTokenSource tokens_;
    std::unique_ptr<OAuthSignIn> flow_;
    std::unique_ptr<QNetworkAccessManager> testBrowser_;
};

} // namespace brevon
