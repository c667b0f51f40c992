// The access tokens of a mailbox that signs in at its provider, as the mail side asks for them:
// the access token kept in memory only, renewed with the refresh token shortly before it
// expires; the refresh token kept by a RefreshTokenStore. A renewal waits (bounded) with the
// window events running, as the POP3 client itself waits.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include <app/RefreshTokenStore.h>
#include <mail/AccessTokenSource.h>

#include "OAuthClient.h"

namespace brevon {

// Whom a sign-in belongs to: the provider and the account at it.
struct OAuthAccount {
    OAuthEndpoints endpoints;
    std::string providerName; // "Microsoft"
    std::string account;      // "user@host", the refresh token's name in the store
};

class OAuthTokenSource final : public AccessTokenSource {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    // account: the sign-in the settings name now; none when they name none.
    OAuthTokenSource(RefreshTokenStore& store, std::function<std::optional<OAuthAccount>()> account,
                     OAuthLimits limits = {}, Clock now = std::chrono::steady_clock::now);

    AccessTokenAnswer CurrentToken() override;
    void Rejected() override;

    // A finished sign-in: its refresh token kept, its access token used from now on. False (and
    // nothing kept) when the refresh token could not be stored.
    bool SignedIn(const OAuthAccount& account, const OAuthTokens& tokens, std::string& problem);
    // Forgets the account's tokens (another sign-in replaces them, or the user signs out).
    void Forget(const OAuthAccount& account);

private:
    void Keep(const std::string& account, const OAuthTokens& tokens);

    RefreshTokenStore& store_;
    std::function<std::optional<OAuthAccount>()> account_;
    OAuthLimits limits_;
    Clock now_;
    std::string tokenAccount_; // whose access token is held
    std::string accessToken_;
    std::chrono::steady_clock::time_point renewAt_{};
};

} // namespace brevon
