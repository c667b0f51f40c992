// The options dialog's behaviour without its widgets: the voice list, the number fields'
// rules, copying the settings into the fields and back, and what OK does, step by step.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include <app/PasswordScrambling.h> // kMaxPasswordLength: the dialog refuses longer ones
#include <app/ReadingState.h>
#include <app/Settings.h>

namespace brevon {

struct VoiceItem {
    std::string_view name; // as listed
    std::int32_t code;     // the engine's voice code
};

// In list order.
inline constexpr std::array<VoiceItem, 7> kVoiceList{{
    {"Man", 4},
    {"Vrouw", 7},
    {"Jongen", 10},
    {"Meisje", 13},
    {"Robot", 0},
    {"Muisje", 16},
    {"Slang", 17},
}};

// The list position of a voice code, or -1 when the list has no item for it.
int VoiceIndex(std::int32_t code);

// A number field's value: a whole number brought into [min, max]; a text that is not a whole
// number counts as min.
std::int32_t NumberFieldValue(std::string_view text, std::int32_t min, std::int32_t max);

// The dialog's fields, as plain values. Texts are Windows-1252.
struct OptionsFields {
    std::string Host, User, Password;
    std::string Interval;     // the interval field's text, 1 to 99
    std::string NumSaveMails; // the fetch-limit field's text, 1 to 9999
    bool UseNumSaveMails = false;
    bool Reverse = false;
    std::string VoiceText;                         // the voice list's text (editable)
    std::int32_t Tempo = 0, Pitch = 0, Volume = 0; // sliders, 0 to 10
    bool SkipReply = false, UseLid = false, SemiService9X = false;
};

// LoadOptions: the settings into the fields (voice text empty for an unknown code).
OptionsFields FieldsFromSettings(const Settings& settings);

// SaveOptions: the fields into the settings. Returns ConnectionChanged: host, user, password
// (exact comparison), fetch limit, its box or the order box differ. A changed user also
// empties the known message lists. A voice text that is none of the seven items leaves
// "Voice" as it was.
bool SaveFieldsToSettings(const OptionsFields& fields, Settings& settings, ReadingState& state);

} // namespace brevon
