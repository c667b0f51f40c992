// brevon's settings: one record of nineteen values, one table that names, types and defaults
// them, and the operations that move the record to and from the settings store. Every read and
// write of the store goes through the table, in its order.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <variant>
#include <vector>

#include <engines/Voices.h>
#include <mail/MailSettings.h>

namespace platform {
class Autostart;
class SettingsKey;
class SettingsStore;
} // namespace platform

namespace brevon {

inline constexpr std::string_view kSettingsKeyPath =
    "\\SOFTWARE\\Tolvani Speech Technology\\Brevon";

// Texts are 8-bit Windows-1252; the password is held in plain and stored scrambled. The values
// the mail side reads are its own record (MailSettings), which this one is made of, so the shell
// hands them over as they are. A fresh record holds the mail side's starting values and
// otherwise zero and empty: SetDefaultSettings gives it the table's defaults.
struct Settings : MailSettings {
    std::int32_t X = 0;
    std::int32_t Y = 0;
    std::int32_t XI = 0;
    std::int32_t YI = 0;
    std::int32_t Voice = 0;
    std::int32_t Pitch = 0;
    std::int32_t Volume = 0;
    std::int32_t Tempo = 0;
    bool SemiService9X = false;
    // Beside the table (kExtraSettingsTable).
    // Keys that steer brevon from any program ("Ctrl+Alt+Shift+P"; empty: that key is off).
    bool GlobalKeys = false;  // "Sneltoetsen": all of them on or off
    std::string KeyPlayPause; // "ToetsVoorlezen": plays, or pauses while reading
    std::string KeyStop;      // "ToetsStoppen"
    std::string KeyPrevious;  // "ToetsVorige"
    std::string KeyNext;      // "ToetsVolgende"
    std::string KeyCheck;     // "ToetsControleren": checks mail now
    std::string KeyShowBar;   // "ToetsKnoppenbalk": shows the bar with the focus on it
    // "E-mailadres": the address the connection fields were filled in from.
    std::string Address;
    std::string KeyReadAll;           // "ToetsAllesVoorlezen": reads all new messages in a row
    std::string KeyPreviousParagraph; // "ToetsVorigeAlinea"
    std::string KeyNextParagraph;     // "ToetsVolgendeAlinea"
    // "Aanmelden": the OAuth2 provider (its id in the presets) the mailbox was signed in at
    // through the dialog; empty: POP3 takes the password.
    std::string SignIn;

    bool operator==(const Settings&) const = default;
};

// Booleans are stored as 32-bit integers (0 false, 1 true; any non-zero reads as true).
enum class SettingType { Integer, Boolean, Text };

// The integers a value may hold, bounds included.
struct SettingRange {
    std::int32_t min = std::numeric_limits<std::int32_t>::min();
    std::int32_t max = std::numeric_limits<std::int32_t>::max();

