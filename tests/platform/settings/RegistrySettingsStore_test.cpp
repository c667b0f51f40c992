// The settings store on Windows against a real registry (Wine's under the tests): brevon's
// nineteen values with the types the Windows program stores them as, absent values and values
// that another program left with the wrong type.
#include <platform/SettingsStore.h>

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

namespace {

using platform::OpenMode;
using platform::SettingsErrc;

class RegistryStore : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = "SOFTWARE\\Brevon Tests\\" + std::to_string(::GetCurrentProcessId()) + " " +
                test->name();
        ::RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
    }
    void TearDown() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str()); }

    std::unique_ptr<platform::SettingsKey> Open(OpenMode mode) {
        auto opened = platform::OpenUserSettingsStore()->OpenKey("\\" + path_, mode);
        EXPECT_FALSE(opened.error) << opened.detail;
        return std::move(opened.key);
    }

    // What is stored, as the registry itself reports it.
    DWORD RawType(const char* name, DWORD& size) const {
        DWORD type = REG_NONE;
        size = 0;
        const LSTATUS status = ::RegGetValueA(HKEY_CURRENT_USER, path_.c_str(), name,
                                              RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &size);
        return status == ERROR_SUCCESS ? type : REG_NONE;
    }

    void SetRaw(const char* name, DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(::RegSetKeyValueA(HKEY_CURRENT_USER, path_.c_str(), name, type, data, size),
                  ERROR_SUCCESS);
    }

    std::string path_;
};

// Booleans are stored as DWORD 0 or 1, as the Windows program stores them.
struct Value {
    const char* name;
    std::variant<std::int32_t, std::string> data;
};

const std::vector<Value>& NineteenValues() {
    static const std::vector<Value> values = {
        {"X", -120},
        {"Y", 2147483647},
        {"XI", 10},
        {"YI", 40},
        {"Voice", 3},
        {"Pitch", -2},
        {"Volume", 80},
        {"Tempo", 0},
        {"Host", std::string("pop.example.nl")},
        {"User", std::string("jan@example.nl")},
        // The scrambled password may hold any byte, zero bytes too.
        {"Password", std::string("\x01\x00\xE9z\xFF", 5)},
        {"Interval in minuten", 5},
        {"NumSaveMails", 20},
        {"UseNumSaveMails", 1},
        {"Reverse", 0},
        {"SkipReply", 1},
        {"SemiService9X", 0},
        {"UseLid", 1},
        {"ShowWindow", 1},
    };
    return values;
}

TEST_F(RegistryStore, TheNineteenValuesComeBackWithTheirRegistryTypes) {
    ASSERT_EQ(NineteenValues().size(), 19u);
    {
        auto key = Open(OpenMode::Create);
        ASSERT_TRUE(key);
        for (const Value& v : NineteenValues()) {
            const std::error_code e =
                std::holds_alternative<std::int32_t>(v.data)
                    ? key->WriteInteger(v.name, std::get<std::int32_t>(v.data))
                    : key->WriteString(v.name, std::get<std::string>(v.data));
            EXPECT_FALSE(e) << v.name << ": " << e.message();
        }
        EXPECT_FALSE(key->Close());
    }
    auto key = Open(OpenMode::Existing);
    ASSERT_TRUE(key);
    for (const Value& v : NineteenValues()) {
        DWORD size = 0;
        const DWORD type = RawType(v.name, size);
        if (const auto* number = std::get_if<std::int32_t>(&v.data)) {
            EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD)) << v.name;
            EXPECT_EQ(size, 4u) << v.name;
            std::int32_t read = 0;
            EXPECT_FALSE(key->ReadInteger(v.name, read)) << v.name;
            EXPECT_EQ(read, *number) << v.name;
        } else {
            const std::string& text = std::get<std::string>(v.data);
            EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << v.name;
            EXPECT_EQ(size, text.size() + 1) << v.name << ": stored with its terminating zero";
            std::string read;
            EXPECT_FALSE(key->ReadString(v.name, read)) << v.name;
            EXPECT_EQ(read, text) << v.name;
        }
        EXPECT_TRUE(key->ValueExists(v.name)) << v.name;
    }
    // Names compare without case, as everywhere in the registry.
    std::string host;
    EXPECT_FALSE(key->ReadString("HOST", host));
    EXPECT_EQ(host, "pop.example.nl");
}

