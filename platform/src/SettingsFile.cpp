#include <platform/SettingsFile.h>

#include <algorithm>
#include <cstdio>

#include <platform/AsciiText.h>

namespace platform {

namespace {

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

void AppendQuoted(std::string& out, std::string_view text) {
    static const char digits[] = "0123456789abcdef";
    out += '"';
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (b < 0x20 || b > 0x7e) {
            out += "\\x";
            out += digits[b >> 4];
            out += digits[b & 0x0f];
        } else {
            out += c;
        }
    }
    out += '"';
}

// Reads a quoted, escaped text starting at line[pos] == '"'; pos ends after the closing quote.
bool ReadQuoted(std::string_view line, std::size_t& pos, std::string& out, std::string& error) {
    out.clear();
    ++pos;
    while (pos < line.size()) {
        const char c = line[pos++];
        if (c == '"') return true;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (pos >= line.size()) break;
        const char e = line[pos++];
        if (e == '\\' || e == '"') {
            out += e;
        } else if (e == 'x' && pos + 1 < line.size() && IsHex(line[pos]) && IsHex(line[pos + 1])) {
            out += static_cast<char>(HexValue(line[pos]) * 16 + HexValue(line[pos + 1]));
            pos += 2;
        } else {
            error = "unknown escape in a quoted text";
            return false;
        }
    }
    error = "quoted text without its closing quote";
    return false;
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool ParseValueLine(std::string_view line, SettingsValue& value, std::string& error) {
    std::size_t pos = 0;
    if (line[0] == '@') {
        value.name.clear();
        pos = 1;
    } else if (line[0] == '"') {
        if (!ReadQuoted(line, pos, value.name, error)) return false;
    } else {
        error = "expected a section or a value";
        return false;
    }
    if (pos >= line.size() || line[pos] != '=') {
        error = "expected '=' after the value name";
        return false;
    }
    ++pos;
    const std::string_view rest = line.substr(pos);
    if (rest.starts_with("dword:")) {
        const std::string_view digits = rest.substr(6);
        if (digits.empty() || digits.size() > 8 ||
            !std::all_of(digits.begin(), digits.end(), IsHex)) {
            error = "a dword needs one to eight hexadecimal digits";
            return false;
        }
        std::uint32_t n = 0;
        for (char c : digits)
            n = n * 16 + static_cast<std::uint32_t>(HexValue(c));
        value.type = SettingsValue::Type::Integer;
        value.integer = static_cast<std::int32_t>(n);
        return true;
    }
    if (!rest.starts_with("\"")) {
        error = "a value is either dword:hhhhhhhh or a quoted text";
        return false;
    }
    value.type = SettingsValue::Type::String;
    if (!ReadQuoted(line, pos, value.text, error)) return false;
    if (pos != line.size()) {
        error = "text after the closing quote";
        return false;
    }
    return true;
}

} // namespace

bool SettingsFile::SameName(std::string_view a, std::string_view b) {
    return SameAsciiText(a, b);
}

bool SettingsFile::NormaliseKeyPath(std::string_view path, std::string& normalised) {
    if (path.starts_with("\\")) path.remove_prefix(1);
    if (path.ends_with("\\")) path.remove_suffix(1);
    if (path.empty()) return false;
    std::size_t partLength = 0;
    for (char c : path) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
        if (c == '\\') {
            if (partLength == 0) return false;
            partLength = 0;
        } else {
            ++partLength;
        }
    }
    if (partLength == 0) return false;
    normalised.assign(path);
    return true;
}

SettingsKeyData* SettingsFile::FindKey(std::string_view path) {
    for (auto& key : keys)
        if (SameName(key.path, path)) return &key;
    return nullptr;
}

bool SettingsFile::KeyExists(std::string_view path) const {
    for (const auto& key : keys) {
        if (SameName(key.path, path)) return true;
        if (key.path.size() > path.size() && key.path[path.size()] == '\\' &&
            SameName(std::string_view(key.path).substr(0, path.size()), path))
            return true;
    }
    return false;
}

