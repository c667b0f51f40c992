#include <korp/KorpCharset.h>

#include <array>
#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdint>
#include <unordered_map>

#ifdef _WIN32
#include <string>
#include <windows.h>
#else
#include <iconv.h>
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

#ifndef _WIN32
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
    static const locale_t utf8Locale =
        newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    const locale_t previous =
        utf8Locale != static_cast<locale_t>(0) ? uselocale(utf8Locale) : static_cast<locale_t>(0);
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
    if (utf8Locale != static_cast<locale_t>(0)) uselocale(previous);
    if (result.empty()) result.push_back('?');
    cache.emplace(cp, result);
    return result;
}
#else
// Windows has no iconv: the system's code pages convert, and transliteration goes through
// Unicode's compatibility and canonical decompositions (ligatures split, accents dropped).
std::string Transliterate(char32_t cp) {
    thread_local std::unordered_map<char32_t, std::string> cache;
    const auto it = cache.find(cp);
    if (it != cache.end()) return it->second;

    std::wstring wide;
    if (cp >= 0x10000) {
        wide += static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
        wide += static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
        wide += static_cast<wchar_t>(cp);
    }
    std::string result;
    for (const NORM_FORM form : {NormalizationKC, NormalizationKD}) {
        wchar_t decomposed[32];
        const int n =
            ::NormalizeString(form, wide.data(), static_cast<int>(wide.size()), decomposed, 32);
        if (n <= 0) continue;
        std::wstring text;
        for (int i = 0; i < n; ++i)
            if (decomposed[i] < 0x300 || decomposed[i] > 0x36F) text += decomposed[i];
        if (text.empty()) continue;
        char out[64];
        BOOL usedDefault = FALSE;
        const int m = ::WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, text.data(),
                                            static_cast<int>(text.size()), out, sizeof out, "?",
                                            &usedDefault);
        if (m > 0 && !usedDefault) {
            result.assign(out, static_cast<std::size_t>(m));
            break;
        }
    }
    if (result.empty()) {
        // Letters with a stroke have no decomposition; their base letter is the closest.
        static constexpr std::pair<char32_t, char> kStroked[] = {
            {0x0110, 'D'}, {0x0111, 'd'}, {0x0126, 'H'}, {0x0127, 'h'}, {0x0131, 'i'},
            {0x0141, 'L'}, {0x0142, 'l'}, {0x0166, 'T'}, {0x0167, 't'}, {0x0180, 'b'},
            {0x0197, 'I'}, {0x01B5, 'Z'}, {0x01B6, 'z'}, {0x01E4, 'G'}, {0x01E5, 'g'}};
        for (const auto& [letter, base] : kStroked)
            if (letter == cp) result = base;
    }
    if (result.empty()) result.push_back('?');
    cache.emplace(cp, result);
    return result;
}
#endif

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

#ifdef _WIN32
// The Windows code page of a charset name as mail declares it; 0 when there is none.
UINT CodePageOf(const std::string& cs) {
    static constexpr std::pair<std::string_view, UINT> kNames[] = {
        {"utf-8", CP_UTF8},      {"utf8", CP_UTF8},    {"utf-16", 1201},
        {"utf-16be", 1201},      {"utf-16le", 1200},   {"utf-32", 12001},
        {"utf-32be", 12001},     {"utf-32le", 12000},  {"koi8-r", 20866},
        {"koi8-u", 21866},       {"shift_jis", 932},   {"shift-jis", 932},
        {"sjis", 932},           {"windows-31j", 932}, {"euc-jp", 20932},
        {"iso-2022-jp", 50220},  {"gb2312", 936},      {"gbk", 936},
        {"gb18030", 54936},      {"big5", 950},        {"euc-kr", 949},
        {"ks_c_5601-1987", 949}, {"macintosh", 10000}, {"mac", 10000},
        {"iso-8859-8-i", 28598}, {"tis-620", 874},     {"viscii", 1258}};
    for (const auto& [name, page] : kNames)
        if (cs == name) return page;
    auto numberAfter = [&cs](std::string_view prefix) -> UINT {
        if (!cs.starts_with(prefix) || cs.size() == prefix.size() || cs.size() > prefix.size() + 5)
            return 0;
        UINT n = 0;
        for (const char c : std::string_view(cs).substr(prefix.size())) {
            if (c < '0' || c > '9') return 0;
            n = n * 10 + static_cast<UINT>(c - '0');
        }
        return n;
    };
    for (const std::string_view prefix : {"iso-8859-", "iso8859-", "iso_8859-", "iso8859"}) {
        const UINT part = numberAfter(prefix);
        if ((part >= 1 && part <= 11) || part == 13 || part == 15) return 28590 + part;
        if (part != 0) return 0;
    }
    for (const std::string_view prefix : {"windows-", "cp", "ibm", "x-cp"})
        if (const UINT page = numberAfter(prefix)) return page;
    return 0;
}

