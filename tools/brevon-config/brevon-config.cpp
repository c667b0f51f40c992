// brevon-config: reads and changes brevon's settings from the command line, for whoever sets
// brevon up for someone else or from a script. It works on the very store brevon uses, through
// the same platform code, and knows the values from brevon's own settings table.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <variant>
#include <vector>

#include <app/Options.h>
#include <app/KeyringSettingsStore.h>
#include <app/PasswordScrambling.h>
#include <app/Settings.h>
#include <encoding/Cp1252.h>
#include <encoding/Utf8.h>
#include <mail/MailSettings.h>
#include <platform/Autostart.h>
#include <platform/DataPaths.h>
#include <platform/GlobalKeys.h>
#include <platform/InstanceLock.h>
#include <platform/SettingsFile.h>
#include <platform/SettingsStore.h>
#include <qvstts/qvstts.h>
#if !defined(_WIN32)
#include <platform/FileSettingsStore.h>
#include <platform/Secrets.h>
#endif

namespace {

using namespace brevon;

// Exit statuses, as --help lists them.
constexpr int kDone = 0;
constexpr int kStoreFailed = 1; // the settings or the logon entry could not be read or written
constexpr int kRefused = 2;     // usage, name, value, a running brevon, the password asked for

constexpr std::string_view kProgram = "brevon-config";
constexpr std::string_view kHiddenPassword = "(verborgen)";
constexpr std::string_view kNoPassword = "(geen)";
constexpr std::string_view kUnreadablePassword = "(in de sleutelbos, nu niet te lezen)";

void Say(std::string_view message) {
    std::cerr << kProgram << ": " << message << '\n';
}

// ---- Text at the edge: the command line and the terminal are UTF-8, brevon keeps
// Windows-1252. Exact in both directions; what does not fit is refused, never replaced.

enum class TextError { None, NotUtf8, NotCp1252 };

// The five bytes Windows-1252 leaves undefined stand for their C1 controls, as the options
// dialog shows them, so every stored byte comes back as it was.
TextError Utf8ToCp1252(std::string_view utf8, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = 0;
        const std::size_t length = encoding::DecodeUtf8(utf8, i, cp);
        if (length == 0) return TextError::NotUtf8;
        const int byte = encoding::UnicodeToCp1252(cp, encoding::Undefined::AsControls);
        if (byte < 0) return TextError::NotCp1252;
        out += static_cast<char>(byte);
        i += length;
    }
    return TextError::None;
}

// ---- What each value accepts. The names, types, defaults and bounds are brevon's table,
// which also brings a stored value outside its bounds inside when brevon reads it.

// Owner: Settings, or the mail side's part of it.
template <typename T, typename Owner> bool Is(const SettingDef& def, T Owner::*member) {
    const auto* held = std::get_if<T Settings::*>(&def.member);
    return held != nullptr && *held == static_cast<T Settings::*>(member);
}

struct Rule {
    enum class Kind { Number, Voice, Flag, Text, Password, Security, Port, Key } kind;
    SettingRange range{};
};

Rule RuleOf(const SettingDef& def) {
    if (Is(def, &Settings::Voice)) return {Rule::Kind::Voice};
    if (def.range.Bounded()) return {Rule::Kind::Number, def.range};
    if (Is(def, &Settings::Password)) return {Rule::Kind::Password};
    if (Is(def, &Settings::Security)) return {Rule::Kind::Security};
    if (Is(def, &Settings::Port)) return {Rule::Kind::Port};
    for (std::string Settings::*key : kKeySettings)
        if (Is(def, key)) return {Rule::Kind::Key};
    switch (def.type) {
    case SettingType::Integer:
        return {Rule::Kind::Number};
    case SettingType::Boolean:
        return {Rule::Kind::Flag};
    case SettingType::Text:
        break;
    }
    return {Rule::Kind::Text};
}

std::string RangeText(SettingRange range) {
    return std::to_string(range.min) + " tot en met " + std::to_string(range.max);
}

std::string VoiceCodes() {
    std::string codes;
    for (std::size_t i = 0; i < kVoiceList.size(); ++i) {
        if (i > 0) codes += i + 1 == kVoiceList.size() ? " of " : ", ";
        codes += std::to_string(kVoiceList[i].code) + " (" + std::string(kVoiceList[i].name) + ")";
    }
    return codes;
}

