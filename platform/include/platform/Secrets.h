// brevon's secrets (the mail password, a sign-in token) in the desktop's keyring: on Linux the
// Secret Service of the session bus, under brevon's own attributes. Every call is bounded in
// time and never asks the user anything: a keyring that is absent, locked, refusing or silent is
// an answer, not a wait.
//
// Secrets are 8-bit Windows-1252 text, as all text inside brevon; a backing converts at its edge.
// Errors are returned, never thrown: std::error_code values of secrets_category().
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace platform {

enum class SecretsErrc {
    no_keyring = 1,  // no keyring runs (no session bus, no Secret Service on it, another system)
    locked,          // the keyring is locked; brevon does not ask the user to unlock it
    refused,         // the keyring answered with an error
    timed_out,       // the keyring did not answer in time
    unusable_secret, // a stored secret that is not text brevon can hold
};

const std::error_category& secrets_category() noexcept;
std::error_code make_error_code(SecretsErrc e) noexcept;

// Which secret: its kind ("password", "refresh-token") and the account it belongs to
// ("user@host"). Both are attributes of the stored item, beside application=brevon.
struct SecretName {
    std::string_view kind;
    std::string_view account;
};

struct SecretLookup {
    std::optional<std::string> secret; // empty when none is stored or on an error
    std::error_code error;
    std::string detail; // what the keyring said, for the trace; never holds a secret
};

class SecretStore {
public:
    virtual ~SecretStore() = default;

    // Whether a keyring answers and takes secrets now: no error, or why not.
    virtual std::error_code Probe() = 0;
    virtual SecretLookup Read(const SecretName& name) = 0;
    // Replaces what is stored under the name.
    virtual std::error_code Write(const SecretName& name, std::string_view secret) = 0;
    // Nothing stored under the name is no error.
    virtual std::error_code Remove(const SecretName& name) = 0;
};

inline constexpr std::chrono::milliseconds kSecretTimeout{5000};

// The desktop's keyring, each call given up after timeout. Where this system has none, every
// call answers no_keyring.
std::unique_ptr<SecretStore> DesktopSecretStore(std::chrono::milliseconds timeout = kSecretTimeout);

} // namespace platform

template <> struct std::is_error_code_enum<platform::SecretsErrc> : std::true_type {};
