#include <platform/Secrets.h>

namespace platform {

namespace {

class SecretsCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "secrets"; }
    std::string message(int condition) const override {
        switch (static_cast<SecretsErrc>(condition)) {
        case SecretsErrc::no_keyring:
            return "no keyring is running";
        case SecretsErrc::locked:
            return "the keyring is locked";
        case SecretsErrc::refused:
            return "the keyring refused";
        case SecretsErrc::timed_out:
            return "the keyring did not answer in time";
        case SecretsErrc::unusable_secret:
            return "the stored secret is not text brevon can use";
        }
        return "unknown keyring error";
    }
};

} // namespace

const std::error_category& secrets_category() noexcept {
    static const SecretsCategory category;
    return category;
}

std::error_code make_error_code(SecretsErrc e) noexcept {
    return {static_cast<int>(e), secrets_category()};
}

} // namespace platform