std::string SecurityChoices() {
    return std::string(SecurityText(ConnectionSecurity::None)) + ", " +
           std::string(SecurityText(ConnectionSecurity::StartTls)) + " of " +
           std::string(SecurityText(ConnectionSecurity::Tls));
}

// What a value accepts, in the words of --help and of a refusal.
std::string Accepts(const Rule& rule) {
    switch (rule.kind) {
    case Rule::Kind::Number:
        if (!rule.range.Bounded()) return "een geheel getal";
        return "een geheel getal van " + RangeText(rule.range);
    case Rule::Kind::Voice:
        return "een stemcode: " + VoiceCodes();
    case Rule::Kind::Flag:
        return "0 (uit) of 1 (aan)";
    case Rule::Kind::Text:
        return "een tekst zonder stuurtekens";
    case Rule::Kind::Password:
        return "een tekst zonder stuurtekens van hoogstens " + std::to_string(kMaxPasswordLength) +
               " tekens";
    case Rule::Kind::Security:
        return SecurityChoices();
    case Rule::Kind::Port:
        return "een poort van 1 tot en met 65535, of leeg voor de gebruikelijke";
    case Rule::Kind::Key:
        return "een toets met Ctrl, Alt, Shift of Meta (zoals Ctrl+Alt+Shift+P), of leeg voor "
               "geen";
    }
    return {};
}

struct Named {
    const SettingDef* def = nullptr;
    bool extra = false; // beside the nineteen: absent or mistyped reads as its default
};

std::vector<Named> AllSettings() {
    std::vector<Named> all;
    for (const SettingDef& def : kSettingsTable)
        all.push_back({&def, false});
    for (const SettingDef& def : kExtraSettingsTable)
        all.push_back({&def, true});
    return all;
}

std::optional<Named> Find(std::string_view name) {
    for (const Named& named : AllSettings())
        if (platform::SettingsFile::SameName(named.def->name, name)) return named;
    return std::nullopt;
}

// A whole number in plain digits with an optional sign; out-of-range magnitudes saturate, so
// that they are refused as out of range rather than as not a number.
bool ParseWhole(std::string_view text, std::int64_t& value) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    std::int64_t magnitude = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    (void)end;
    if (error == std::errc::result_out_of_range || magnitude > INT64_C(1) << 40)
        magnitude = INT64_C(1) << 40;
    value = negative ? -magnitude : magnitude;
    return true;
}

bool HasControl(std::string_view text) {
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) return true;
    }
    return false;
}

// The stored form of a value given on the command line: an integer or a Windows-1252 text
// (the password in plain; scrambling happens on writing). Refusals go to stderr.
using Stored = std::variant<std::int32_t, std::string>;

