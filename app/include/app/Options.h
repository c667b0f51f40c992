// The options dialog's behaviour without its widgets: the voice list, the number fields'
// rules, copying the settings into the fields and back, and what OK does, step by step.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include <app/PasswordScrambling.h> // kMaxPasswordLength: the dialog refuses longer ones
#include <mail/ReadingState.h>
#include <app/Settings.h>
#include <engines/Voices.h>

namespace engines {
class SpeechOps;
}
namespace platform {
class Autostart;
class SettingsStore;
} // namespace platform

namespace brevon {

class LanguageCheckOps;
class MailOps;
using SpeechOps = engines::SpeechOps;

struct VoiceItem {
    std::string_view name; // as listed
    std::int32_t code;     // the engine's voice code
};

// In list order.
inline constexpr std::array<VoiceItem, 7> kVoiceList{{
    {"Man", engines::kVoiceMan},
    {"Vrouw", engines::kVoiceWoman},
    {"Jongen", engines::kVoiceBoy},
    {"Meisje", engines::kVoiceGirl},
    {"Robot", engines::kVoiceRobot},
    {"Muisje", engines::kVoiceMouse},
    {"Slang", engines::kVoiceSnake},
}};

// What the dialog's number fields and sliders let the user choose: the settings' own bounds
// (kIntervalRange, kNumSaveMailsRange, kLevelRange).
using NumberRange = SettingRange;

// The list position of a voice code, or -1 when the list has no item for it.
int VoiceIndex(std::int32_t code);

// A number field's value: a whole number brought into [min, max]; a text that is not a whole
// number counts as min.
std::int32_t NumberFieldValue(std::string_view text, std::int32_t min, std::int32_t max);

// The dialog's fields, as plain values: texts (Windows-1252), numbers and choices, converted
// from and to the controls' texts by the dialog itself.
struct OptionsFields {
    std::string Address; // "E-mailadres"
    std::string Host, User, Password;
    ConnectionSecurity Security = ConnectionSecurity::None;
    PortNumber Port = kUsualPort;
    std::int32_t Interval = 0;     // 1 to 99; outside, the nearer bound is stored
    std::int32_t NumSaveMails = 0; // 1 to 9999, likewise
    bool UseNumSaveMails = false;
    bool Reverse = false;
    std::string VoiceText; // the voice list's text (editable)
    // A voice chosen by "Standaardwaarden" that the list may have no item for; stored when
    // VoiceText names none of the seven.
    std::optional<std::int32_t> VoiceCode;
    std::int32_t Tempo = 0, Pitch = 0, Volume = 0; // sliders, 0 to 10
    bool SkipReply = false, UseLid = false, SemiService9X = false;
    bool ReadInOwnLanguage = false;
    bool ReadNewAtOnce = false;
    bool SayAttachments = false;
    bool SayArrivalTime = false;
    bool ReadByParagraph = false;
};

// LoadOptions: the settings into the fields (voice text empty for an unknown code).
OptionsFields FieldsFromSettings(const Settings& settings);

// SaveOptions: the fields into the settings. Returns ConnectionChanged: host, security, port,
// user, password (exact comparison), fetch limit, its box or the order box differ. A host
// written as "name:port" or "[v6 address]:port" gives its port to the port field. A changed user
// also empties the known message lists and has its own list files read at the next check. A
// voice text that is none of the seven items gives VoiceCode, or without one leaves "Voice" as
// it was.
bool SaveFieldsToSettings(const OptionsFields& fields, Settings& settings, ReadingState& state);

// What OK works on besides the fields.
struct OkEnvironment {
    Settings& settings;
    ReadingState& state;
    platform::SettingsStore& store;
    const WindowPositions& windows; // the bar's and the dialog's current places
    SpeechOps& speech;
    LanguageCheckOps* languageCheck = nullptr; // null: no language gate to load or unload
    platform::Autostart* autostart = nullptr;  // null: the logon entry is left alone
    std::filesystem::path executable;          // what the logon entry starts
    MailOps* mail = nullptr;                   // null: no check can run
};

enum class OkOutcome {
    Close,           // everything applied
    StayOpen,        // applied, but the check it ran left the program offline
    PasswordTooLong, // more than kMaxPasswordLength bytes: nothing applied
};

// "Standaardwaarden": the engine's default voice and levels into the fields only. The settings
// and the engine get them at OK; Annuleren leaves both as they were.
void ApplyEngineDefaults(OptionsFields& fields, const EngineDefaults& defaults);

// OK's work between disabling and re-enabling its buttons: SaveOptions (setting
// connectionChanged when the connection differs, never clearing it), the window positions and
// the settings saved, the language check and the logon entry brought in line, the engine given
// the new levels and voice, and, when the connection changed, going online and checking mail.
//
// The dialog stays open only when that check ran and left the program offline (its failure
// path has then reopened the dialog on the faulty field). Without a check the dialog closes
// even while offline: the user may have chosen to work offline and only changed the voice.
OkOutcome RunOkSteps(const OptionsFields& fields, bool& connectionChanged, OkEnvironment& env);

// Said and shown when OK refuses a password.
inline constexpr std::string_view kPasswordTooLongText =
    "Het wachtwoord is te lang. Gebruik hoogstens 255 tekens.";
// A password character that Windows-1252 cannot hold would be stored as '?' and never match.
inline constexpr std::string_view kPasswordUnusableCharText =
    "Het wachtwoord bevat een teken dat niet gebruikt kan worden.";

} // namespace brevon