TEST_F(RegistryStore, AbsentValuesAndAbsentKeysAreReportedAsSuch) {
    auto missing = platform::OpenUserSettingsStore()->OpenKey("\\" + path_, OpenMode::Existing);
    EXPECT_EQ(missing.error, SettingsErrc::key_not_found);
    EXPECT_FALSE(missing.key);
    EXPECT_NE(missing.detail.find(path_), std::string::npos) << missing.detail;

    auto key = Open(OpenMode::Create);
    ASSERT_TRUE(key);
    std::int32_t number = 7;
    std::string text = "unchanged";
    EXPECT_EQ(key->ReadInteger("X", number), SettingsErrc::value_not_found);
    EXPECT_EQ(key->ReadString("Host", text), SettingsErrc::value_not_found);
    EXPECT_EQ(number, 7);
    EXPECT_EQ(text, "unchanged");
    EXPECT_FALSE(key->ValueExists("Host"));
    EXPECT_EQ(key->DeleteValue("Host"), SettingsErrc::value_not_found);

    ASSERT_FALSE(key->WriteString("Host", "pop.example.nl"));
    EXPECT_FALSE(key->DeleteValue("Host"));
    EXPECT_FALSE(key->ValueExists("Host"));
    DWORD size = 0;
    EXPECT_EQ(RawType("Host", size), static_cast<DWORD>(REG_NONE));
}

TEST_F(RegistryStore, ValuesOfAnotherTypeAreWrongTypeAndNotMisread) {
    auto key = Open(OpenMode::Create);
    ASSERT_TRUE(key);
    const char digits[] = "12";
    const std::uint64_t wide = 5;
    const unsigned char four[4] = {1, 0, 0, 0};
    const std::uint32_t one = 1;
    SetRaw("X", REG_SZ, digits, sizeof digits);
    SetRaw("Y", REG_BINARY, four, sizeof four);
    SetRaw("XI", REG_QWORD, &wide, sizeof wide);
    SetRaw("YI", REG_DWORD, four, 2); // a DWORD of the wrong size
    SetRaw("Host", REG_DWORD, &one, sizeof one);
    SetRaw("User", REG_BINARY, "jan", 3);
    SetRaw("Password", REG_MULTI_SZ, "a\0b\0", 5);
    for (const char* name : {"X", "Y", "XI", "YI"}) {
        std::int32_t number = 7;
        EXPECT_EQ(key->ReadInteger(name, number), SettingsErrc::wrong_type) << name;
        EXPECT_EQ(number, 7) << name;
        EXPECT_TRUE(key->ValueExists(name)) << name;
    }
    for (const char* name : {"Host", "User", "Password"}) {
        std::string text = "unchanged";
        EXPECT_EQ(key->ReadString(name, text), SettingsErrc::wrong_type) << name;
        EXPECT_EQ(text, "unchanged") << name;
    }
    // A string stored by another program without its terminating zero still reads whole.
    SetRaw("Host", REG_SZ, "pop.example.nl", 14);
    std::string host;
    EXPECT_FALSE(key->ReadString("Host", host));
    EXPECT_EQ(host, "pop.example.nl");
    // Writing replaces a value of the other type.
    EXPECT_FALSE(key->WriteInteger("X", 3));
    std::int32_t x = 0;
    EXPECT_FALSE(key->ReadInteger("X", x));
    EXPECT_EQ(x, 3);
}

} // namespace