std::optional<Stored> Validate(const SettingDef& def, std::string_view input) {
    const Rule rule = RuleOf(def);
    const std::string name(def.name);
    const std::string quoted = "'" + std::string(input) + "'";
    const auto refuse = [&](const std::string& why) -> std::optional<Stored> {
        Say(why);
        return std::nullopt;
    };
    switch (rule.kind) {
    case Rule::Kind::Number:
    case Rule::Kind::Voice:
    case Rule::Kind::Flag: {
        std::int64_t value = 0;
        if (!ParseWhole(input, value))
            return refuse("'" + name + "' is " + Accepts(rule) + "; " + quoted + " is dat niet.");
        const bool fits =
            rule.kind == Rule::Kind::Number ? value >= rule.range.min && value <= rule.range.max
            : rule.kind == Rule::Kind::Flag ? value == 0 || value == 1
                                            : value >= INT32_MIN && value <= INT32_MAX &&
                                                  VoiceIndex(static_cast<std::int32_t>(value)) >= 0;
        if (!fits)
            return refuse(
                "'" + name + "' is " + Accepts(rule) + "; " + quoted +
                (rule.kind == Rule::Kind::Number ? " valt daarbuiten." : " is dat niet."));
        return Stored{static_cast<std::int32_t>(value)};
    }
    case Rule::Kind::Security:
        for (const ConnectionSecurity security :
             {ConnectionSecurity::None, ConnectionSecurity::StartTls, ConnectionSecurity::Tls})
            if (platform::SettingsFile::SameName(input, SecurityText(security)))
                return Stored{std::string(SecurityText(security))};
        return refuse("'" + name + "' is " + Accepts(rule) + "; " + quoted + " is dat niet.");
    case Rule::Kind::Port: {
        if (input.empty()) return Stored{std::string()};
        // Plain digits, as brevon's own reading of the value would take them.
        const PortNumber port = input.find_first_not_of("0123456789") == std::string_view::npos
                                    ? PortFromText(input)
                                    : kUsualPort;
        if (port == kUsualPort)
            return refuse("'" + name + "' is " + Accepts(rule) + "; " + quoted + " is dat niet.");
        return Stored{PortText(port)};
    }
    case Rule::Kind::Key: {
        if (input.empty()) return Stored{std::string()};
        const std::optional<platform::KeyChord> chord = platform::ParseKeyChord(input);
        if (!chord)
            return refuse("'" + name + "' is " + Accepts(rule) + "; " + quoted + " is dat niet.");
        return Stored{platform::KeyChordText(*chord)};
    }
    case Rule::Kind::Text:
    case Rule::Kind::Password:
        break;
    }
    const bool password = rule.kind == Rule::Kind::Password;
    std::string text;
    switch (Utf8ToCp1252(input, text)) {
    case TextError::NotUtf8:
        return refuse("'" + name + "' moet UTF-8-tekst zijn; de waarde is dat niet.");
    case TextError::NotCp1252:
        return refuse(password ? std::string(kPasswordUnusableCharText)
                               : "'" + name +
                                     "' bevat een teken dat brevon niet kan bewaren (alleen "
                                     "Windows-1252).");
    case TextError::None:
        break;
    }
    // A line end in the user name or password would end the POP3 command early and send the
    // rest to the server as a command of its own.
    if (HasControl(text))
        return refuse("'" + name + "' mag geen regeleinden of andere stuurtekens bevatten.");
    if (password && text.size() > kMaxPasswordLength)
        return refuse(std::string(kPasswordTooLongText));
    return Stored{std::move(text)};
}

// ---- The store and how brevon's lock is found.

struct Place {
    std::unique_ptr<platform::SettingsStore> store;
    std::filesystem::path lockFile; // empty: no folder to look in
    std::string where;              // for messages
    // The logon entry that goes with these settings; null for a folder no session reads.
    std::unique_ptr<platform::Autostart> autostart;
    KeyringSettingsStore* keyring = nullptr; // the store itself, for what the keyring said
};

// The settings of a file, the password in the desktop's keyring when one answers.
void UseStore(Place& place, std::unique_ptr<platform::SettingsStore> file) {
    auto store =
        std::make_unique<KeyringSettingsStore>(std::move(file), platform::DesktopSecretStore());
    place.keyring = store.get();
    place.store = std::move(store);
}

// The name brevon's settings folder has below a configuration base folder.
constexpr std::string_view kSettingsFolderName = "brevon";

std::optional<Place> OpenPlace(const std::optional<std::filesystem::path>& configDir) {
    Place place;
    if (!configDir) {
        UseStore(place, platform::OpenUserSettingsStore());
        place.lockFile = platform::InstanceLockFile();
        place.autostart = platform::UserAutostart();
#if defined(_WIN32)
        place.where = "HKEY_CURRENT_USER" + std::string(kSettingsKeyPath);
#else
        place.where = platform::FileSettingsStore::DefaultFile().string();
#endif
        return place;
    }
#if defined(_WIN32)
    Say("--config-dir bestaat niet op Windows: daar staan de instellingen in het register.");
    return std::nullopt;
#else
    const std::filesystem::path file = platform::FileSettingsStore::FileIn(*configDir);
    // The password goes where brevon keeps it: the keyring of this desktop, when one answers.
    UseStore(place, std::make_unique<platform::FileSettingsStore>(file));
    place.lockFile = platform::InstanceLockFile(*configDir);
    place.where = file.string();
    // A folder named as brevon's own is taken as <configuration base>/brevon: its entry goes to
    // <configuration base>/autostart, where the session of that base looks.
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::absolute(*configDir, ec).lexically_normal();
    if (!dir.has_filename()) dir = dir.parent_path();
    if (!ec && dir.filename() == kSettingsFolderName && dir.has_parent_path())
        place.autostart = platform::XdgAutostart(dir.parent_path());
    return place;
#endif
}