    bool operator==(const SettingRange&) const = default;
    bool Bounded() const { return *this != SettingRange{}; }
};

struct SettingDef {
    std::string_view name; // the stored value name
    SettingType type;
    std::int32_t defaultNumber;   // integers and booleans
    std::string_view defaultText; // texts
    bool engineDefault;           // the default comes from the speech engine
    std::variant<std::int32_t Settings::*, bool Settings::*, std::string Settings::*,
                 ConnectionSecurity Settings::*, PortNumber Settings::*>
        member;
    // What the options dialog lets the user choose; a stored integer outside it is brought to
    // the nearer bound when read, and brevon-config refuses it.
    SettingRange range = {};
};

inline constexpr SettingRange kIntervalRange{1, 99};       // "Interval in minuten"
inline constexpr SettingRange kNumSaveMailsRange{1, 9999}; // "NumSaveMails"
inline constexpr SettingRange kLevelRange{0, 10};          // "Tempo", "Pitch", "Volume"

// In store order.
inline constexpr std::array<SettingDef, 19> kSettingsTable{{
    {"X", SettingType::Integer, 0, "", false, &Settings::X},
    {"Y", SettingType::Integer, 0, "", false, &Settings::Y},
    {"XI", SettingType::Integer, 10, "", false, &Settings::XI},
    {"YI", SettingType::Integer, 40, "", false, &Settings::YI},
    {"Voice", SettingType::Integer, 0, "", true, &Settings::Voice},
    {"Pitch", SettingType::Integer, 0, "", true, &Settings::Pitch, kLevelRange},
    {"Volume", SettingType::Integer, 0, "", true, &Settings::Volume, kLevelRange},
    {"Tempo", SettingType::Integer, 0, "", true, &Settings::Tempo, kLevelRange},
    {"Host", SettingType::Text, 0, "", false, &Settings::Host},
    {"User", SettingType::Text, 0, "", false, &Settings::User},
    {"Password", SettingType::Text, 0, "", false, &Settings::Password},
    {"Interval in minuten", SettingType::Integer, 5, "", false, &Settings::Interval,
     kIntervalRange},
    {"NumSaveMails", SettingType::Integer, 20, "", false, &Settings::NumSaveMails,
     kNumSaveMailsRange},
    {"UseNumSaveMails", SettingType::Boolean, 1, "", false, &Settings::UseNumSaveMails},
    {"Reverse", SettingType::Boolean, 0, "", false, &Settings::Reverse},
    {"SkipReply", SettingType::Boolean, 0, "", false, &Settings::SkipReply},
    {"SemiService9X", SettingType::Boolean, 0, "", false, &Settings::SemiService9X},
    {"UseLid", SettingType::Boolean, 0, "", false, &Settings::UseLid},
    {"ShowWindow", SettingType::Boolean, 1, "", false, &Settings::ShowWindow},
}};

// Values kept in the same key beside the nineteen of the table. A settings file written before
// they existed lacks them, so each reads as its default when absent or of another type, and
// never stops start-up; they are written after the table's values. A key that names no usable
// key reads as its default too.
//
// The keys' defaults hold Ctrl, Alt and Shift together: desktops bind Ctrl+Alt+letter and
// Super+letter themselves (terminal, lock screen, show desktop), rarely all three. Arrows and
// PgUp/PgDown are avoided with them: desktops move windows between workspaces with
// Ctrl+Alt+Shift+arrows and log out with Ctrl+Alt+Shift+PgDown; R is a screen recorder's.
// The letters follow the Dutch words: Pauze, Stoppen, Vorige, voLgende, Controleren, Balk,
// Alles voorlezen, alinea Terug, Naar de volgende alinea.
inline constexpr std::array<SettingDef, 19> kExtraSettingsTable{{
    {"Beveiliging", SettingType::Text, 0, "Geen", false, &Settings::Security},
    {"Poort", SettingType::Text, 0, "", false, &Settings::Port},
    {"EigenTaal", SettingType::Boolean, 0, "", false, &Settings::ReadInOwnLanguage},
    {"Sneltoetsen", SettingType::Boolean, 1, "", false, &Settings::GlobalKeys},
    {"ToetsVoorlezen", SettingType::Text, 0, "Ctrl+Alt+Shift+P", false, &Settings::KeyPlayPause},
    {"ToetsStoppen", SettingType::Text, 0, "Ctrl+Alt+Shift+S", false, &Settings::KeyStop},
    {"ToetsVorige", SettingType::Text, 0, "Ctrl+Alt+Shift+V", false, &Settings::KeyPrevious},
    {"ToetsVolgende", SettingType::Text, 0, "Ctrl+Alt+Shift+L", false, &Settings::KeyNext},
    {"ToetsControleren", SettingType::Text, 0, "Ctrl+Alt+Shift+C", false, &Settings::KeyCheck},
    {"ToetsKnoppenbalk", SettingType::Text, 0, "Ctrl+Alt+Shift+B", false, &Settings::KeyShowBar},
    {"E-mailadres", SettingType::Text, 0, "", false, &Settings::Address},
    {"MeteenVoorlezen", SettingType::Boolean, 0, "", false, &Settings::ReadNewAtOnce},
    {"ToetsAllesVoorlezen", SettingType::Text, 0, "Ctrl+Alt+Shift+A", false, &Settings::KeyReadAll},
    {"BijlagenNoemen", SettingType::Boolean, 0, "", false, &Settings::SayAttachments},
    {"TijdNoemen", SettingType::Boolean, 0, "", false, &Settings::SayArrivalTime},
    {"PerAlinea", SettingType::Boolean, 0, "", false, &Settings::ReadByParagraph},
    {"ToetsVorigeAlinea", SettingType::Text, 0, "Ctrl+Alt+Shift+T", false,
     &Settings::KeyPreviousParagraph},
    {"ToetsVolgendeAlinea", SettingType::Text, 0, "Ctrl+Alt+Shift+N", false,
     &Settings::KeyNextParagraph},
    {"Aanmelden", SettingType::Text, 0, "", false, &Settings::SignIn},
}};

// The key values of kExtraSettingsTable.
inline constexpr std::array<std::string Settings::*, 9> kKeySettings{
    &Settings::KeyPlayPause,     &Settings::KeyStop,
    &Settings::KeyPrevious,      &Settings::KeyNext,
    &Settings::KeyCheck,         &Settings::KeyShowBar,
    &Settings::KeyReadAll,       &Settings::KeyPreviousParagraph,
    &Settings::KeyNextParagraph,
};

// Whether a stored key text can be used: empty (the key is off) or one key with modifiers.
bool UsableKeyText(std::string_view text);

// What a first run proposes for "Beveiliging": every provider wants encryption now.
inline constexpr ConnectionSecurity kFirstRunSecurity = ConnectionSecurity::Tls;

// The one record of the running program.
Settings& AppSettings();

// What the speech engine reports as its defaults.
using EngineDefaults = engines::SpeechDefaults;
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

// Said once after the greeting when the settings could not be used; the run goes on with the
// defaults.
inline constexpr std::string_view kSettingsDamagedSentence =
    "Uw instellingen waren beschadigd; ik begin met de standaardinstellingen.";
inline constexpr std::string_view kSettingsUnreadableSentence =
    "Uw instellingen kan ik niet lezen; ik begin met de standaardinstellingen.";

// What reading an open key found besides the values: the names of values that were missing or
// of another type (each took its default) and of integers brought into their range.
struct ReadReport {
    std::vector<std::string_view> defaulted;
    std::vector<std::string_view> clamped;
};

struct LoadResult {
    enum class Outcome {
        Loaded,     // read from the store, any value that could not be read at its default
        FirstRun,   // no settings yet: defaults, written when the store allowed it
        Damaged,    // the store could not be read as settings: defaults, written after the
                    // damaged store was kept aside (keptAside), else not written
        Unreadable, // the store cannot be read at all (permissions, a folder in its place):
                    // defaults, and it is never written over
    };
    Outcome outcome = Outcome::Loaded;
    std::string detail;    // for the trace: what was wrong with the store
    std::string keptAside; // Damaged: where the damaged store now is; empty when it could not be
                           // kept aside (then nothing was written)
    ReadReport report;     // Loaded
};

// Reads every setting, or on first run sets the defaults (asking the engine once) and saves
// them. Never fails: whatever cannot be read takes its default, and a damaged store is kept
// aside before the defaults go in its place.
LoadResult LoadSettings(platform::SettingsStore& store, Settings& settings,
                        const EngineDefaultsSource& engineDefaults);

// The sentence start-up says about the outcome, or empty.
std::string_view SettingsProblemSentence(LoadResult::Outcome outcome);

// Opens the key, creating it when missing, writes all nineteen values and closes it. False
// when the store could not be written; callers stay silent about it.
bool SaveSettings(platform::SettingsStore& store, const Settings& settings);

void SetDefaultSettings(Settings& settings, const EngineDefaultsSource& engineDefaults);

// Reads all values of an open key in table order, then closes the key. A value that is missing
// or of another type takes its default (the engine is asked, once, only when one of its four
// is among them); an integer outside its range is brought to the nearer bound.
ReadReport ReadSettings(platform::SettingsKey& key, Settings& settings,
                        const EngineDefaultsSource& engineDefaults);

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
