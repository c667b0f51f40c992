// Autostart on Windows: the value "brevon" in the current user's "Run" key (Wine's registry
// under the tests). A value that was there before is put back afterwards.
#include <platform/Autostart.h>

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include <windows.h>

namespace {

constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

std::optional<std::string> RunValue(DWORD* typeOut = nullptr) {
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (::RegGetValueA(HKEY_CURRENT_USER, kRunKey, "brevon", RRF_RT_ANY | RRF_NOEXPAND, &type,
                       nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::string data(size, '\0');
    if (::RegGetValueA(HKEY_CURRENT_USER, kRunKey, "brevon", RRF_RT_ANY | RRF_NOEXPAND, &type,
                       data.data(), &size) != ERROR_SUCCESS)
        return std::nullopt;
    data.resize(size);
    if (!data.empty() && data.back() == '\0') data.pop_back();
    if (typeOut != nullptr) *typeOut = type;
    return data;
}

class RunKey : public ::testing::Test {
protected:
    void SetUp() override { before_ = RunValue(); }
    void TearDown() override {
        if (before_)
            ::RegSetKeyValueA(HKEY_CURRENT_USER, kRunKey, "brevon", REG_SZ, before_->c_str(),
                              static_cast<DWORD>(before_->size() + 1));
        else
            ::RegDeleteKeyValueA(HKEY_CURRENT_USER, kRunKey, "brevon");
    }
    std::optional<std::string> before_;
};

TEST_F(RunKey, EnableWritesTheProgramsPathAndDisableRemovesIt) {
    auto autostart = platform::UserAutostart();
    ASSERT_FALSE(autostart->Disable());
    EXPECT_FALSE(RunValue());
    EXPECT_FALSE(autostart->Disable()) << "no entry is no error";

    ASSERT_FALSE(autostart->Enable("C:\\Program Files\\Brevon\\brevon.exe"));
    DWORD type = REG_NONE;
    // Quoted: the value is a command line, and the path holds a blank.
    EXPECT_EQ(RunValue(&type), "\"C:\\Program Files\\Brevon\\brevon.exe\"");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    // A second enable replaces the entry.
    ASSERT_FALSE(autostart->Enable("D:\\Brevon\\brevon.exe"));
    EXPECT_EQ(RunValue(), "\"D:\\Brevon\\brevon.exe\"");

    EXPECT_FALSE(autostart->Disable());
    EXPECT_FALSE(RunValue());
}

} // namespace
