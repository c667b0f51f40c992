#include <app/AddressPreset.h>

#include <mail/MailPresets.h>

namespace brevon {

namespace {

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

} // namespace

bool FillFromAddress(OptionsFields& fields, const MailPresets& presets) {
    const std::string_view address = Trimmed(fields.Address);
    if (!LooksLikeAddress(address)) return false;
    const MailPreset* preset = presets.ForAddress(address);
    if (!preset) return false;
    fields.Host = preset->host;
    fields.Security = preset->security;
    fields.Port = PortFromText(preset->port);
    // Every provider in the list signs its POP3 users in with the whole address.
    fields.User = std::string(address);
    return true;
}

std::string SignInHint(std::string_view address, const MailPresets& presets) {
    address = Trimmed(address);
    const MailPreset* preset = LooksLikeAddress(address) ? presets.ForAddress(address) : nullptr;
    if (!preset) return {};
    switch (preset->signIn) {
    case SignInMethod::AppPassword:
        return std::string(kAppPasswordHint);
    case SignInMethod::OAuth2:
        if (const OAuthProvider* provider = presets.Provider(preset->oauth2))
            return std::string(kSignInAtHint) + provider->name;
        break;
    case SignInMethod::Password:
        break;
    }
    return {};
}

} // namespace brevon
