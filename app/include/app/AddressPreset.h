// Filling the connection fields from an e-mail address: a known provider's server, security,
// port and user name, and what the provider asks of the user to sign in.
#pragma once

#include <string>
#include <string_view>

#include <app/Options.h>

namespace brevon {

class MailPresets;

// Shown beside the address when the provider wants a password made for this program.
inline constexpr std::string_view kAppPasswordHint = "Gebruik een app-wachtwoord";
// Shown, with the provider's name after it, when the provider signs in on its own page.
inline constexpr std::string_view kSignInAtHint = "Aanmelden bij ";

// The server, security, port and user name (the whole address) of fields.Address's provider
// into the fields; false, and the fields as they were, for an address of another domain.
bool FillFromAddress(OptionsFields& fields, const MailPresets& presets);

// What the address's provider asks ("Gebruik een app-wachtwoord", "Aanmelden bij Microsoft"),
// or empty: a plain password, or a domain brevon does not know.
std::string SignInHint(std::string_view address, const MailPresets& presets);

} // namespace brevon
