// Where the refresh token of a mailbox that signs in at its provider is kept: in the desktop's
// keyring (kind "refresh-token", account "user@host") when one takes it; else scrambled in a
// value of brevon's settings key beside the password, which no settings table lists, so
// brevon-config never shows it. Nothing here traces or prints a token.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {
class SecretStore;
class SettingsStore;
} // namespace platform

namespace brevon {

inline constexpr std::string_view kRefreshTokenSecretKind = "refresh-token";
// The settings value of a refresh token no keyring took, scrambled as the password is.
inline constexpr std::string_view kRefreshTokenValue = "Aanmeldsleutel";

class RefreshTokenStore {
public:
    // secrets may be null: this system has no keyring.
    RefreshTokenStore(platform::SettingsStore& settings, platform::SecretStore* secrets);

    // The token kept for the account, or none; problem says why none could be read when one
    // may be kept (never the token).
    std::optional<std::string> Read(const std::string& account, std::string& problem);
    // Keeps the token, in the keyring when one takes it, and removes it from the other place.
    bool Write(const std::string& account, std::string_view token, std::string& problem);
    // Forgets the account's token in both places.
    void Remove(const std::string& account);

private:
    std::optional<std::string> ReadFromFile(std::string& problem);
    bool WriteToFile(std::optional<std::string_view> token, std::string& problem);

    platform::SettingsStore& settings_;
    platform::SecretStore* secrets_;
};

} // namespace brevon
