#include <platform/Charsets.h>

#include <climits>
#include <cstdint>
#include <string>
#include <utility>

#include <windows.h>

#include <encoding/Utf8.h>

namespace platform {

namespace {

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

// Decodes text in the code page as the iconv loop does on POSIX: a byte that starts no valid
// character is passed on as it is. False when Windows does not know the code page.
bool DecodeCodePage(std::string_view text, UINT page,
                    const std::function<void(char32_t)>& character,
                    const std::function<void(char)>& invalidByte) {
    const auto* const start = reinterpret_cast<const unsigned char*>(text.data());
    const auto* p = start;
    const auto* const end = p + text.size();
    if (page == CP_UTF8) {
        while (p < end) {
            char32_t cp = 0;
            const std::size_t n =
                encoding::DecodeUtf8(text, static_cast<std::size_t>(p - start), cp);
            if (n == 0) {
                invalidByte(static_cast<char>(*p++));
                continue;
            }
            character(cp);
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
                invalidByte(static_cast<char>(*p++));
                continue;
            }
            character(static_cast<char32_t>(v));
            p += used;
        }
        while (p < end)
            invalidByte(static_cast<char>(*p++));
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
    auto append = [&character](const std::wstring& wide) {
        for (std::size_t i = 0; i < wide.size(); ++i) {
            char32_t cp = wide[i];
            if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
                wide[i + 1] <= 0xDFFF)
                cp = 0x10000 + ((cp - 0xD800) << 10) + (wide[++i] - 0xDC00);
            character(cp);
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
            invalidByte(static_cast<char>(*p++));
            continue;
        }
        append(wide);
        p += n;
    }
    return true;
}

} // namespace

bool DecodeCharset(std::string_view text, const std::string& charset,
                   const std::function<void(char32_t)>& character,
                   const std::function<void(char)>& invalidByte) {
    const UINT page = CodePageOf(charset);
    return page != 0 && DecodeCodePage(text, page, character, invalidByte);
}

// Windows has no iconv: the system's code pages convert, and transliteration goes through
// Unicode's compatibility and canonical decompositions (ligatures split, accents dropped).
std::string TransliterateToCp1252(char32_t cp) {
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
    return result;
}

} // namespace platform
