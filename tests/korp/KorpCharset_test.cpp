#include <korp/KorpCharset.h>

#include <string>

#include <gtest/gtest.h>

using namespace korp;

TEST(Charset, DeclaredCharsetsAreConvertedToWindows1252) {
    struct Case {
        std::string charset;
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        // Compatible or absent charsets keep every byte.
        {"", "caf\xE9 \x93x\x94", "caf\xE9 \x93x\x94"},
        {"ISO-8859-1", "caf\xE9", "caf\xE9"},
        {"windows-1252", "\x80 5", "\x80 5"},
        {"us-ascii", "caf\xE9", "caf\xE9"},
        // UTF-8: Latin letters, the euro sign and dashes find their byte.
        {"utf-8",
         "caf\xC3\xA9 \xE2\x82\xAC"
         "5 \xE2\x80\x93 Zo\xC3\xAB",
         "caf\xE9 \x80"
         "5 \x96 Zo\xEB"},
        {"UTF-8",
         "\xE2\x80\x9Cgoed\xE2\x80\x9D \xE2\x80\x98mooi\xE2\x80\x99 \xE2\x80\x9Ez\xE2\x80\x9C",
         "\"goed\" 'mooi' \"z\""},
        {"utf-8",
         "\xC5\x81\xC3\xB3"
         "d\xC5\xBA \xEF\xAC\x81",
         "L\xF3"
         "dz fi"},
        {"utf-8", "\xE4\xB8\xAD", "?"},
        // Bytes that are invalid in the declared charset stay as they are.
        {"utf-8", "caf\xE9 en \xC3\xA9", "caf\xE9 en \xE9"},
        {"utf-8", "eind \xC3", "eind \xC3"},
        {"iso-8859-15", "\xA4 5", "\x80 5"},
        {"utf-16le", std::string("h\0i\0", 4), "hi"},
        {"utf-8*nl", "\xC3\xA9", "\xE9"},
        {"no-such-charset", "caf\xC3\xA9", "caf\xC3\xA9"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ConvertToWindows1252(c.in, c.charset), c.out) << c.charset << ": " << c.in;
}

TEST(Charset, RawHeaderBytesAreReadAsUtf8OnlyWhenTheyAreValidUtf8) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"Caf\xC3\xA9 \xE2\x80\x9Copen\xE2\x80\x9D", "Caf\xE9 \"open\""},
        {"Caf\xE9 open", "Caf\xE9 open"},                     // Latin-1 stays
        {"Caf\xC3\xA9 en caf\xE9", "Caf\xC3\xA9 en caf\xE9"}, // mixed: not UTF-8, kept
        {"\xC0\xAF overlong", "\xC0\xAF overlong"},
        {"\xED\xA0\x80 surrogate", "\xED\xA0\x80 surrogate"},
        {"eind \xC3", "eind \xC3"},
        {"ascii", "ascii"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RawHeaderToWindows1252(c.in), c.out) << c.in;
}

TEST(Charset, IsReadFromTheContentTypeLine) {
    EXPECT_EQ(CharsetOfContentType("Content-Type: text/plain; charset=UTF-8"), "UTF-8");
    EXPECT_EQ(CharsetOfContentType("Content-Type: text/plain; CHARSET = \"utf-8\"; format=flowed"),
              "utf-8");
    EXPECT_EQ(CharsetOfContentType("Content-Type: text/plain; charset=utf-8 (comment)"), "utf-8");
    EXPECT_EQ(CharsetOfContentType("Content-Type: text/plain"), "");
}
