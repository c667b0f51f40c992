#include <korp/KorpCharset.h>

#include <unordered_map>

#include <encoding/Cp1252.h>
#include <encoding/Utf8.h>
#include <korp/korp_util.h>
#include <platform/Charsets.h>

namespace korp {

namespace {

// The closest Windows-1252 text for a character outside it, as the system transliterates.
std::string Transliterate(char32_t cp) {
    thread_local std::unordered_map<char32_t, std::string> cache;
    const auto it = cache.find(cp);
    if (it != cache.end()) return it->second;
    std::string result = platform::TransliterateToCp1252(cp);
    if (result.empty()) result.push_back('?');
    cache.emplace(cp, result);
    return result;
}

void AppendCodePoint(std::string& out, char32_t cp) {
    switch (cp) {
    // Curly quotes become straight ones: the speech engine and the preprocessor know those.
    case 0x2018:
    case 0x2019:
    case 0x201A:
    case 0x201B:
    case 0x2032:
        out += '\'';
        return;
    case 0x201C:
    case 0x201D:
    case 0x201E:
    case 0x201F:
    case 0x2033:
        out += '"';
        return;
    default:
        break;
    }
    // The undefined bytes' controls are no text: those go to the transliteration as well.
    if (const int byte = encoding::UnicodeToCp1252(cp, encoding::Undefined::AsReplacement);
        byte >= 0)
        out += static_cast<char>(byte);
    else
        out += Transliterate(cp);
}

bool AllAscii(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Charsets that keep ASCII bytes as ASCII, so pure ASCII text needs no conversion.
bool AsciiCompatible(const std::string& cs) {
    return cs.starts_with("utf-8") || cs.starts_with("utf8") || cs.starts_with("iso-8859") ||
           cs.starts_with("iso8859") || cs.starts_with("windows-") || cs.starts_with("cp") ||
           cs.starts_with("koi8");
}

std::string NormalisedName(std::string_view charset) {
    std::string cs = LowerCase(Trim(charset));
    // RFC 2231 allows a language after "*" ("utf-8*nl").
    const std::size_t star = cs.find('*');
    if (star != std::string::npos) cs.erase(star);
    return cs;
}

// True when text holds at least one multibyte sequence and nothing that is not well-formed
// UTF-8 (RFC 3629: no overlong forms, no surrogates, nothing above U+10FFFF).
bool LooksLikeUtf8(std::string_view text) {
    bool multibyte = false;
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const std::size_t length = encoding::DecodeUtf8(text, i, cp);
        if (length == 0) return false;
        multibyte = multibyte || length > 1;
        i += length;
    }
    return multibyte;
}

} // namespace

std::string RawHeaderToWindows1252(std::string_view value) {
    return LooksLikeUtf8(value) ? ConvertToWindows1252(value, "utf-8") : std::string(value);
}

bool IsWindows1252Compatible(std::string_view charset) {
    const std::string cs = NormalisedName(charset);
    static constexpr std::string_view kSame[] = {
        "",       "us-ascii", "ascii",       "iso-8859-1",     "iso8859-1", "iso_8859-1",
        "latin1", "latin-1",  "l1",          "windows-1252",   "cp1252",    "x-cp1252",
        "cp819",  "ibm819",   "csisolatin1", "ansi_x3.4-1968", "us",        "iso-ir-100"};
    for (const std::string_view name : kSame)
        if (cs == name) return true;
    return false;
}

std::string ConvertToWindows1252(std::string_view text, std::string_view charset) {
    if (IsWindows1252Compatible(charset) || text.empty()) return std::string(text);
    const std::string cs = NormalisedName(charset);
    if (AsciiCompatible(cs) && AllAscii(text)) return std::string(text);
    std::string out;
    out.reserve(text.size());
    // A byte the charset does not explain is kept as it is.
    if (!platform::DecodeCharset(
            text, cs, [&out](char32_t cp) { AppendCodePoint(out, cp); },
            [&out](char byte) { out += byte; }))
        return std::string(text); // unknown charset: keep the bytes
    return out;
}

std::string CharsetOfContentType(std::string_view contentTypeLine) {
    const std::string upper = UpperCase(contentTypeLine);
    const std::size_t key = upper.find("CHARSET");
    if (key == std::string::npos) return {};
    std::string_view value = Trim(contentTypeLine.substr(key + 7));
    if (!value.starts_with('=')) return {};
    value = Trim(value.substr(1));
    if (value.starts_with('"')) {
        value.remove_prefix(1);
        value = value.substr(0, value.find('"'));
    }
    value = value.substr(0, value.find_first_of("; \t"));
    return std::string(Trim(value));
}

} // namespace korp
