// Data paths on Windows: drive-letter paths from the system, the user's folder under the
// roaming application data, read-only data next to the executable.
#include <platform/DataPaths.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <shlobj.h>
#include <windows.h>

namespace fs = std::filesystem;

TEST(DataPaths, TheExecutableIsADriveLetterPath) {
    const fs::path exe = platform::ExecutablePath();
    EXPECT_EQ(exe.filename(), "platform_paths_tests.exe");
    EXPECT_TRUE(exe.is_absolute()) << exe;
    EXPECT_TRUE(exe.has_root_name()) << exe;
    EXPECT_TRUE(fs::is_regular_file(exe)) << exe;
    EXPECT_EQ(platform::ExecutableDir(), exe.parent_path());
}

TEST(DataPaths, UserFoldersLieInTheRoamingApplicationData) {
    PWSTR known = nullptr;
    ASSERT_TRUE(SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &known)));
    const fs::path roaming = known;
    ::CoTaskMemFree(known);
    EXPECT_EQ(platform::UserConfigHome(), roaming);
    EXPECT_EQ(platform::UserConfigDir(), roaming / "Brevon");
    EXPECT_EQ(platform::UserDataDir(), roaming / "Brevon");
    EXPECT_TRUE(platform::UserConfigDir().has_root_name());
}

TEST(DataPaths, UserDataFileTakesOnlyPlainFileNames) {
    EXPECT_EQ(platform::UserDataFile("jan.id"), platform::UserDataDir() / "jan.id");
    for (const char* bad : {"", ".", "..", "a\\b", "a/b", "c:x", "C:\\Windows\\win.ini"})
        EXPECT_TRUE(platform::UserDataFile(bad).empty()) << bad;
}

TEST(DataPaths, ReadOnlyDataIsFoundNextToTheExecutableBeforeTheShareFolder) {
    const fs::path dir = platform::ExecutableDir();
    const fs::path share = (dir / ".." / "share" / "brevon").lexically_normal();
    ASSERT_EQ(platform::ReadOnlyDataDirs(), (std::vector<fs::path>{dir, share}));

    const std::string name = "paths-test-" + std::to_string(::GetCurrentProcessId()) + ".cfg";
    EXPECT_EQ(platform::FindReadOnlyDataFile(name), dir / name) << "neither exists";
    fs::create_directories(share);
    std::ofstream(share / name) << "x";
    EXPECT_EQ(platform::FindReadOnlyDataFile(name), share / name);
    std::ofstream(dir / name) << "x";
    EXPECT_EQ(platform::FindReadOnlyDataFile(name), dir / name);
    fs::remove(dir / name);
    fs::remove_all(share.parent_path());
}
