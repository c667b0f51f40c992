#include <korp/KorpCharset.h>

#include <array>
#include <cerrno>
#include <clocale>
#include <cstdint>
#include <unordered_map>

#include <iconv.h>
#ifndef _WIN32
#include <locale.h>
#endif

#include <korp/korp_util.h>

namespace korp {

namespace {

// Windows-1252 bytes 0x80..0x9F and the characters they stand for (0 where undefined).
constexpr std::array<char32_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (ok()) iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

// Closest Windows-1252 text for a character outside it, through iconv's transliteration.
// That follows the C library's LC_CTYPE locale; the C locale knows almost nothing, so use C.UTF-8
// for this thread while asking.
std::string Transliterate(char32_t cp) {
    thread_local std::unordered_map<char32_t, std::string> cache;
    const auto it = cache.find(cp);
    if (it != cache.end()) return it->second;

    std::string result;
#ifndef _WIN32
    static const locale_t utf8Locale =
        newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    const locale_t previous =
        utf8Locale != static_cast<locale_t>(0) ? uselocale(utf8Locale) : static_cast<locale_t>(0);
#endif
    {
        Iconv cd("WINDOWS-1252//TRANSLIT", "UTF-32LE");
        if (cd.ok()) {
            char in[4] = {static_cast<char>(cp & 0xFF), static_cast<char>((cp >> 8) & 0xFF),
                          static_cast<char>((cp >> 16) & 0xFF),
                          static_cast<char>((cp >> 24) & 0xFF)};
            char out[32];
            char* inp = in;
            std::size_t inLeft = sizeof in;
            char* outp = out;
            std::size_t outLeft = sizeof out;
            if (iconv(cd.get(), &inp, &inLeft, &outp, &outLeft) != static_cast<std::size_t>(-1))
                result.assign(out, static_cast<std::size_t>(outp - out));
        }
    }
#ifndef _WIN32
    if (utf8Locale != static_cast<locale_t>(0)) uselocale(previous);
#endif
    if (result.empty()) result.push_back('?');
    cache.emplace(cp, result);
    return result;
}

void AppendCodePoint(std::string& out, char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        out += static_cast<char>(cp);
        return;
    }
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
    for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
        if (kCp1252High[i] == cp) {
            out += static_cast<char>(0x80 + i);
            return;
        }
    }
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
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();
    while (p < end) {
        const unsigned c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        std::size_t n = 0;
        unsigned lo = 0x80;
        unsigned hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (static_cast<std::size_t>(end - p) <= n) return false;
        if (p[1] < lo || p[1] > hi) return false;
        for (std::size_t k = 2; k <= n; ++k)
            if (p[k] < 0x80 || p[k] > 0xBF) return false;
        p += n + 1;
        multibyte = true;
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
    Iconv cd("UTF-32LE", cs.c_str());
    if (!cd.ok()) return std::string(text); // unknown charset: keep the bytes

    std::string out;
    out.reserve(text.size());
    std::array<char, 4096> units;
    auto flush = [&](const char* end) {
        for (const char* p = units.data(); p + 4 <= end; p += 4) {
            const auto* u = reinterpret_cast<const unsigned char*>(p);
            AppendCodePoint(out, static_cast<char32_t>(u[0] | (u[1] << 8) | (u[2] << 16) |
                                                       (static_cast<std::uint32_t>(u[3]) << 24)));
        }
    };
    char* in = const_cast<char*>(text.data()); // iconv's signature; the input is not written
    std::size_t inLeft = text.size();
    while (inLeft > 0) {
        char* outp = units.data();
        std::size_t outLeft = units.size();
        const std::size_t r = iconv(cd.get(), &in, &inLeft, &outp, &outLeft);
        flush(outp);
        if (r != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
        // An invalid or truncated sequence: keep its first byte as it is and go on after it.
        out += *in;
        ++in;
        --inLeft;
        iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
    }
    char* outp = units.data();
    std::size_t outLeft = units.size();
    iconv(cd.get(), nullptr, nullptr, &outp, &outLeft); // shift back for stateful charsets
    flush(outp);
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
