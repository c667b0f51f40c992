#include <app/Settings.h>

#include <cstdio>
#include <type_traits>
#include <utility>

#include <app/PasswordScrambling.h>
#include <platform/Autostart.h>
#include <platform/SettingsStore.h>

namespace brevon {

namespace {

std::string Message(const char* format, std::string_view name) {
    char buffer[128]; // the names are the table's own, all short
    std::snprintf(buffer, sizeof buffer, format, std::string(name).c_str());
    return buffer;
}

// One value of either table into the record, or from it into the key.
void SetDefault(const SettingDef& def, Settings& settings, const EngineDefaults& engine) {
    const auto fromEngine = [&](std::int32_t Settings::*member) {
        if (member == &Settings::Voice) return engine.voice;
        if (member == &Settings::Tempo) return engine.tempo;
        if (member == &Settings::Pitch) return engine.pitch;
        return engine.volume;
    };
    std::visit(
        [&](auto member) {
            using T = std::remove_cvref_t<decltype(settings.*member)>;
            if constexpr (std::is_same_v<T, std::string>)
                settings.*member = std::string(def.defaultText);
            else if constexpr (std::is_same_v<T, std::int32_t>)
                settings.*member = def.engineDefault ? fromEngine(member) : def.defaultNumber;
            else
                settings.*member = def.defaultNumber != 0;
        },
        def.member);
}

std::error_code ReadValue(platform::SettingsKey& key, const SettingDef& def, Settings& settings) {
    std::error_code result;
    std::visit(
        [&](auto member) {
            using T = std::remove_cvref_t<decltype(settings.*member)>;
            if constexpr (std::is_same_v<T, std::string>) {
                result = key.ReadString(def.name, settings.*member);
            } else {
                std::int32_t value = 0;
                result = key.ReadInteger(def.name, value);
                if (!result) settings.*member = static_cast<T>(value); // bool: non-zero is true
            }
        },
        def.member);
    return result;
}

std::error_code WriteValue(platform::SettingsKey& key, const SettingDef& def,
                           const Settings& settings) {
    std::error_code result;
    std::visit(
        [&](auto member) {
            using T = std::remove_cvref_t<decltype(settings.*member)>;
            if constexpr (std::is_same_v<T, std::string>) {
                result = member == &Settings::Password
                             ? key.WriteString(def.name, ScramblePassword(settings.*member))
                             : key.WriteString(def.name, settings.*member);
            } else {
                result = key.WriteInteger(def.name, static_cast<std::int32_t>(settings.*member));
            }
        },
        def.member);
    return result;
}

} // namespace

Settings& AppSettings() {
    static Settings settings;
    return settings;
}

void SetDefaultSettings(Settings& settings, const EngineDefaultsSource& engineDefaults) {
    // The engine is asked first, once, as the engine's own defaults call fills all four at once.
    const EngineDefaults engine = engineDefaults ? engineDefaults() : EngineDefaults{};
    for (const SettingDef& def : kSettingsTable)
        SetDefault(def, settings, engine);
    for (const SettingDef& def : kExtraSettingsTable)
        SetDefault(def, settings, engine);
    settings.Security = std::string(kFirstRunSecurity);
}

bool ReadSettings(platform::SettingsKey& key, Settings& settings, std::string& error) {
    Settings read = settings;
    for (const SettingDef& def : kSettingsTable) {
        if (const std::error_code result = ReadValue(key, def, read)) {
            error = Message(result == platform::SettingsErrc::wrong_type
                                ? "Invalid data type for '%s'"
                                : "Failed to get data for '%s'",
                            def.name);
            (void)key.Close();
            return false;
        }
    }
    for (const SettingDef& def : kExtraSettingsTable)
        if (ReadValue(key, def, read)) SetDefault(def, read, EngineDefaults{});
    read.Password = UnscramblePassword(read.Password);
    (void)key.Close();
    settings = std::move(read);
    return true;
}

std::error_code WriteSettings(platform::SettingsKey& key, const Settings& settings) {
    std::error_code first;
    for (const SettingDef& def : kSettingsTable) {
        const std::error_code result = WriteValue(key, def, settings);
        if (result && !first) first = result;
    }
    for (const SettingDef& def : kExtraSettingsTable) {
        const std::error_code result = WriteValue(key, def, settings);
        if (result && !first) first = result;
    }
    const std::error_code closed = key.Close();
    return first ? first : closed;
}

LoadResult LoadSettings(platform::SettingsStore& store, Settings& settings,
                        const EngineDefaultsSource& engineDefaults) {
    LoadResult result;
    platform::OpenKeyResult opened = store.OpenKey(kSettingsKeyPath, platform::OpenMode::Existing);
    if (opened.key) {
        if (!ReadSettings(*opened.key, settings, result.message))
            result.outcome = LoadResult::Outcome::Failed;
        return result;
    }
    if (opened.error == platform::SettingsErrc::key_not_found ||
        opened.error == platform::SettingsErrc::no_location) {
        result.outcome = LoadResult::Outcome::FirstRun;
        SetDefaultSettings(settings, engineDefaults);
        (void)SaveSettings(store, settings); // when it cannot be written, run on the defaults
        return result;
    }
    // Settings exist but cannot be read (a damaged or unreadable file): starting on defaults
    // would write them over the user's own at shutdown.
    result.outcome = LoadResult::Outcome::Failed;
    result.message = opened.detail.empty() ? opened.error.message() : opened.detail;
    return result;
}

bool SaveSettings(platform::SettingsStore& store, const Settings& settings) {
    platform::OpenKeyResult opened = store.OpenKey(kSettingsKeyPath, platform::OpenMode::Create);
    if (!opened.key) return false;
    return !WriteSettings(*opened.key, settings);
}

void StoreWindowPositions(Settings& settings, const WindowPositions& windows) {
    const WindowPosition bar = windows.BarPosition();
    const WindowPosition options = windows.OptionsPosition();
    settings.X = bar.Left;
    settings.Y = bar.Top;
    settings.XI = options.Left;
    settings.YI = options.Top;
}

std::error_code ApplyAutostart(const Settings& settings, platform::Autostart& autostart,
                               const std::filesystem::path& executable) {
    return settings.SemiService9X ? autostart.Enable(executable) : autostart.Disable();
}

} // namespace brevon
