#include <platform/GlobalKeys.h>

#include <string>

#include <gtest/gtest.h>

namespace {

using platform::KeyChord;
using platform::ParseKeyChord;

TEST(KeyChord, ReadsModifiersInAnyOrderAndCaseAndWritesThemInOne) {
    struct Case {
        const char* text;
        const char* written;
        std::uint32_t keysym;
        std::uint16_t virtualKey;
    };
    const Case cases[] = {
        {"Ctrl+Alt+Shift+P", "Ctrl+Alt+Shift+P", 0x70, 'P'},
        {"shift+alt+ctrl+p", "Ctrl+Alt+Shift+P", 0x70, 'P'},
        {"Meta+Ctrl+7", "Ctrl+Meta+7", 0x37, '7'},
        {"Ctrl+Alt+Shift+Left", "Ctrl+Alt+Shift+Left", 0xff51, 0x25},
        {"Alt+pgdown", "Alt+PgDown", 0xff56, 0x22},
        {"Ctrl+F12", "Ctrl+F12", 0xffc9, 0x7b},
        {"Ctrl+F24", "Ctrl+F24", 0xffd5, 0x87},
        {"Ctrl+Alt+,", "Ctrl+Alt+,", 0x2c, 0xbc},
        {"Ctrl+Alt+Comma", "Ctrl+Alt+,", 0x2c, 0xbc},
        {"Ctrl+Alt+.", "Ctrl+Alt+.", 0x2e, 0xbe},
        {"Ctrl+Space", "Ctrl+Space", 0x20, 0x20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto chord = ParseKeyChord(c.text);
        ASSERT_TRUE(chord);
        EXPECT_EQ(platform::KeyChordText(*chord), c.written);
        EXPECT_EQ(chord->keysym, c.keysym);
        EXPECT_EQ(chord->virtualKey, c.virtualKey);
        EXPECT_EQ(ParseKeyChord(platform::KeyChordText(*chord)), chord);
    }
}

TEST(KeyChord, RefusesWhatNamesNoUsableKey) {
    for (const char* text :
         {"", "P", "Left", "Ctrl+", "Ctrl+Ctrl+P", "Hyper+P", "Ctrl+PP", "Ctrl+F0", "Ctrl+F25",
          "Ctrl+F01", "Ctrl+\xe9", "Ctrl+Alt+Shift", "Ctrl+Alt+Shift+P+Q", "Ctrl++"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ParseKeyChord(text));
    }
}

} // namespace