// One well-formed UTF-8 sequence at p (as LooksLikeUtf8 judges), its length; 0 when there is none.
std::size_t Utf8Sequence(const unsigned char* p, const unsigned char* end, char32_t& cp) {
    const unsigned c = *p;
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    std::size_t n;
    unsigned lo = 0x80, hi = 0xBF;
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
        return 0;
    }
    if (static_cast<std::size_t>(end - p) <= n || p[1] < lo || p[1] > hi) return 0;
    cp = c & (0x3F >> n);
    for (std::size_t k = 1; k <= n; ++k) {
        if (p[k] < 0x80 || p[k] > 0xBF) return 0;
        cp = (cp << 6) | (p[k] & 0x3F);
    }
    return n + 1;
}

// Decodes text in the code page into Windows-1252 as the iconv loop does elsewhere: a byte that
// starts no valid character is kept as it is. False when Windows does not know the code page.
bool DecodeCodePage(std::string_view text, UINT page, std::string& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();
    if (page == CP_UTF8) {
        while (p < end) {
            char32_t cp = 0;
            const std::size_t n = Utf8Sequence(p, end, cp);
            if (n == 0) {
                out += static_cast<char>(*p++);
                continue;
            }
            AppendCodePoint(out, cp);
            p += n;
        }
        return true;
    }
    if (page == 1200 || page == 1201 || page == 12000 || page == 12001) {
        const bool wide = page >= 12000;
        bool big = page == 1201 || page == 12001;
        const std::size_t unit = wide ? 4 : 2;
        auto read = [&](const unsigned char* q) {
            std::uint32_t v = 0;
            for (std::size_t i = 0; i < unit; ++i)
                v |= static_cast<std::uint32_t>(q[i]) << (8 * (big ? unit - 1 - i : i));
            return v;
        };
        // A byte order mark decides the order and is not text.
        if (static_cast<std::size_t>(end - p) >= unit) {
            big = true;
            if (read(p) == 0xFEFF) {
                p += unit;
            } else {
                big = false;
                if (read(p) == 0xFEFF)
                    p += unit;
                else
                    big = page == 1201 || page == 12001;
            }
        }
        while (static_cast<std::size_t>(end - p) >= unit) {
            std::uint32_t v = read(p);
            std::size_t used = unit;
            if (!wide && v >= 0xD800 && v <= 0xDBFF && end - p >= 4) {
                const std::uint32_t low = read(p + 2);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    v = 0x10000 + ((v - 0xD800) << 10) + (low - 0xDC00);
                    used = 4;
                }
            }
            if ((v >= 0xD800 && v <= 0xDFFF) || v > 0x10FFFF) {
                out += static_cast<char>(*p++);
                continue;
            }
            AppendCodePoint(out, static_cast<char32_t>(v));
            p += used;
        }
        while (p < end)
            out += static_cast<char>(*p++);
        return true;
    }
    if (!::IsValidCodePage(page)) return false;
    // Code pages with shift states take no MB_ERR_INVALID_CHARS: those convert whole.
    const bool stateful = (page >= 50220 && page <= 50229) || page == 54936 || page == 52936;
    const DWORD flags = stateful ? 0 : MB_ERR_INVALID_CHARS;
    auto widen = [&](const unsigned char* from, std::size_t length, std::wstring& wide) {
        const int n = ::MultiByteToWideChar(page, flags, reinterpret_cast<const char*>(from),
                                            static_cast<int>(length), nullptr, 0);
        if (n <= 0) return false;
        wide.resize(static_cast<std::size_t>(n));
        return ::MultiByteToWideChar(page, flags, reinterpret_cast<const char*>(from),
                                     static_cast<int>(length), wide.data(), n) == n;
    };
    auto append = [&out](const std::wstring& wide) {
        for (std::size_t i = 0; i < wide.size(); ++i) {
            char32_t cp = wide[i];
            if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
                wide[i + 1] <= 0xDFFF)
                cp = 0x10000 + ((cp - 0xD800) << 10) + (wide[++i] - 0xDC00);
            AppendCodePoint(out, cp);
        }
    };
    std::wstring wide;
    if (text.size() > static_cast<std::size_t>(INT_MAX)) return false;
    if (stateful || widen(p, text.size(), wide)) {
        if (stateful && !widen(p, text.size(), wide)) return false;
        append(wide);
        return true;
    }
    // Something in it is invalid: character by character, the shortest valid sequence each time.
    while (p < end) {
        std::size_t n = 1;
        while (n <= 4 && n <= static_cast<std::size_t>(end - p) && !widen(p, n, wide))
            ++n;
        if (n > 4 || n > static_cast<std::size_t>(end - p)) {
            out += static_cast<char>(*p++);
            continue;
        }
        append(wide);
        p += n;
    }
    return true;
}
#endif

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
#ifdef _WIN32
    std::string out;
    out.reserve(text.size());
    const UINT page = CodePageOf(cs);
    if (page == 0 || !DecodeCodePage(text, page, out)) return std::string(text);
#else
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
#endif
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
