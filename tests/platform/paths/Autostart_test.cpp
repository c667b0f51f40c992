#include <platform/Autostart.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>
#include "TempDir.h"

namespace fs = std::filesystem;

TEST(Autostart, TheProgramOffersItOnlyOnWin9x) {
    EXPECT_FALSE(platform::IsWin9xFamily());
}

TEST(Autostart, AnXdgEntryIsWrittenWithAQuotedPathAndRemoved) {
    const testsupport::TempDir temp("autostart");
    const fs::path root = temp.Path();
    ::setenv("XDG_CONFIG_HOME", root.c_str(), 1);
    const fs::path entry = root / "autostart" / "brevon.desktop";

    auto autostart = platform::UserAutostart();
    EXPECT_FALSE(autostart->Disable()) << "no entry is no error";
    ASSERT_FALSE(autostart->Enable("/opt/my \"mail\" $dir/100%/brevon"));
    std::ifstream in(entry);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_TRUE(text.starts_with("[Desktop Entry]\nType=Application\nName=Brevon\n")) << text;
    EXPECT_NE(text.find("\nExec=\"/opt/my \\\\\"mail\\\\\" \\\\$dir/100%%/brevon\"\n"),
              std::string::npos)
        << text;
    EXPECT_TRUE(autostart->Enable("/bad\npath"));
    EXPECT_FALSE(autostart->Disable());
    EXPECT_FALSE(fs::exists(entry));

    ::unsetenv("XDG_CONFIG_HOME");
}
