// Where the mail side gets an OAuth2 access token for POP3 when the mailbox signs in at its
// provider instead of with a password. The shell keeps the tokens and renews them; the mail
// side asks at each login and hands the token to the client with the settings' mechanism.
#pragma once

#include <optional>
#include <string>

namespace brevon {

enum class TokenTrouble {
    None,
    Passing,     // the provider could not be reached or answered oddly: try again later
    NotSignedIn, // no sign-in was kept for this mailbox: the user has yet to sign in
    SignInAgain, // the provider refused to renew the sign-in, or the server its token
};

struct AccessTokenAnswer {
    std::optional<std::string> token{};
    TokenTrouble trouble = TokenTrouble::None;
    std::string provider{}; // the provider as the user knows it ("Microsoft"), for the sentence
    std::string error{};    // why there is no token, in English for the trace; never a token
};

class AccessTokenSource {
public:
    virtual ~AccessTokenSource() = default;
    // A token good for a while yet, renewed first when it is about to expire; may wait for the
    // provider (bounded), with the window events running.
    virtual AccessTokenAnswer CurrentToken() = 0;
    // The server refused the token it was given: the next CurrentToken renews it.
    virtual void Rejected() = 0;
};

} // namespace brevon
