// Windows: no keyring backing yet; the password stays scrambled in the registry as before.
#include <platform/Secrets.h>

namespace platform {

namespace {

class NoKeyring final : public SecretStore {
public:
    std::error_code Probe() override { return SecretsErrc::no_keyring; }
    SecretLookup Read(const SecretName&) override {
        return {std::nullopt, SecretsErrc::no_keyring, {}};
    }
    std::error_code Write(const SecretName&, std::string_view) override {
        return SecretsErrc::no_keyring;
    }
    std::error_code Remove(const SecretName&) override { return SecretsErrc::no_keyring; }
};

} // namespace

std::unique_ptr<SecretStore> DesktopSecretStore(std::chrono::milliseconds) {
    return std::make_unique<NoKeyring>();
}

} // namespace platform
