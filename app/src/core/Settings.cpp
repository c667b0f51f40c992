#include <app/Settings.h>

#include <algorithm>
#include <optional>
#include <type_traits>
#include <utility>

#include <app/PasswordScrambling.h>
#include <platform/Autostart.h>
#include <platform/GlobalKeys.h>
#include <platform/SettingsStore.h>

namespace brevon {

namespace {

// The values that are numbers or choices in the record and texts in the store.
template <typename T>
constexpr bool IsStoredAsText =
    std::is_same_v<T, ConnectionSecurity> || std::is_same_v<T, PortNumber>;

template <typename T> T FromStoredText(std::string_view text) {
    if constexpr (std::is_same_v<T, ConnectionSecurity>)
        return SecurityFromText(text);
    else
        return PortFromText(text);
}

std::string StoredText(ConnectionSecurity security) {
    return std::string(SecurityText(security));
}
std::string StoredText(PortNumber port) {
    return PortText(port);
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
            else if constexpr (IsStoredAsText<T>)
                settings.*member = FromStoredText<T>(def.defaultText);
            else if constexpr (std::is_same_v<T, std::int32_t>)
                settings.*member = def.engineDefault ? fromEngine(member) : def.defaultNumber;
            else
                settings.*member = def.defaultNumber != 0;
        },
        def.member);
}

// One value from the key into the record; on an error the record's value is left as it was.
// Reports an integer brought into the value's range.
std::error_code ReadValue(platform::SettingsKey& key, const SettingDef& def, Settings& settings,
                          bool& clamped) {
    std::error_code result;
    std::visit(
        [&](auto member) {
            using T = std::remove_cvref_t<decltype(settings.*member)>;
            if constexpr (std::is_same_v<T, std::string>) {
                result = key.ReadString(def.name, settings.*member);
            } else if constexpr (IsStoredAsText<T>) {
                std::string text;
                result = key.ReadString(def.name, text);
                if (!result) settings.*member = FromStoredText<T>(text);
            } else {
                std::int32_t value = 0;
                result = key.ReadInteger(def.name, value);
                if (result) return;
                if constexpr (std::is_same_v<T, std::int32_t>) {
                    const std::int32_t kept = std::clamp(value, def.range.min, def.range.max);
                    clamped = kept != value;
                    value = kept;
                }
                settings.*member = static_cast<T>(value); // bool: non-zero is true
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
            } else if constexpr (IsStoredAsText<T>) {
                result = key.WriteString(def.name, StoredText(settings.*member));
            } else {
                result = key.WriteInteger(def.name, static_cast<std::int32_t>(settings.*member));
            }
        },
        def.member);
    return result;
}

} // namespace

bool UsableKeyText(std::string_view text) {
    return text.empty() || platform::ParseKeyChord(text).has_value();
}

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
    settings.Security = kFirstRunSecurity;
}

ReadReport ReadSettings(platform::SettingsKey& key, Settings& settings,
                        const EngineDefaultsSource& engineDefaults) {
    ReadReport report;
    std::optional<EngineDefaults> engine; // asked at most once, and only when needed
    const auto read = [&](const SettingDef& def) {
        bool clamped = false;
        if (ReadValue(key, def, settings, clamped)) {
            if (def.engineDefault && !engine)
                engine = engineDefaults ? engineDefaults() : EngineDefaults{};
            SetDefault(def, settings, engine.value_or(EngineDefaults{}));
            report.defaulted.push_back(def.name);
        } else if (clamped) {
            report.clamped.push_back(def.name);
        }
    };
    for (const SettingDef& def : kSettingsTable)
        read(def);
    // The values beside the table were added later: a file from before lacks them, which is
    // nothing to report.
    for (const SettingDef& def : kExtraSettingsTable) {
        bool clamped = false;
        if (ReadValue(key, def, settings, clamped)) SetDefault(def, settings, EngineDefaults{});
        const auto* text = std::get_if<std::string Settings::*>(&def.member);
        if (text &&
            std::find(kKeySettings.begin(), kKeySettings.end(), *text) != kKeySettings.end() &&
            !UsableKeyText(settings.**text))
            SetDefault(def, settings, EngineDefaults{});
    }
    settings.Password = UnscramblePassword(settings.Password);
    (void)key.Close();
    return report;
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
    result.detail = opened.detail;
    if (opened.key) {
        result.report = ReadSettings(*opened.key, settings, engineDefaults);
        return result;
    }
    SetDefaultSettings(settings, engineDefaults);
    if (opened.error == platform::SettingsErrc::key_not_found ||
        opened.error == platform::SettingsErrc::no_location) {
        result.outcome = LoadResult::Outcome::FirstRun;
        (void)SaveSettings(store, settings); // when it cannot be written, run on the defaults
        return result;
    }
    if (opened.error != platform::SettingsErrc::corrupt_file) {
        // Permissions, a folder in its place, I/O: the store keeps it as it is, and every later
        // save fails quietly, so the user's own settings are there when it can be read again.
        result.outcome = LoadResult::Outcome::Unreadable;
        if (result.detail.empty()) result.detail = opened.error.message();
        return result;
    }
    // The store keeps the damaged settings aside before the defaults replace them, and writes
    // nothing when it cannot.
    result.outcome = LoadResult::Outcome::Damaged;
    platform::OpenKeyResult created = store.OpenKey(kSettingsKeyPath, platform::OpenMode::Create);
    result.keptAside = created.keptAside;
    if (created.key)
        (void)WriteSettings(*created.key, settings);
    else if (!created.detail.empty())
        result.detail = created.detail;
    return result;
}

std::string_view SettingsProblemSentence(LoadResult::Outcome outcome) {
    switch (outcome) {
    case LoadResult::Outcome::Damaged:
        return kSettingsDamagedSentence;
    case LoadResult::Outcome::Unreadable:
        return kSettingsUnreadableSentence;
    case LoadResult::Outcome::Loaded:
    case LoadResult::Outcome::FirstRun:
        break;
    }
    return {};
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
