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

TEST(SettingsFile, RefusesTextThatIsNoSettingsFileNamingTheLine) {
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"", "line 1: not a Brevon settings file (empty)"},
        {"; only a comment\n\n", "line 2: not a Brevon settings file (empty)"},
        {"REGEDIT4\n", "line 1: not a Brevon settings file"},
        {"Brevon Sett", "line 1: not a Brevon settings file"}, // cut short in the header
        {std::string("\x89PNG\r\n\x1a\n\0\0", 10), "line 1: not a Brevon settings file"},
        {"Brevon Settings Version 1\n" + std::string(SettingsFile::kMaxSize, ';'), "larger than"},
    };
    for (const auto& c : cases) {
        SettingsFile file;
        std::string error;
        EXPECT_FALSE(file.Parse(c.text, error)) << c.text;
        EXPECT_TRUE(error.starts_with(c.error)) << "got: " << error << "\nfor: " << c.text;
        EXPECT_TRUE(file.keys.empty());
        EXPECT_EQ(file.damagedLines, 0u);
    }
}

// One bad line costs the values on it (a bad section line: the values below it), no more.
TEST(SettingsFile, SkipsALineItCannotReadAndKeepsEverythingElse) {
    const struct {
        std::string bad;
        std::string error;
        bool section; // the values after it, up to the next section, go with it
    } cases[] = {
        {"[HKEY_LOCAL_MACHINE\\K]", "line 4: a section must lie", true},
        {"[HKEY_CURRENT_USERX\\K]", "line 4: a section must lie", true},
        {"[HKEY_CURRENT_USER\\K", "line 4: a section line must end", true},
        {"[HKEY_CURRENT_USER\\A\\\\B]", "line 4: malformed key path", true},
        {"[HKEY_CURRENT_USER]", "line 4: malformed key path", true},
        {"[HKEY_CURRENT_USER\\k]", "line 4: the same key appears twice", true},
        {"\"before\"=\"a\"", "line 4: the same value name appears twice", false},
        {"x=dword:1", "line 4: expected a section or a value", false},
        {"\"x\"dword:1", "line 4: expected '='", false},
        {"\"x\"=dword:", "line 4: a dword needs", false},
        {"\"x\"=dword:123456789", "line 4: a dword needs", false},
        {"\"x\"=dword:12g", "line 4: a dword needs", false},
        {"\"x\"=hex:01,02", "line 4: a value is either", false},
        {"\"x\"=\"abc", "line 4: quoted text without its closing quote", false},
        {"\"x\"=\"a\\qb\"", "line 4: unknown escape", false},
        {"\"x\"=\"a\\x4\"", "line 4: unknown escape", false},
        {"\"x\"=\"a\"b", "line 4: text after the closing quote", false},
        {"\"x\\", "line 4: quoted text without its closing quote", false},
        {std::string("\0\x01\xfe", 3), "line 4: expected a section or a value", false},
        {std::string(100000, '\x9c'), "line 4: expected a section or a value", false},
    };
    for (const auto& c : cases) {
        const std::string text = "Brevon Settings Version 1\n[HKEY_CURRENT_USER\\K]\n"
                                 "\"before\"=dword:1\n" +
                                 c.bad +
                                 "\n\"below\"=dword:2\n[HKEY_CURRENT_USER\\L]\n\"next\"=\"n\"\n";
        SettingsFile file;
        std::string error;
        ASSERT_TRUE(file.Parse(text, error)) << error;
        EXPECT_EQ(file.damagedLines, 1u) << c.error;
        EXPECT_TRUE(file.firstDamage.starts_with(c.error)) << "got: " << file.firstDamage;
        ASSERT_NE(file.FindKey("K"), nullptr) << c.error;
        const auto& k = *file.FindKey("K");
        ASSERT_NE(SettingsFile::FindValue(k, "before"), nullptr) << c.error;
        EXPECT_EQ(SettingsFile::FindValue(k, "before")->integer, 1) << "the first one stays";
        EXPECT_EQ(SettingsFile::FindValue(k, "below") == nullptr, c.section) << c.error;
        EXPECT_EQ(SettingsFile::FindValue(k, "x"), nullptr) << c.error;
        ASSERT_NE(file.FindKey("L"), nullptr) << c.error;
        EXPECT_EQ(file.FindKey("L")->values.size(), 1u);
    }
}

TEST(SettingsFile, CountsEverySkippedLineButNamesTheFirst) {
    SettingsFile file;
    std::string error;
    ASSERT_TRUE(file.Parse("Brevon Settings Version 1\n\"v\"=dword:1\n[HKEY_CURRENT_USER\\K]\n"
                           "junk\n\"ok\"=dword:2\n\"cut\"=\"short",
                           error));
    EXPECT_EQ(file.damagedLines, 3u);
    EXPECT_EQ(file.firstDamage, "line 2: a value before the first section");
    ASSERT_EQ(file.keys.size(), 1u);
    ASSERT_EQ(file.keys[0].values.size(), 1u);
    EXPECT_EQ(file.keys[0].values[0].name, "ok");
    // What is written back is whole again.
    SettingsFile again;
    ASSERT_TRUE(again.Parse(file.Serialize(), error));
    EXPECT_EQ(again.damagedLines, 0u);
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
