#include <app/Options.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

#include <app/Settings.h>
#include <mail/MailSettings.h>
#include <mail/Seams.h>

namespace brevon {

static_assert(kMaxPasswordLength == 255, "kPasswordTooLongText names the limit");

int VoiceIndex(std::int32_t code) {
    for (std::size_t i = 0; i < kVoiceList.size(); ++i)
        if (kVoiceList[i].code == code) return static_cast<int>(i);
    return -1;
}

std::int32_t NumberFieldValue(std::string_view text, std::int32_t min, std::int32_t max) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return min;
    text.remove_prefix(first);
    text.remove_suffix(text.size() - 1 - text.find_last_not_of(" \t"));

    bool negative = false;
    if (text.front() == '+' || text.front() == '-') {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // Digits only: from_chars would also take a second sign, and "1e3" or "1.5" are not whole.
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return min;

    std::int64_t magnitude = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    (void)end;
    if (error == std::errc::result_out_of_range) return negative ? min : max; // still a number
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < min) return min;
    if (value > max) return max;
    return static_cast<std::int32_t>(value);
}

namespace {

// The dialog's boxes (kSwitches) and sliders (kLevels) and the settings they show, for both
// directions.
struct Switch {
    bool OptionsFields::*field;
    bool Settings::*setting;
};
constexpr Switch kSwitches[] = {
    {&OptionsFields::UseNumSaveMails, &Settings::UseNumSaveMails},
    {&OptionsFields::Reverse, &Settings::Reverse},
    {&OptionsFields::SkipReply, &Settings::SkipReply},
    {&OptionsFields::UseLid, &Settings::UseLid},
    {&OptionsFields::SemiService9X, &Settings::SemiService9X},
    {&OptionsFields::ReadInOwnLanguage, &Settings::ReadInOwnLanguage},
    {&OptionsFields::ReadNewAtOnce, &Settings::ReadNewAtOnce},
    {&OptionsFields::SayAttachments, &Settings::SayAttachments},
    {&OptionsFields::SayArrivalTime, &Settings::SayArrivalTime},
    {&OptionsFields::ReadByParagraph, &Settings::ReadByParagraph},
};
struct Level {
    std::int32_t OptionsFields::*field;
    std::int32_t Settings::*setting;
};
constexpr Level kLevels[] = {
    {&OptionsFields::Tempo, &Settings::Tempo},
    {&OptionsFields::Pitch, &Settings::Pitch},
    {&OptionsFields::Volume, &Settings::Volume},
};

} // namespace

OptionsFields FieldsFromSettings(const Settings& settings) {
    OptionsFields f;
    f.Address = settings.Address;
    f.Host = settings.Host;
    f.Security = settings.Security;
    f.Port = settings.Port;
    f.User = settings.User;
    f.Password = settings.Password;
    f.Interval = settings.Interval;
    f.NumSaveMails = settings.NumSaveMails;
    const int voice = VoiceIndex(settings.Voice);
    if (voice >= 0) f.VoiceText = kVoiceList[static_cast<std::size_t>(voice)].name;
    for (const Switch& s : kSwitches)
        f.*s.field = settings.*s.setting;
    for (const Level& l : kLevels)
        f.*l.field = settings.*l.setting;
    return f;
}

bool SaveFieldsToSettings(const OptionsFields& fields, Settings& settings, ReadingState& state) {
    const std::int32_t numSave =
        std::clamp(fields.NumSaveMails, kNumSaveMailsRange.min, kNumSaveMailsRange.max);
    const PortNumber port = fields.Port;
    const ConnectionSecurity security = fields.Security;
    const bool userChanged = fields.User != settings.User;
    // Where brevon connects, however it is written: moving the port out of the host field
    // changes nothing.
    const bool connectionChanged =
        ResolveServer(fields.Host, port, security) !=
            ResolveServer(settings.Host, settings.Port, settings.Security) ||
        userChanged || fields.Password != settings.Password || numSave != settings.NumSaveMails ||
        fields.UseNumSaveMails != settings.UseNumSaveMails || fields.Reverse != settings.Reverse;
    if (userChanged) {
        // The new mailbox starts with no known messages; the position must not point past
        // the emptied lists until the next check sets it.
        state.KnownIds.clear();
        state.KnownHeaders.clear();
        state.CurrentIndex = 0;
        // The new user's own list files are read at the next check.
        state.LoadPending = true;
    }

    settings.Address = fields.Address;
    settings.Host = fields.Host;
    settings.Security = security;
    settings.Port = port;
    settings.User = fields.User;
    settings.Password = fields.Password;
    settings.Interval = std::clamp(fields.Interval, kIntervalRange.min, kIntervalRange.max);
    settings.NumSaveMails = numSave;
    for (const Switch& s : kSwitches)
        settings.*s.setting = fields.*s.field;
    for (const Level& l : kLevels)
        settings.*l.setting = fields.*l.field;
    const auto named =
        std::find_if(kVoiceList.begin(), kVoiceList.end(),
                     [&](const VoiceItem& item) { return item.name == fields.VoiceText; });
    if (named != kVoiceList.end())
        settings.Voice = named->code;
    else if (fields.VoiceCode)
        settings.Voice = *fields.VoiceCode;
    return connectionChanged;
}

void ApplyEngineDefaults(OptionsFields& fields, const EngineDefaults& defaults) {
    fields.Tempo = defaults.tempo;
    fields.Pitch = defaults.pitch;
    fields.Volume = defaults.volume;
    const int voice = VoiceIndex(defaults.voice);
    fields.VoiceText = voice >= 0 ? kVoiceList[static_cast<std::size_t>(voice)].name : "";
    fields.VoiceCode = defaults.voice;
}

OkOutcome RunOkSteps(const OptionsFields& fields, bool& connectionChanged, OkEnvironment& env) {
    if (fields.Password.size() > kMaxPasswordLength) return OkOutcome::PasswordTooLong;

    if (SaveFieldsToSettings(fields, env.settings, env.state)) connectionChanged = true;

    StoreWindowPositions(env.settings, env.windows);
    (void)SaveSettings(env.store, env.settings); // store failures stay silent

    if (env.languageCheck) env.languageCheck->ApplyLanguageCheckSetting();
    if (env.autostart) (void)ApplyAutostart(env.settings, *env.autostart, env.executable);

    env.speech.SetTempo(env.settings.Tempo);
    env.speech.SetPitch(env.settings.Pitch);
    env.speech.SetVolume(env.settings.Volume);
    env.speech.SetVoice(env.settings.Voice);

    if (!connectionChanged || !env.mail) return OkOutcome::Close;
    env.mail->SetOnline(true);
    env.mail->CheckMail();
    return env.state.Online ? OkOutcome::Close : OkOutcome::StayOpen;
}

} // namespace brevon
