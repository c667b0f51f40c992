// The SASL mechanisms the POP3 client signs in with an OAuth2 access token (RFC 5034 AUTH):
// XOAUTH2, as Google and Microsoft define it, and OAUTHBEARER (RFC 7628).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korp {

enum class TSaslMechanism { XOAuth2, OAuthBearer };

// "XOAUTH2" or "OAUTHBEARER", case aside; nothing for any other name.
std::optional<TSaslMechanism> SaslMechanismFromName(std::string_view name);
std::string_view SaslMechanismName(TSaslMechanism mechanism);

// Base64 (RFC 4648, 4) with padding.
std::string Base64Encode(std::string_view bytes);

// The client's first response, not yet base64-encoded: for XOAUTH2
// "user=<user>^Aauth=Bearer <token>^A^A"; for OAUTHBEARER the GS2 header naming the user, the
// server's host and port, and the token (RFC 7628, 3.1).
std::string SaslInitialResponse(TSaslMechanism mechanism, std::string_view user,
                                std::string_view host, std::string_view port,
                                std::string_view token);

// What the client answers to the server's error challenge so that the server can end the
// exchange with its "-ERR": an empty response for XOAUTH2, a single ^A for OAUTHBEARER
// (RFC 7628, 3.2.3); base64-encoded, as sent.
std::string SaslErrorAcknowledgement(TSaslMechanism mechanism);

// The server's base64 challenge as printable text for an error message (it holds the
// provider's JSON error status, never a secret); the text itself when it is no base64.
std::string SaslChallengeText(std::string_view base64);

} // namespace korp