std::string StoreProblem(const platform::OpenKeyResult& opened) {
    return opened.detail.empty() ? opened.error.message() : opened.detail;
}

// ---- The three commands.

enum class Found { Value, Missing, WrongType };

struct Shown {
    Found found = Found::Value;
    std::string text; // UTF-8, for the terminal
    std::string used; // what brevon reads instead, for a value outside its bounds
};

// The value as brevon reads it; the password never leaves this function.
Shown Show(const platform::SettingsKey& key, const Named& named) {
    const SettingDef& def = *named.def;
    Shown shown;
    std::error_code error;
    if (def.type == SettingType::Text) {
        std::string text;
        error = key.ReadString(def.name, text);
        if (error && named.extra) {
            text = std::string(def.defaultText);
            error = {};
        }
        if (Is(def, &Settings::Password))
            shown.text = text.empty() ? kNoPassword : kHiddenPassword;
        else
            shown.text = encoding::Cp1252ToUtf8(text, encoding::Undefined::AsControls);
        if (!error && RuleOf(def).kind == Rule::Kind::Key && !UsableKeyText(text))
            shown.used = std::string(def.defaultText);
    } else {
        std::int32_t value = 0;
        error = key.ReadInteger(def.name, value);
        if (error && named.extra) {
            value = def.defaultNumber;
            error = {};
        }
        shown.text =
            def.type == SettingType::Boolean ? (value != 0 ? "1" : "0") : std::to_string(value);
        if (!error && def.type == SettingType::Integer &&
            (value < def.range.min || value > def.range.max))
            shown.used = std::to_string(std::clamp(value, def.range.min, def.range.max));
    }
    if (error == platform::SettingsErrc::wrong_type)
        shown.found = Found::WrongType;
    else if (error)
        shown.found = Found::Missing;
    return shown;
}

// Opens brevon's key for reading; on failure says why and gives the exit status.
std::unique_ptr<platform::SettingsKey> OpenForReading(Place& place, int& status) {
    platform::OpenKeyResult opened =
        place.store->OpenKey(kSettingsKeyPath, platform::OpenMode::Existing);
    if (opened.key) return std::move(opened.key);
    status = kStoreFailed;
    if (opened.error == platform::SettingsErrc::key_not_found)
        Say("er zijn nog geen instellingen in " + place.where +
            ". brevon schrijft ze bij de eerste start; 'set' doet dat ook.");
    else
        Say("de instellingen kunnen niet gelezen worden: " + StoreProblem(opened));
    return nullptr;
}

int List(Place& place) {
    int status = kDone;
    const std::unique_ptr<platform::SettingsKey> key = OpenForReading(place, status);
    if (!key) return status;
    for (const Named& named : AllSettings()) {
        Shown shown = Show(*key, named);
        // A password the keyring keeps and does not give is there all the same.
        if (Is(*named.def, &Settings::Password) && place.keyring && place.keyring->KeyringProblem())
            shown.text = kUnreadablePassword;
        std::string line(named.def->name);
        line.resize(std::max<std::size_t>(line.size() + 1, 21), ' ');
        line += shown.found == Found::Missing     ? "(ontbreekt)"
                : shown.found == Found::WrongType ? "(ander type dan brevon verwacht)"
                                                  : shown.text;
        if (!shown.used.empty()) line += " (brevon gebruikt " + shown.used + ")";
        std::cout << line << '\n';
        if (shown.found != Found::Value) status = kStoreFailed;
    }
    std::cout.flush();
    if (place.keyring && place.keyring->KeyringProblem())
        Say("de sleutelbos van het bureaublad geeft het wachtwoord nu niet (op slot of niet "
            "bereikbaar); brevon vraagt er bij de start om.");
    if (status != kDone)
        Say("een waarde ontbreekt of heeft een ander type; brevon gebruikt daarvoor de "
            "standaardwaarde.");
    return status;
}

