// The text form of a settings file, modelled on a registry export:
//
//   Brevon Settings Version 1
//   [HKEY_CURRENT_USER\SOFTWARE\Tolvani Speech Technology\Brevon]
//   "X"=dword:0000000a
//   "Host"="pop.example.nl"
//
// Names and strings are quoted; '\\', '"' and every byte outside printable ASCII are escaped
// (\\, \", \xhh), so any byte string, zero bytes included, reads back whole and the file stays
// plain ASCII. Lines starting with ';' and blank lines are ignored; CR LF line ends are accepted.
//
// A file edited by hand or cut short is read as far as it can be: a line that cannot be read is
// skipped and counted (with a section line that cannot be read, the values below it go too), so
// one bad line costs only the values on it. Only a file without the header line, or larger than
// any settings file, cannot be read at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct SettingsValue {
    enum class Type { Integer, String };
    std::string name;
    Type type = Type::Integer;
    std::int32_t integer = 0;
    std::string text;
};

struct SettingsKeyData {
    std::string path; // normalised: no leading or trailing '\', parts joined by '\'
    std::vector<SettingsValue> values; // in file order
};

class SettingsFile {
public:
    static constexpr std::string_view kHeader = "Brevon Settings Version 1";
    static constexpr std::string_view kRoot = "HKEY_CURRENT_USER";
    // A settings file stays small; anything larger is not one of ours.
    static constexpr std::size_t kMaxSize = 1 << 20;

    std::vector<SettingsKeyData> keys; // in file order
    // Lines skipped as unreadable, and what was wrong with the first ("line N: what").
    std::size_t damagedLines = 0;
    std::string firstDamage;

    // False when the text is no settings file at all: *this is left empty and error says why
    // ("line N: what"). Otherwise true, with any skipped lines counted above.
    bool Parse(std::string_view text, std::string& error);
    std::string Serialize() const;

    SettingsKeyData* FindKey(std::string_view normalisedPath);
    // True when the key has a section or some section lies below it (a parent key exists
    // implicitly, as in the registry).
    bool KeyExists(std::string_view normalisedPath) const;

    // "\A\B\" -> "A\B"; false for an empty part, a control character or an empty path.
    static bool NormaliseKeyPath(std::string_view path, std::string& normalised);
    static bool SameName(std::string_view a, std::string_view b);
    static const SettingsValue* FindValue(const SettingsKeyData& key, std::string_view name);
    static SettingsValue* FindValue(SettingsKeyData& key, std::string_view name);
};

} // namespace platform
