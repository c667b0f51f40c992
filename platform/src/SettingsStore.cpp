#include <platform/SettingsStore.h>

namespace platform {

namespace {

class SettingsCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "settings"; }
    std::string message(int condition) const override {
        switch (static_cast<SettingsErrc>(condition)) {
        case SettingsErrc::key_not_found:
            return "settings key not found";
        case SettingsErrc::value_not_found:
            return "settings value not found";
        case SettingsErrc::wrong_type:
            return "settings value has another type";
        case SettingsErrc::invalid_name:
            return "invalid settings key path";
        case SettingsErrc::corrupt_file:
            return "settings file is damaged";
        case SettingsErrc::too_large:
            return "settings would exceed the size a settings file may have";
        case SettingsErrc::no_location:
            return "no per-user folder to keep settings in";
        }
        return "unknown settings error";
    }
};

} // namespace

const std::error_category& settings_category() noexcept {
    static const SettingsCategory category;
    return category;
}

std::error_code make_error_code(SettingsErrc e) noexcept {
    return {static_cast<int>(e), settings_category()};
}

} // namespace platform
