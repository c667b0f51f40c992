#include "ProviderSignIn.h"

#include <cstdlib>
#include <optional>
#include <utility>

#include <QDesktopServices>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

#include <app/KeyringSettingsStore.h>
#include <mail/MailPresets.h>
#include <platform/Secrets.h>

#include "QtText.h"
#include "Trace.h"

namespace brevon {

namespace {

QString Text(const std::string& cp1252) {
    return FromCp1252(cp1252);
}

std::string_view FailureText(OAuthFailure failure) {
    switch (failure) {
    case OAuthFailure::Denied:
    case OAuthFailure::Cancelled:
        return kSignInCancelledText;
    case OAuthFailure::TimedOut:
    case OAuthFailure::Network:
        return kSignInUnreachableText;
    default:
        return kSignInFailedText;
    }
}

} // namespace

ProviderSignIn::ProviderSignIn(const Settings& settings, const MailPresets& presets,
                               BuildClientIds ids, platform::SettingsStore& store,
                               std::unique_ptr<platform::SecretStore> secrets)
    : settings_(settings), presets_(presets), ids_(std::move(ids)), secrets_(std::move(secrets)),
      store_(store, secrets_.get()), tokens_(store_, [this]() -> std::optional<OAuthAccount> {
          const OAuthProvider* provider = SignInProvider();
          if (!provider) return std::nullopt;
          return OAuthAccount{Endpoints(*provider), provider->name,
                              PasswordAccount(settings_.User, settings_.Host)};
      }) {
    const char* browser = std::getenv(kTestBrowserVariable);
    if (browser && std::string_view(browser) == "fetch")
        testBrowser_ = std::make_unique<QNetworkAccessManager>();
}

ProviderSignIn::~ProviderSignIn() = default;

std::string ProviderSignIn::ClientId(const OAuthProvider& provider) const {
    if (!provider.clientId.empty()) return provider.clientId;
    if (provider.id == "microsoft") return ids_.microsoft;
    if (provider.id == "google") return ids_.google;
    return {};
}

OAuthEndpoints ProviderSignIn::Endpoints(const OAuthProvider& provider) const {
    return {QUrl(Text(provider.authorizationUrl)), QUrl(Text(provider.tokenUrl)),
            Text(provider.scopes), Text(ClientId(provider))};
}

const OAuthProvider* ProviderSignIn::SignInProvider() const {
    if (!settings_.SignIn.empty()) return presets_.Provider(settings_.SignIn);
    // Not signed in yet at a provider that takes no password: its POP3 server would only
    // refuse one, so the check asks for the sign-in instead.
    const MailPreset* preset = presets_.ForAddress(settings_.Address);
    if (!preset || preset->signIn != SignInMethod::OAuth2 || preset->host != settings_.Host)
        return nullptr;
    return presets_.Provider(preset->oauth2);
}

std::string ProviderSignIn::Mechanism() const {
    const OAuthProvider* provider = SignInProvider();
    return provider ? provider->mechanism : std::string();
}

bool ProviderSignIn::CanSignIn(const std::string& provider) const {
    const OAuthProvider* found = presets_.Provider(provider);
    return found && !ClientId(*found).empty();
}

bool ProviderSignIn::Open(const QUrl& url) {
    if (!testBrowser_) return QDesktopServices::openUrl(url);
    QNetworkReply* reply = testBrowser_->get(QNetworkRequest(url));
    QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    return true;
}

void ProviderSignIn::SignIn(const std::string& provider, const std::string& address,
                            const std::string& account,
                            std::function<void(const std::string&)> done) {
    const OAuthProvider* found = presets_.Provider(provider);
    if (!found || !CanSignIn(provider)) return done(std::string(kSignInFailedText));
    if (flow_) flow_->Cancel();
    const OAuthAccount who{Endpoints(*found), found->name, account};
    flow_ = std::make_unique<OAuthSignIn>(who.endpoints, Text(address),
                                          [this](const QUrl& url) { return Open(url); });
    OAuthSignIn* started = flow_.get();
    started->Start([this, who, started, done = std::move(done)](OAuthResult result) {
        std::string failure;
        if (result.Ok()) {
            std::string problem;
            if (!tokens_.SignedIn(who, result.tokens, problem)) {
                failure = kSignInNotKeptText;
                Trace("Sign-in not kept: " + problem);
            }
        } else {
            failure = FailureText(result.failure);
            Trace("Sign-in failed: " + ToCp1252(result.detail));
        }
        // The flow is still on the stack that called this: it goes once that has unwound.
        if (flow_.get() == started)
            QTimer::singleShot(0, [gone = flow_.release()] { delete gone; });
        done(failure);
    });
}

} // namespace brevon
