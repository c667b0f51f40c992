#include <platform/SettingsFile.h>

#include <string>

#include <gtest/gtest.h>

using platform::SettingsFile;
using platform::SettingsValue;

namespace {

std::string AllBytes() {
    std::string s;
    for (int b = 0; b < 256; ++b)
        s += static_cast<char>(b);
    return s;
}

} // namespace

TEST(SettingsFile, EveryByteOfNamesAndTextsSurvivesSerializeAndParse) {
    SettingsFile file;
    file.keys.push_back({"SOFTWARE\\Tolvani Speech Technology\\Brevon",
                         {{"X", SettingsValue::Type::Integer, -1, {}},
                          {"Interval in minuten", SettingsValue::Type::Integer, 5, {}},
                          {"Password", SettingsValue::Type::String, 0, AllBytes()},
                          {AllBytes(), SettingsValue::Type::String, 0, "\"quoted\\\""},
                          {"", SettingsValue::Type::Integer, 0x7fffffff, {}}}});
    file.keys.push_back({"Other", {}});
    const std::string text = file.Serialize();
    for (char c : text) // plain ASCII, one value a line
        EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7f)) << static_cast<int>(c);

    SettingsFile back;
    std::string error;
    ASSERT_TRUE(back.Parse(text, error)) << error;
    ASSERT_EQ(back.keys.size(), 2u);
    ASSERT_EQ(back.keys[0].values.size(), 5u);
    EXPECT_EQ(back.keys[0].path, file.keys[0].path);
    for (std::size_t i = 0; i < 5; ++i) {
        const auto& a = file.keys[0].values[i];
        const auto& b = back.keys[0].values[i];
        EXPECT_EQ(a.name, b.name);
        EXPECT_EQ(a.type, b.type);
        EXPECT_EQ(a.integer, b.integer);
        EXPECT_EQ(a.text, b.text);
    }
    EXPECT_EQ(back.keys[1].path, "Other");
    EXPECT_EQ(back.Serialize(), text);
}

TEST(SettingsFile, AcceptsHandEditsCommentsBlankLinesCrLfShortDwordsAndAByteOrderMark) {
    const std::string text = "\xEF\xBB\xBF; a comment first\r\n"
                             "Brevon Settings Version 1\r\n"
                             "\r\n"
                             "[HKEY_CURRENT_USER\\A\\B]\r\n"
                             "  \"n\"=dword:A  \r\n"
                             "; between\r\n"
                             "\"t\"=\"x\\x00y\"\r\n";
    SettingsFile file;
    std::string error;
    ASSERT_TRUE(file.Parse(text, error)) << error;
    ASSERT_EQ(file.keys.size(), 1u);
    EXPECT_EQ(file.keys[0].path, "A\\B");
    EXPECT_EQ(file.keys[0].values[0].integer, 10);
    EXPECT_EQ(file.keys[0].values[1].text, std::string("x\0y", 3));
    EXPECT_TRUE(file.KeyExists("a"));
    EXPECT_TRUE(file.KeyExists("A\\b"));
    EXPECT_FALSE(file.KeyExists("A\\B\\C"));
    EXPECT_FALSE(file.KeyExists("A\\"));
}

TEST(SettingsFile, RejectsMalformedTextNamingTheLine) {
    const std::string head = "Brevon Settings Version 1\n[HKEY_CURRENT_USER\\K]\n";
    struct Case {
        std::string text;
        std::string error;
    };
    const Case cases[] = {
        {"", "line 1: not a Brevon settings file (empty)"},
        {"REGEDIT4\n", "line 1: not a Brevon settings file"},
        {"Brevon Settings Version 1\n\"x\"=dword:1\n", "line 2: a value before the first section"},
        {"Brevon Settings Version 1\n[HKEY_LOCAL_MACHINE\\K]\n", "line 2: a section must lie"},
        {"Brevon Settings Version 1\n[HKEY_CURRENT_USERX\\K]\n", "line 2: a section must lie"},
        {"Brevon Settings Version 1\n[HKEY_CURRENT_USER\\K\n", "line 2: a section line must end"},
        {"Brevon Settings Version 1\n[HKEY_CURRENT_USER\\A\\\\B]\n", "line 2: malformed key path"},
        {"Brevon Settings Version 1\n[HKEY_CURRENT_USER]\n", "line 2: malformed key path"},
        {head + "[HKEY_CURRENT_USER\\k]\n", "line 3: the same key appears twice"},
        {head + "\"x\"=dword:1\n\"X\"=\"a\"\n", "line 4: the same value name appears twice"},
        {head + "x=dword:1\n", "line 3: expected a section or a value"},
        {head + "\"x\"dword:1\n", "line 3: expected '='"},
        {head + "\"x\"=dword:\n", "line 3: a dword needs"},
        {head + "\"x\"=dword:123456789\n", "line 3: a dword needs"},
        {head + "\"x\"=dword:12g\n", "line 3: a dword needs"},
        {head + "\"x\"=hex:01,02\n", "line 3: a value is either"},
        {head + "\"x\"=\"abc\n", "line 3: quoted text without its closing quote"},
        {head + "\"x\"=\"a\\qb\"\n", "line 3: unknown escape"},
        {head + "\"x\"=\"a\\x4\"\n", "line 3: unknown escape"},
        {head + "\"x\"=\"a\"b\n", "line 3: text after the closing quote"},
        {head + "\"x\\\n", "line 3: quoted text without its closing quote"},
        {"Brevon Settings Version 1\n" + std::string(SettingsFile::kMaxSize, ';'), "larger than"},
    };
    for (const auto& c : cases) {
        SettingsFile file;
        std::string error;
        EXPECT_FALSE(file.Parse(c.text, error)) << c.text;
        EXPECT_TRUE(error.starts_with(c.error)) << "got: " << error << "\nfor: " << c.text;
        EXPECT_TRUE(file.keys.empty());
    }
}

TEST(SettingsFile, NormalisesKeyPathsTheRegistryWay) {
    const struct {
        const char* in;
        const char* out; // nullptr: refused
    } cases[] = {
        {"\\SOFTWARE\\Tolvani Speech Technology\\Brevon",
         "SOFTWARE\\Tolvani Speech Technology\\Brevon"},
        {"SOFTWARE\\Brevon\\", "SOFTWARE\\Brevon"},
        {"", nullptr},
        {"\\", nullptr},
        {"A\\\\B", nullptr},
        {"A\tB", nullptr},
    };
    for (const auto& c : cases) {
        std::string out;
        const bool ok = SettingsFile::NormaliseKeyPath(c.in, out);
        EXPECT_EQ(ok, c.out != nullptr) << c.in;
        if (ok && c.out) {
            EXPECT_EQ(out, c.out);
        }
    }
}