int Get(Place& place, const Named& named) {
    if (Is(*named.def, &Settings::Password)) {
        Say("het wachtwoord wordt nooit getoond.");
        return kRefused;
    }
    int status = kDone;
    const std::unique_ptr<platform::SettingsKey> key = OpenForReading(place, status);
    if (!key) return status;
    const Shown shown = Show(*key, named);
    const std::string name(named.def->name);
    switch (shown.found) {
    case Found::Missing:
        Say("'" + name + "' ontbreekt in " + place.where + "; brevon gebruikt de standaardwaarde.");
        return kStoreFailed;
    case Found::WrongType:
        Say("'" + name + "' heeft in " + place.where +
            " een ander type dan brevon verwacht; brevon gebruikt de standaardwaarde.");
        return kStoreFailed;
    case Found::Value:
        break;
    }
    std::cout << shown.text << '\n' << std::flush;
    if (!shown.used.empty())
        Say("'" + name + "' valt buiten " + RangeText(named.def->range) + "; brevon gebruikt " +
            shown.used + ".");
    return kDone;
}

// What brevon's first run writes: the engine's own defaults for the voice values.
EngineDefaults EngineDefaultsNow() {
    EngineDefaults defaults{};
    QVS_GetDefaultSettings(&defaults.voice, &defaults.tempo, &defaults.pitch, &defaults.volume);
    return defaults;
}

void Assign(Settings& settings, const SettingDef& def, const Stored& value) {
    std::visit(
        [&](auto member) {
            using T = std::remove_cvref_t<decltype(settings.*member)>;
            if constexpr (std::is_same_v<T, std::string>)
                settings.*member = std::get<std::string>(value);
            else if constexpr (std::is_same_v<T, ConnectionSecurity>)
                settings.*member = SecurityFromText(std::get<std::string>(value));
            else if constexpr (std::is_same_v<T, PortNumber>)
                settings.*member = PortFromText(std::get<std::string>(value));
            else if constexpr (std::is_same_v<T, bool>)
                settings.*member = std::get<std::int32_t>(value) != 0;
            else
                settings.*member = std::get<std::int32_t>(value);
        },
        def.member);
}

// brevon itself: installed next to brevon-config; in the build tree where the build put it.
std::optional<std::filesystem::path> BrevonProgram() {
#if defined(_WIN32)
    constexpr const char* kProgramFile = "brevon.exe";
#else
    constexpr const char* kProgramFile = "brevon";
#endif
    const std::filesystem::path here = platform::ExecutableDir();
    if (here.empty()) return std::nullopt;
    std::vector<std::filesystem::path> candidates{here / kProgramFile};
#ifdef BREVON_BUILD_TREE_PROGRAM
    candidates.push_back(here / BREVON_BUILD_TREE_PROGRAM);
#endif
    for (const std::filesystem::path& candidate : candidates) {
        std::error_code ec;
        const std::filesystem::file_status status = std::filesystem::status(candidate, ec);
        if (!ec && std::filesystem::is_regular_file(status) &&
            (status.permissions() & std::filesystem::perms::owner_exec) !=
                std::filesystem::perms::none) {
            std::filesystem::path program = std::filesystem::canonical(candidate, ec);
            if (!ec) return program;
        }
    }
    return std::nullopt;
}

// "SemiService9X" is the start at logon: the entry follows the value, as brevon's own OK makes
// it, so that the session starts brevon without brevon having been opened first. Written
// before the value, so that a refusal here changes nothing.
int ApplyLogonEntry(const Place& place, bool start) {
    if (!place.autostart) {
        Say("de opstartvermelding blijft zoals ze is: " + place.where +
            " ligt niet in een map 'brevon', dus geen sessie start brevon met deze instellingen.");
        return kDone;
    }
    if (!start) {
        if (const std::error_code error = place.autostart->Disable()) {
            Say("de opstartvermelding kon niet verwijderd worden: " + error.message() +
                ". Er is niets veranderd.");
            return kStoreFailed;
        }
        return kDone;
    }
    const std::optional<std::filesystem::path> program = BrevonProgram();
    if (!program) {
        Say("brevon staat niet naast brevon-config (" + platform::ExecutableDir().string() +
            "), dus er kan niet naar verwezen worden om het bij het aanmelden te starten. Er is "
            "niets veranderd.");
        return kStoreFailed;
    }
    if (const std::error_code error = place.autostart->Enable(*program)) {
        Say("de opstartvermelding voor " + program->string() +
            " kon niet geschreven worden: " + error.message() + ". Er is niets veranderd.");
        return kStoreFailed;
    }
    return kDone;
}

