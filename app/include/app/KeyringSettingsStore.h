// brevon's settings with the mail password in the desktop's keyring when one answers. The store
// stands in front of the settings store and changes only the "Password" value of brevon's key:
// written, the password goes to the keyring and the value is left empty; where no keyring takes
// it, the value holds it scrambled, as it always did. Read, an empty value is filled from the
// keyring. Everything else passes through unchanged, so every reader and writer of the settings
// (start-up, the options dialog's OK, shutdown, brevon-config) keeps the password where it is
// kept without knowing it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <platform/SettingsStore.h>

namespace platform {
class SecretStore;
} // namespace platform

namespace brevon {

// The kind of secret the password is in the keyring, and the account it belongs to.
inline constexpr std::string_view kPasswordSecretKind = "password";
std::string PasswordAccount(std::string_view user, std::string_view host);

// Stored beside "Password" by this store only, and only while the password is in the keyring
// (as 1). Tells a password that cannot be had from the keyring from one that was never given.
inline constexpr std::string_view kPasswordInKeyringValue = "Sleutelbos";

enum class PasswordPlace { Keyring, SettingsFile };

// What the options dialog says on "Verbinding" about where the password is kept: a short line
// under the fields, and the whole sentence as the password field's description.
std::string_view PasswordPlaceLine(PasswordPlace place);
std::string_view PasswordPlaceDescription(PasswordPlace place);
inline constexpr std::string_view kPasswordInKeyringLine = "Wachtwoord bewaard in de sleutelbos.";
inline constexpr std::string_view kPasswordInFileLine = "Wachtwoord in het instellingenbestand.";
inline constexpr std::string_view kPasswordInKeyringDescription =
    "Het wachtwoord wordt bewaard in de sleutelbos van het bureaublad.";
// Scrambled, which keeps it from a glance, not from a reader: said as such.
inline constexpr std::string_view kPasswordInFileDescription =
    "Het wachtwoord wordt versluierd bewaard in het instellingenbestand, niet versleuteld.";

// Said once at start-up when the password is in the keyring and cannot be had from it; brevon
// then asks for it.
inline constexpr std::string_view kKeyringUnavailableSentence =
    "Uw wachtwoord kan ik niet uit de sleutelbos van het bureaublad halen; vul het opnieuw in.";

class KeyringSettingsStore final : public platform::SettingsStore {
public:
    // secrets may be null: this system has no keyring.
    KeyringSettingsStore(std::unique_ptr<platform::SettingsStore> settings,
                         std::unique_ptr<platform::SecretStore> secrets);
    ~KeyringSettingsStore() override;

    platform::OpenKeyResult OpenKey(std::string_view path, platform::OpenMode mode) override;

    // Where a password written now would be kept (asks the keyring).
    PasswordPlace Place();

    // Set by a read of the password that should have come from the keyring and could not: why,
    // for the trace. Never holds the password.
    const std::optional<std::string>& KeyringProblem() const { return problem_; }

private:
    class Key;
    friend class Key;

    std::unique_ptr<platform::SettingsStore> settings_;
    std::unique_ptr<platform::SecretStore> secrets_;
    std::optional<std::string> problem_;
    void Kept(std::string account, std::string password) {
        keyringAccount_ = std::move(account);
        keyringPassword_ = std::move(password);
    }

    // The account whose password the keyring held at the last read or write, and that
    // password; empty when none.
    std::string keyringAccount_;
    std::string keyringPassword_;
};

} // namespace brevon
