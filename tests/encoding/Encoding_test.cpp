#include <encoding/Cp1252.h>
#include <encoding/HtmlEntities.h>
#include <encoding/Utf8.h>

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace encoding {
namespace {

// The system's own reading of one Windows-1252 byte; 0 when it has none for it.
char32_t SystemCp1252(unsigned char byte) {
#ifdef _WIN32
    const char in = static_cast<char>(byte);
    wchar_t out = 0;
    return ::MultiByteToWideChar(1252, MB_ERR_INVALID_CHARS, &in, 1, &out, 1) == 1 ? out : 0;
#else
    const iconv_t cd = iconv_open("UTF-32LE", "WINDOWS-1252");
    if (cd == reinterpret_cast<iconv_t>(-1)) return 0;
    char in[1] = {static_cast<char>(byte)};
    unsigned char out[4] = {};
    char* inp = in;
    char* outp = reinterpret_cast<char*>(out);
    std::size_t inLeft = 1;
    std::size_t outLeft = sizeof out;
    const bool ok = iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    return ok ? out[0] | (out[1] << 8) | (out[2] << 16) | (char32_t{out[3]} << 24) : 0;
#endif
}

TEST(Cp1252, EveryByteConvertsBackUnchangedAndAgreesWithTheSystem) {
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<unsigned char>(b);
        const char32_t cp = Cp1252ToUnicode(byte);
        EXPECT_EQ(UnicodeToCp1252(cp), b) << b;
        // The C library knows nothing for the undefined bytes; Windows reads them as we do.
        if (const char32_t system = SystemCp1252(byte); system != 0 || b == 0) {
            EXPECT_EQ(cp, system) << b;
        } else {
            EXPECT_TRUE(IsCp1252Undefined(byte)) << b;
        }
    }
}

TEST(Cp1252, TheFiveUndefinedBytesAreTheirControlsOrNothing) {
    std::vector<int> undefined;
    for (int b = 0; b < 256; ++b)
        if (IsCp1252Undefined(static_cast<unsigned char>(b))) undefined.push_back(b);
    EXPECT_EQ(undefined, (std::vector<int>{0x81, 0x8D, 0x8F, 0x90, 0x9D}));
    for (const int b : undefined) {
        const auto byte = static_cast<unsigned char>(b);
        EXPECT_EQ(Cp1252ToUnicode(byte, Undefined::AsControls), char32_t(b));
        EXPECT_EQ(Cp1252ToUnicode(byte, Undefined::AsReplacement), char32_t{0xFFFD});
        EXPECT_EQ(UnicodeToCp1252(char32_t(b), Undefined::AsControls), b);
        EXPECT_EQ(UnicodeToCp1252(char32_t(b), Undefined::AsReplacement), -1);
    }
    // The other C1 controls are no characters of the code page at all.
    EXPECT_EQ(UnicodeToCp1252(0x80), -1);
    EXPECT_EQ(UnicodeToCp1252(0x9F), -1);
    EXPECT_EQ(UnicodeToCp1252(0x03B1), -1);
    EXPECT_EQ(Cp1252ToUtf8("\x80\x81 \xE9", Undefined::AsControls),
              "\xE2\x82\xAC\xC2\x81 \xC3\xA9");
    EXPECT_EQ(Cp1252ToUtf8("\x80\x81 \xE9", Undefined::AsReplacement),
              "\xE2\x82\xAC\xEF\xBF\xBD \xC3\xA9");
}

TEST(Utf8, DecodesWellFormedSequencesOnly) {
    struct Case {
        std::string bytes;
        std::size_t length; // 0: no sequence starts at the first byte
        char32_t cp;
    };
    const Case cases[] = {
        {"A", 1, 'A'},
        {std::string("\0", 1), 1, 0},
        {"\xC2\x80", 2, 0x80},
        {"\xDF\xBF", 2, 0x7FF},
        {"\xE0\xA0\x80", 3, 0x800},
        {"\xE2\x82\xAC", 3, 0x20AC},
        {"\xED\x9F\xBF", 3, 0xD7FF},
        {"\xEE\x80\x80", 3, 0xE000},
        {"\xEF\xBF\xBF", 3, 0xFFFF},
        {"\xF0\x90\x80\x80", 4, 0x10000},
        {"\xF4\x8F\xBF\xBF", 4, 0x10FFFF},
        // Overlong forms.
        {"\xC0\xAF", 0, 0},
        {"\xC1\xBF", 0, 0},
        {"\xE0\x80\xAF", 0, 0},
        {"\xE0\x9F\xBF", 0, 0},
        {"\xF0\x80\x80\xAF", 0, 0},
        {"\xF0\x8F\xBF\xBF", 0, 0},
        // Surrogates, and code points beyond U+10FFFF.
        {"\xED\xA0\x80", 0, 0},
        {"\xED\xBF\xBF", 0, 0},
        {"\xF4\x90\x80\x80", 0, 0},
        {"\xF5\x80\x80\x80", 0, 0},
        {"\xFF", 0, 0},
        // Cut short, broken, or no lead at all.
        {"\xC3", 0, 0},
        {"\xE2\x82", 0, 0},
        {"\xF0\x90\x80", 0, 0},
        {"\xE2\x28\xA1", 0, 0},
        {"\xC3\xC3\xA9", 0, 0},
        {"\x80", 0, 0},
        {"\xBF\x80", 0, 0},
    };
    for (const Case& c : cases) {
        char32_t cp = 0;
        EXPECT_EQ(DecodeUtf8(c.bytes, 0, cp), c.length) << c.bytes;
        if (c.length != 0) {
            EXPECT_EQ(cp, c.cp) << c.bytes;
        }
    }
    // A sequence is read where it stands, and cut short by the end of the text.
    char32_t cp = 0;
    EXPECT_EQ(DecodeUtf8("caf\xC3\xA9", 3, cp), 2u);
    EXPECT_EQ(cp, char32_t{0xE9});
    EXPECT_EQ(DecodeUtf8(std::string_view("caf\xC3\xA9", 4), 3, cp), 0u);
}

TEST(Utf8, EncodesEveryLengthAndDecodesBack) {
    struct Case {
        char32_t cp;
        std::string bytes;
    };
    const Case cases[] = {
        {0x7F, "\x7F"},
        {0xE9, "\xC3\xA9"},
        {0x7FF, "\xDF\xBF"},
        {0x20AC, "\xE2\x82\xAC"},
        {0xFFFD, "\xEF\xBF\xBD"},
        {0x1F600, "\xF0\x9F\x98\x80"},
        {0x10FFFF, "\xF4\x8F\xBF\xBF"},
    };
    for (const Case& c : cases) {
        std::string out;
        AppendUtf8(out, c.cp);
        EXPECT_EQ(out, c.bytes) << std::hex << static_cast<unsigned>(c.cp);
        char32_t back = 0;
        EXPECT_EQ(DecodeUtf8(out, 0, back), out.size());
        EXPECT_EQ(back, c.cp);
    }
}

TEST(HtmlEntities, Latin1NamesStandForTheirCharacters) {
    const std::pair<char32_t, std::string_view> cases[] = {
        {0xA0, "nbsp"},  {0xA9, "copy"},   {0xAD, "shy"},    {0xD7, "times"},
        {0xDF, "szlig"}, {0xE9, "eacute"}, {0xF7, "divide"}, {0xFF, "yuml"}};
    for (const auto& [cp, name] : cases)
        EXPECT_EQ(kLatin1EntityNames[cp - 0xA0], name);
    EXPECT_EQ(
        std::set<std::string_view>(kLatin1EntityNames.begin(), kLatin1EntityNames.end()).size(),
        kLatin1EntityNames.size());
}

} // namespace
} // namespace encoding
