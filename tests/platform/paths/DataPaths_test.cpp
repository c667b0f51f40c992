#include <platform/DataPaths.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

#include "ScopedEnv.h"

namespace fs = std::filesystem;

using testsupport::ScopedEnv;

TEST(DataPaths, UserFoldersFollowTheXdgRules) {
    const struct {
        const char* configHome;
        const char* dataHome;
        const char* config;
        const char* data;
    } cases[] = {
        {"/x/conf", "/x/data", "/x/conf/brevon", "/x/data/brevon"},
        {nullptr, nullptr, "/home/jan/.config/brevon", "/home/jan/.local/share/brevon"},
        {"", "", "/home/jan/.config/brevon", "/home/jan/.local/share/brevon"},
        // A relative value is to be ignored, as the XDG rules say.
        {"rel/conf", "rel/data", "/home/jan/.config/brevon", "/home/jan/.local/share/brevon"},
    };
    ScopedEnv home("HOME", "/home/jan");
    for (const auto& c : cases) {
        ScopedEnv config("XDG_CONFIG_HOME", c.configHome);
        ScopedEnv data("XDG_DATA_HOME", c.dataHome);
        EXPECT_EQ(platform::UserConfigDir(), fs::path(c.config));
        EXPECT_EQ(platform::UserDataDir(), fs::path(c.data));
    }
}

TEST(DataPaths, UserDataFileTakesOnlyPlainFileNames) {
    ScopedEnv data("XDG_DATA_HOME", "/d");
    const struct {
        std::string name;
        const char* path; // empty: refused
    } cases[] = {
        {"jan.id", "/d/brevon/jan.id"},
        {"j\xe9r\xf4me.he", "/d/brevon/j\xe9r\xf4me.he"},
        {".id", "/d/brevon/.id"},
        {"", ""},
        {".", ""},
        {"..", ""},
        {"../jan.id", ""},
        {"/etc/passwd", ""},
        {"DOMAIN\\jan.id", ""},
        {"c:jan.id", ""},
        {std::string("jan\0.id", 7), ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::UserDataFile(c.name), fs::path(c.path)) << c.name;
}

TEST(DataPaths, ReadOnlyDataIsFoundNextToTheExecutableBeforeTheShareFolder) {
    const fs::path exe = platform::ExecutablePath();
    ASSERT_EQ(exe.filename(), "platform_paths_tests");
    ASSERT_EQ(platform::ExecutableDir(), exe.parent_path());
    const fs::path share = (exe.parent_path() / ".." / "share" / "brevon").lexically_normal();
    ASSERT_EQ(platform::ReadOnlyDataDirs(), (std::vector<fs::path>{exe.parent_path(), share}));

    const std::string name = "paths-test-" + std::to_string(::getpid()) + ".cfg";
    EXPECT_EQ(platform::FindReadOnlyDataFile(name), exe.parent_path() / name) << "neither exists";
    fs::create_directories(share);
    std::ofstream(share / name) << "x";
    EXPECT_EQ(platform::FindReadOnlyDataFile(name), share / name);
    std::ofstream(exe.parent_path() / name) << "x";
    EXPECT_EQ(platform::FindReadOnlyDataFile(name), exe.parent_path() / name);
    fs::remove(exe.parent_path() / name);
    fs::remove_all(share.parent_path());
}