int Set(Place& place, const Named& named, const Stored& value, bool force) {
    // Held until the program ends, so brevon cannot start in the middle of the write. brevon
    // writes all its settings when it closes, so a change made under it would be lost.
    std::optional<platform::InstanceLock> lock;
    if (!force && !place.lockFile.empty()) {
        lock.emplace(platform::InstanceLock::TryAcquire(place.lockFile));
        if (lock->state() == platform::InstanceLock::State::HeldElsewhere) {
            Say("brevon draait. Sluit brevon eerst af (het schrijft bij het sluiten al zijn "
                "instellingen terug), of gebruik --force.");
            return kRefused;
        }
        if (lock->state() == platform::InstanceLock::State::Failed) {
            Say("kan niet nagaan of brevon draait (" + place.lockFile.string() + ": " +
                lock->error().message() + "); met --force wordt toch geschreven.");
            return kRefused;
        }
    }

    const SettingDef& def = *named.def;
    platform::OpenKeyResult opened =
        place.store->OpenKey(kSettingsKeyPath, platform::OpenMode::Existing);
    if (!opened.key && opened.error != platform::SettingsErrc::key_not_found) {
        // Damaged or unreadable: left as it is. brevon keeps a damaged file aside at its next
        // start and begins on the defaults; an unreadable one is for a person to look at.
        Say("de instellingen kunnen niet gelezen worden: " + StoreProblem(opened));
        return kStoreFailed;
    }
    if (Is(def, &Settings::SemiService9X))
        if (const int status = ApplyLogonEntry(place, std::get<std::int32_t>(value) != 0))
            return status;
    if (opened.key) {
        // Only this value changes; the key writes the file anew from what is on disk now.
        std::error_code error;
        if (const auto* number = std::get_if<std::int32_t>(&value))
            error = opened.key->WriteInteger(def.name, *number);
        else if (Is(def, &Settings::Password))
            error =
                opened.key->WriteString(def.name, ScramblePassword(std::get<std::string>(value)));
        else
            error = opened.key->WriteString(def.name, std::get<std::string>(value));
        if (!error) error = opened.key->Close();
        if (error) {
            Say("de instellingen konden niet geschreven worden (" + place.where +
                "): " + error.message());
            return kStoreFailed;
        }
        return kDone;
    }
    // No settings yet: write what brevon's first run writes, with this value in it, so that
    // brevon later starts on a complete set.
    Settings settings;
    SetDefaultSettings(settings, EngineDefaultsNow);
    Assign(settings, def, value);
    if (!SaveSettings(*place.store, settings)) {
        Say("de instellingen konden niet geschreven worden (" + place.where + ").");
        return kStoreFailed;
    }
    return kDone;
}

// ---- The command line.

constexpr std::string_view kUsage =
    "Gebruik: brevon-config [--config-dir MAP] list\n"
    "         brevon-config [--config-dir MAP] get NAAM\n"
    "         brevon-config [--config-dir MAP] [--force] set NAAM WAARDE\n";

void PrintHelp(std::ostream& out) {
    out << kUsage
        << "\n"
           "Leest en wijzigt de instellingen van brevon, in hetzelfde bestand als brevon zelf:\n"
           "$XDG_CONFIG_HOME/brevon/settings.reg (standaard ~/.config/brevon/settings.reg).\n"
           "\n"
           "  list              toont alle instellingen; het wachtwoord als "
        << kHiddenPassword << " of " << kNoPassword
        << ",\n"
           "                    of "
        << kUnreadablePassword
        << "\n"
           "  get NAAM          toont een waarde. 'get Password' weigert: het wachtwoord wordt\n"
           "                    nooit getoond (afsluitstatus 2).\n"
           "  set NAAM WAARDE   wijzigt alleen die waarde. Het wachtwoord wordt opgeslagen zoals\n"
           "                    brevon het opslaat: in de sleutelbos van het bureaublad als\n"
           "                    die er is, anders versluierd in het instellingenbestand.\n"
           "                    'set Password -' leest het van de eerste\n"
           "                    regel van standaardinvoer, zodat het niet op de opdrachtregel\n"
           "                    staat. Zijn er nog geen instellingen, dan schrijft set eerst wat\n"
           "                    brevon bij de eerste start schrijft.\n"
           "\n"
           "  --config-dir MAP  gebruikt MAP in plaats van $XDG_CONFIG_HOME/brevon\n"
           "  --force           schrijft ook terwijl brevon draait (brevon schrijft bij het\n"
           "                    sluiten al zijn instellingen terug, over de wijziging heen)\n"
           "  -h, --help        deze tekst\n"
           "\n"
           "Opties staan voor de opdracht. Namen zijn ongevoelig voor hoofdletters; zet een\n"
           "naam met spaties tussen aanhalingstekens. Teksten zijn UTF-8.\n"
           "\n"
           "SemiService9X is het opstarten bij het aanmelden. 'set SemiService9X 1' schrijft\n"
           "ook de opstartvermelding $XDG_CONFIG_HOME/autostart/brevon.desktop, die het brevon\n"
           "naast brevon-config start; 'set SemiService9X 0' verwijdert haar. Met --config-dir\n"
           "gebeurt dat alleen voor een map die 'brevon' heet, in de map 'autostart' ernaast.\n"
           "\n";
    for (const Named& named : AllSettings()) {
        std::string line = "  " + std::string(named.def->name);
        line.resize(std::max<std::size_t>(line.size() + 1, 23), ' ');
        out << line << Accepts(RuleOf(*named.def)) << '\n';
    }
    out << "\n"
           "Afsluitstatus: 0 gelukt; 1 de instellingen of de opstartvermelding konden niet\n"
           "gelezen of geschreven worden (of brevon staat niet naast brevon-config); 2 geweigerd\n"
           "(verkeerd gebruik, onbekende naam, ongeldige waarde, brevon draait, het wachtwoord\n"
           "gevraagd). Bij een weigering verandert er niets.\n";
}

