#include <platform/GlobalKeys.h>

#include <array>
#include <memory>
#include <cctype>

#include <platform/AsciiText.h>

namespace platform {

namespace {

struct NamedKey {
    std::string_view name;
    std::uint32_t keysym;
    std::uint16_t virtualKey;
};

// Keys outside letters, digits and function keys. Letters carry their lower-case keysym, the
// one an unshifted key produces.
constexpr std::array<NamedKey, 14> kNamedKeys{{
    {"Left", 0xff51, 0x25},
    {"Up", 0xff52, 0x26},
    {"Right", 0xff53, 0x27},
    {"Down", 0xff54, 0x28},
    {"Home", 0xff50, 0x24},
    {"End", 0xff57, 0x23},
    {"PgUp", 0xff55, 0x21},
    {"PgDown", 0xff56, 0x22},
    {"Ins", 0xff63, 0x2d},
    {"Del", 0xffff, 0x2e},
    {"Space", 0x20, 0x20},
    {",", 0x2c, 0xbc},
    {".", 0x2e, 0xbe},
    {"Comma", 0x2c, 0xbc},
}};

struct NamedModifier {
    std::string_view name;
    KeyModifier modifier;
};

// In the order KeyChordText writes them.
constexpr std::array<NamedModifier, 4> kModifiers{{
    {"Ctrl", kCtrl},
    {"Alt", kAlt},
    {"Shift", kShift},
    {"Meta", kMeta},
}};

std::optional<KeyChord> KeyNamed(std::string_view name) {
    KeyChord chord;
    if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0]))) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
        chord.key = std::string(1, c);
        chord.keysym = static_cast<std::uint32_t>(std::tolower(static_cast<unsigned char>(c)));
        chord.virtualKey = static_cast<std::uint16_t>(c);
        return chord;
    }
    if (name.size() >= 2 && (name[0] == 'F' || name[0] == 'f')) {
        int number = 0;
        for (const char c : name.substr(1)) {
            if (c < '0' || c > '9' || number > 24) return std::nullopt;
            number = number * 10 + (c - '0');
        }
        if (name[1] == '0' || number < 1 || number > 24) return std::nullopt;
        // Appended, not "F" + std::string: GCC 12 warns wrongly about the latter at -O3.
        chord.key = "F";
        chord.key += std::to_string(number);
        chord.keysym = 0xffbe + static_cast<std::uint32_t>(number - 1);
        chord.virtualKey = static_cast<std::uint16_t>(0x70 + number - 1);
        return chord;
    }
    for (const NamedKey& key : kNamedKeys) {
        if (!platform::SameAsciiText(key.name, name)) continue;
        chord.key = key.name == "Comma" ? std::string(",") : std::string(key.name);
        chord.keysym = key.keysym;
        chord.virtualKey = key.virtualKey;
        return chord;
    }
    return std::nullopt;
}

} // namespace

std::optional<KeyChord> ParseKeyChord(std::string_view text) {
    unsigned modifiers = 0;
    // The key comes last and may itself be "+"-free punctuation such as ","; every part before
    // it is a modifier.
    for (;;) {
        const std::size_t plus = text.find('+');
        if (plus == std::string_view::npos || plus + 1 == text.size()) break;
        const std::string_view part = text.substr(0, plus);
        bool known = false;
        for (const NamedModifier& named : kModifiers) {
            if (!platform::SameAsciiText(named.name, part)) continue;
            if (modifiers & named.modifier) return std::nullopt;
            modifiers |= named.modifier;
            known = true;
        }
        if (!known) return std::nullopt;
        text.remove_prefix(plus + 1);
    }
    if (modifiers == 0) return std::nullopt;
    std::optional<KeyChord> chord = KeyNamed(text);
    if (chord) chord->modifiers = modifiers;
    return chord;
}

std::string KeyChordText(const KeyChord& chord) {
    std::string text;
    for (const NamedModifier& named : kModifiers)
        if (chord.modifiers & named.modifier) text += std::string(named.name) + "+";
    return text + chord.key;
}

namespace {

// Keys on a desktop that lets no program take them: the same on every system.
class NoKeys final : public GlobalKeys {
public:
    GrabResult Grab(int, const KeyChord&) override { return GrabResult::Unavailable; }
    void ReleaseAll() override {}
    bool Available() const override { return false; }
    int EventDescriptor() const override { return -1; }
    void Dispatch() override {}
};

} // namespace

std::unique_ptr<GlobalKeys> NoGlobalKeys() {
    return std::make_unique<NoKeys>();
}

} // namespace platform
