#include "OAuthTokenSource.h"

#include <algorithm>
#include <utility>

#include "QtText.h"

namespace brevon {

namespace {

// A token is renewed this long before it expires, or at half its life when that is shorter,
// so a login never presents one that runs out on the way.
constexpr std::chrono::seconds kRenewAhead{120};

// The refresh token is gone for good (RFC 6749, 5.2): only a new sign-in helps.
bool NeedsNewSignIn(const OAuthResult& result) {
    return result.failure == OAuthFailure::Refused &&
           (result.error == QLatin1String("invalid_grant") ||
            result.error == QLatin1String("invalid_client") ||
            result.error == QLatin1String("unauthorized_client"));
}

} // namespace

OAuthTokenSource::OAuthTokenSource(RefreshTokenStore& store,
                                   std::function<std::optional<OAuthAccount>()> account,
                                   OAuthLimits limits, Clock now)
    : store_(store), account_(std::move(account)), limits_(limits), now_(std::move(now)) {}

void OAuthTokenSource::Keep(const std::string& account, const OAuthTokens& tokens) {
    tokenAccount_ = account;
    accessToken_ = tokens.accessToken.toStdString();
    const std::chrono::seconds life =
        tokens.expiresIn.count() > 0 ? tokens.expiresIn : std::chrono::seconds(3600);
    renewAt_ = now_() + life - std::min(kRenewAhead, life / 2);
}

AccessTokenAnswer OAuthTokenSource::CurrentToken() {
    AccessTokenAnswer answer;
    const std::optional<OAuthAccount> account = account_ ? account_() : std::nullopt;
    if (!account) {
        answer.trouble = TokenTrouble::NotSignedIn;
        answer.error = "no provider to sign in at";
        return answer;
    }
    answer.provider = account->providerName;
    if (tokenAccount_ == account->account && !accessToken_.empty() && now_() < renewAt_) {
        answer.token = accessToken_;
        return answer;
    }
    accessToken_.clear();
    std::string problem;
    const std::optional<std::string> refresh = store_.Read(account->account, problem);
    if (!refresh) {
        // A keyring that could not answer now may still hold it: try again later.
        answer.trouble = problem.empty() ? TokenTrouble::NotSignedIn : TokenTrouble::Passing;
        answer.error = problem.empty() ? "no sign-in kept" : problem;
        return answer;
    }
    const OAuthResult renewed =
        RefreshAccessToken(account->endpoints, QString::fromStdString(*refresh), limits_);
    if (!renewed.Ok()) {
        answer.error = ToCp1252(renewed.detail);
        if (NeedsNewSignIn(renewed)) {
            answer.trouble = TokenTrouble::SignInAgain;
            store_.Remove(account->account);
        } else {
            answer.trouble = TokenTrouble::Passing;
        }
        return answer;
    }
    // A server that rotates refresh tokens sends the next one with the access token.
    if (!renewed.tokens.refreshToken.isEmpty())
        store_.Write(account->account, renewed.tokens.refreshToken.toStdString(), problem);
    Keep(account->account, renewed.tokens);
    answer.token = accessToken_;
    return answer;
}

void OAuthTokenSource::Rejected() {
    accessToken_.clear();
}

bool OAuthTokenSource::SignedIn(const OAuthAccount& account, const OAuthTokens& tokens,
                                std::string& problem) {
    if (!store_.Write(account.account, tokens.refreshToken.toStdString(), problem)) return false;
    Keep(account.account, tokens);
    return true;
}

void OAuthTokenSource::Forget(const OAuthAccount& account) {
    store_.Remove(account.account);
    if (tokenAccount_ == account.account) accessToken_.clear();
}

} // namespace brevon