int Usage(std::string_view problem) {
    Say(problem);
    std::cerr << kUsage << "Meer met 'brevon-config --help'.\n";
    return kRefused;
}

std::optional<Named> FindOrSay(std::string_view name) {
    std::optional<Named> named = Find(name);
    if (!named)
        Say("onbekende instelling '" + std::string(name) +
            "'. 'brevon-config --help' noemt ze alle.");
    return named;
}

} // namespace

int main(int argc, char** argv) {
    std::optional<std::filesystem::path> configDir;
    bool force = false;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            PrintHelp(std::cout);
            return kDone;
        }
        if (arg == "--force") {
            force = true;
        } else if (arg == "--config-dir" || arg.starts_with("--config-dir=")) {
            std::string_view dir;
            if (arg == "--config-dir") {
                if (i + 1 >= argc) return Usage("--config-dir heeft een map nodig.");
                dir = argv[++i];
            } else {
                dir = arg.substr(std::string_view("--config-dir=").size());
            }
            if (dir.empty()) return Usage("--config-dir heeft een map nodig.");
            configDir = std::filesystem::path(dir);
        } else if (arg.starts_with("-")) {
            return Usage("onbekende optie '" + std::string(arg) + "'.");
        } else {
            break;
        }
    }
    if (i >= argc) return Usage("geen opdracht gegeven.");
    const std::string_view command = argv[i++];
    const std::vector<std::string_view> rest(argv + i, argv + argc);

    int status = kDone;
    if (command == "list") {
        if (!rest.empty()) return Usage("list heeft geen verdere argumenten.");
        std::optional<Place> place = OpenPlace(configDir);
        if (!place) return kRefused;
        status = List(*place);
    } else if (command == "get") {
        if (rest.size() != 1) return Usage("get heeft een naam nodig, en niets meer.");
        const std::optional<Named> named = FindOrSay(rest[0]);
        if (!named) return kRefused;
        std::optional<Place> place = OpenPlace(configDir);
        if (!place) return kRefused;
        status = Get(*place, *named);
    } else if (command == "set") {
        if (rest.size() != 2)
            return Usage("set heeft een naam en een waarde nodig, en niets meer.");
        const std::optional<Named> named = FindOrSay(rest[0]);
        if (!named) return kRefused;
        std::string input(rest[1]);
        if (Is(*named->def, &Settings::Password) && input == "-") {
            if (!std::getline(std::cin, input)) input.clear();
            if (!input.empty() && input.back() == '\r') input.pop_back();
        }
        const std::optional<Stored> value = Validate(*named->def, input);
        if (!value) return kRefused;
        std::optional<Place> place = OpenPlace(configDir);
        if (!place) return kRefused;
        status = Set(*place, *named, *value, force);
    } else {
        return Usage("onbekende opdracht '" + std::string(command) + "'.");
    }
    return status;
}