const SettingsValue* SettingsFile::FindValue(const SettingsKeyData& key, std::string_view name) {
    for (const auto& v : key.values)
        if (SameName(v.name, name)) return &v;
    return nullptr;
}

SettingsValue* SettingsFile::FindValue(SettingsKeyData& key, std::string_view name) {
    for (auto& v : key.values)
        if (SameName(v.name, name)) return &v;
    return nullptr;
}

bool SettingsFile::Parse(std::string_view text, std::string& error) {
    keys.clear();
    damagedLines = 0;
    firstDamage.clear();
    if (text.size() > kMaxSize) {
        error = "larger than a settings file can be";
        return false;
    }
    // Editors may put a UTF-8 byte order mark before the first line of a hand-edited file.
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    bool headerSeen = false;
    SettingsKeyData* current = nullptr;
    bool skippingSection = false; // below a section line that could not be read
    std::size_t lineNumber = 0;
    std::size_t start = 0;
    auto fail = [&](const std::string& what) {
        keys.clear();
        damagedLines = 0;
        firstDamage.clear();
        error = "line " + std::to_string(lineNumber) + ": " + what;
        return false;
    };
    auto skip = [&](const std::string& what) {
        if (damagedLines++ == 0) firstDamage = "line " + std::to_string(lineNumber) + ": " + what;
    };
    auto skipSection = [&](const std::string& what) {
        skip(what);
        current = nullptr;
        skippingSection = true;
    };
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (line.ends_with("\r")) line.remove_suffix(1);
        line = TrimBlanks(line);
        if (line.empty() || line[0] == ';') continue;
        if (!headerSeen) {
            if (line != kHeader)
                return fail("not a Brevon settings file (first line must read \"" +
                            std::string(kHeader) + "\")");
            headerSeen = true;
            continue;
        }
        if (line[0] == '[') {
            if (line.back() != ']') {
                skipSection("a section line must end with ']'");
                continue;
            }
            std::string_view path = line.substr(1, line.size() - 2);
            if (!path.starts_with(kRoot) ||
                (path.size() > kRoot.size() && path[kRoot.size()] != '\\')) {
                skipSection("a section must lie below " + std::string(kRoot));
                continue;
            }
            std::string normalised;
            if (!NormaliseKeyPath(path.substr(kRoot.size()), normalised)) {
                skipSection("malformed key path");
                continue;
            }
            // The first section of a key wins; a repeated one is skipped whole.
            if (FindKey(normalised) != nullptr) {
                skipSection("the same key appears twice");
                continue;
            }
            keys.push_back(SettingsKeyData{std::move(normalised), {}});
            current = &keys.back();
            skippingSection = false;
            continue;
        }
        if (current == nullptr) {
            if (!skippingSection) skip("a value before the first section");
            continue;
        }
        SettingsValue value;
        std::string what;
        if (!ParseValueLine(line, value, what)) {
            skip(what);
            continue;
        }
        if (FindValue(*current, value.name) != nullptr) {
            skip("the same value name appears twice in one key");
            continue;
        }
        current->values.push_back(std::move(value));
    }
    if (!headerSeen) {
        lineNumber = std::max<std::size_t>(lineNumber, 1);
        return fail("not a Brevon settings file (empty)");
    }
    return true;
}

std::string SettingsFile::Serialize() const {
    std::string out;
    out += kHeader;
    out += "\n; Written by Brevon. Edit only while Brevon is not running.\n";
    for (const auto& key : keys) {
        out += "\n[";
        out += kRoot;
        out += '\\';
        out += key.path;
        out += "]\n";
        for (const auto& v : key.values) {
            if (v.name.empty())
                out += '@';
            else
                AppendQuoted(out, v.name);
            out += '=';
            if (v.type == SettingsValue::Type::Integer) {
                char buf[16];
                std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<std::uint32_t>(v.integer));
                out += buf;
            } else {
                AppendQuoted(out, v.text);
            }
            out += '\n';
        }
    }
    return out;
}

} // namespace platform
