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

    // On failure returns false, leaves *this empty and sets error to "line N: what".
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
