// brevon's settings: one record of nineteen values, one table that names, types and defaults
// them, and the operations that move the record to and from the settings store. Every read and
// write of the store goes through the table, in its order.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <variant>

#include <qvstts/qvstts.h>

namespace platform {
class Autostart;
class SettingsKey;
class SettingsStore;
} // namespace platform

namespace brevon {

inline constexpr std::string_view kSettingsKeyPath =
    "\\SOFTWARE\\Tolvani Speech Technology\\Brevon";

// Texts are 8-bit Windows-1252; the password is held in plain and stored scrambled. A fresh
// record is all zero and empty: SetDefaultSettings gives it the table's defaults.
struct Settings {
    std::int32_t X = 0;
    std::int32_t Y = 0;
    std::int32_t XI = 0;
    std::int32_t YI = 0;
    std::int32_t Voice = 0;
    std::int32_t Pitch = 0;
    std::int32_t Volume = 0;
    std::int32_t Tempo = 0;
    std::string Host;
    std::string User;
    std::string Password;
    std::int32_t Interval = 0; // "Interval in minuten"
    std::int32_t NumSaveMails = 0;
    bool UseNumSaveMails = false;
    bool Reverse = false;
    bool SkipReply = false;
    bool SemiService9X = false;
    bool UseLid = false;
    bool ShowWindow = false;
    // Beside the table (kExtraSettingsTable).
    std::string Security; // "Beveiliging": "Geen", "STARTTLS" or "SSL/TLS"
    std::string Port;     // "Poort": 1 to 65535, or empty for the usual port of the security
    bool ReadInOwnLanguage = false; // "EigenTaal": other languages' mail read in their voice

    bool operator==(const Settings&) const = default;
};

// Booleans are stored as 32-bit integers (0 false, 1 true; any non-zero reads as true).
enum class SettingType { Integer, Boolean, Text };

struct SettingDef {
    std::string_view name; // the stored value name
    SettingType type;
    std::int32_t defaultNumber;   // integers and booleans
    std::string_view defaultText; // texts
    bool engineDefault;           // the default comes from the speech engine
    std::variant<std::int32_t Settings::*, bool Settings::*, std::string Settings::*> member;
};

// In store order.
inline constexpr std::array<SettingDef, 19> kSettingsTable{{
    {"X", SettingType::Integer, 0, "", false, &Settings::X},
    {"Y", SettingType::Integer, 0, "", false, &Settings::Y},
    {"XI", SettingType::Integer, 10, "", false, &Settings::XI},
    {"YI", SettingType::Integer, 40, "", false, &Settings::YI},
    {"Voice", SettingType::Integer, 0, "", true, &Settings::Voice},
    {"Pitch", SettingType::Integer, 0, "", true, &Settings::Pitch},
    {"Volume", SettingType::Integer, 0, "", true, &Settings::Volume},
    {"Tempo", SettingType::Integer, 0, "", true, &Settings::Tempo},
    {"Host", SettingType::Text, 0, "", false, &Settings::Host},
    {"User", SettingType::Text, 0, "", false, &Settings::User},
    {"Password", SettingType::Text, 0, "", false, &Settings::Password},
    {"Interval in minuten", SettingType::Integer, 5, "", false, &Settings::Interval},
    {"NumSaveMails", SettingType::Integer, 20, "", false, &Settings::NumSaveMails},
    {"UseNumSaveMails", SettingType::Boolean, 1, "", false, &Settings::UseNumSaveMails},
    {"Reverse", SettingType::Boolean, 0, "", false, &Settings::Reverse},
    {"SkipReply", SettingType::Boolean, 0, "", false, &Settings::SkipReply},
    {"SemiService9X", SettingType::Boolean, 0, "", false, &Settings::SemiService9X},
    {"UseLid", SettingType::Boolean, 0, "", false, &Settings::UseLid},
    {"ShowWindow", SettingType::Boolean, 1, "", false, &Settings::ShowWindow},
}};

// Values kept in the same key beside the nineteen of the table. A settings file written before
// they existed lacks them, so each reads as its default when absent or of another type, and
// never stops start-up; they are written after the table's values.
inline constexpr std::array<SettingDef, 3> kExtraSettingsTable{{
    {"Beveiliging", SettingType::Text, 0, "Geen", false, &Settings::Security},
    {"Poort", SettingType::Text, 0, "", false, &Settings::Port},
    {"EigenTaal", SettingType::Boolean, 0, "", false, &Settings::ReadInOwnLanguage},
}};

// What a first run proposes for "Beveiliging": every provider wants encryption now.
inline constexpr std::string_view kFirstRunSecurity = "SSL/TLS";

// The one record of the running program.
Settings& AppSettings();

// What the speech engine reports as its defaults (QVS_GetDefaultSettings).
using EngineDefaults = QVS_Settings;
using EngineDefaultsSource = std::function<EngineDefaults()>;

struct WindowPosition {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
};

// Where the two placed windows are now; the shell answers from its widgets, tests from a fake.
class WindowPositions {
public:
    virtual ~WindowPositions() = default;
    virtual WindowPosition BarPosition() const = 0;     // the control bar
    virtual WindowPosition OptionsPosition() const = 0; // the options dialog
};

struct LoadResult {
    enum class Outcome {
        Loaded,   // read from the store
        FirstRun, // no settings yet: defaults, written when the store allowed it
        Failed,   // the store holds settings that cannot be read; message says why
    };
    Outcome outcome = Outcome::Loaded;
    std::string message; // for the user; set when Failed
};

// Reads every setting, or on first run sets the defaults (asking the engine once) and saves
// them. On Failed the record is left as it was and start-up should end after showing message.
LoadResult LoadSettings(platform::SettingsStore& store, Settings& settings,
                        const EngineDefaultsSource& engineDefaults);

// Opens the key, creating it when missing, writes all nineteen values and closes it. False
// when the store could not be written; callers stay silent about it.
bool SaveSettings(platform::SettingsStore& store, const Settings& settings);

void SetDefaultSettings(Settings& settings, const EngineDefaultsSource& engineDefaults);

// Reads all values of an open key in table order, then closes the key. Stops at the first
// value that is missing ("Failed to get data for '%s'") or of another type ("Invalid data type
// for '%s'"): returns false with that message and leaves the record unchanged.
bool ReadSettings(platform::SettingsKey& key, Settings& settings, std::string& error);

// Writes all values in table order, the password scrambled, then closes the key.
std::error_code WriteSettings(platform::SettingsKey& key, const Settings& settings);

// "X", "Y" from the control bar, "XI", "YI" from the options dialog.
void StoreWindowPositions(Settings& settings, const WindowPositions& windows);

// Registers the executable to start at logon when "SemiService9X" is set, and removes the entry
// when it is clear (no entry is no error). Returns the platform's error; callers stay silent
// about it, as about the settings store.
std::error_code ApplyAutostart(const Settings& settings, platform::Autostart& autostart,
                               const std::filesystem::path& executable);

} // namespace brevon
