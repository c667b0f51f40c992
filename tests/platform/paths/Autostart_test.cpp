// The XDG autostart entry: where it goes, how the program's path is quoted in it, what it
// refuses, and that desktop-file-validate takes what it writes.
#include <platform/Autostart.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ScopedEnv.h"
#include "Subprocess.h"
#include "TempDir.h"

namespace fs = std::filesystem;
using testsupport::ReadWholeFile;
using testsupport::ScopedEnv;

namespace {

std::vector<std::string> FilesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    return names;
}

class XdgAutostart : public ::testing::Test {
protected:
    const fs::path& Home() const { return temp_.Path(); }
    fs::path Entry() const { return Home() / "autostart" / "brevon.desktop"; }

    testsupport::TempDir temp_{"autostart"};
};

TEST_F(XdgAutostart, TheEntryLiesInTheUsersConfigFolderAndGoesAgain) {
    const std::string conf = (Home() / "conf").string();
    const struct {
        const char* configHome; // nullptr: unset
        fs::path entry;
    } cases[] = {
        {conf.c_str(), Home() / "conf/autostart/brevon.desktop"},
        {nullptr, Home() / ".config/autostart/brevon.desktop"},
        {"relative/conf", Home() / ".config/autostart/brevon.desktop"}, // the XDG rules ignore it
    };
    ScopedEnv home("HOME", Home().c_str());
    for (const auto& c : cases) {
        ScopedEnv config("XDG_CONFIG_HOME", c.configHome);
        const fs::path& entry = c.entry;

        const auto autostart = platform::UserAutostart();
        EXPECT_FALSE(autostart->Disable()) << "no entry is no error";
        ASSERT_FALSE(autostart->Enable("/usr/bin/brevon")) << entry;
        EXPECT_TRUE(fs::is_regular_file(entry)) << entry;
        // Written whole or not at all: nothing else is left beside it.
        EXPECT_EQ(FilesIn(entry.parent_path()), std::vector<std::string>{"brevon.desktop"});
        // A second one replaces the first.
        ASSERT_FALSE(autostart->Enable("/opt/brevon/bin/brevon"));
        EXPECT_NE(ReadWholeFile(entry).find("\nExec=\"/opt/brevon/bin/brevon\"\n"),
                  std::string::npos);
        EXPECT_FALSE(autostart->Disable());
        EXPECT_FALSE(fs::exists(entry)) << entry;
        EXPECT_FALSE(autostart->Disable());
    }
}

// Exec quoting (desktop entry specification, "The Exec key"): the whole path in double quotes,
// '"', '`', '$' and '\' escaped with a backslash, '%' doubled; then the string escaping of the
// key file doubles each backslash.
struct QuotingCase {
    const char* path;
    const char* exec; // the line as written
};
const QuotingCase kQuotingCases[] = {
    {"/usr/bin/brevon", R"(Exec="/usr/bin/brevon")"},
    {"/home/jan/Mijn programma's/brevon", R"(Exec="/home/jan/Mijn programma's/brevon")"},
    {"/opt/my \"mail\"/brevon", R"(Exec="/opt/my \\"mail\\"/brevon")"},
    {"/opt/$HOME/`x`/brevon", R"(Exec="/opt/\\$HOME/\\`x\\`/brevon")"},
    {"/opt/100%/%f/brevon", R"(Exec="/opt/100%%/%%f/brevon")"},
    {"/opt/a\\b/brevon", R"(Exec="/opt/a\\\\b/brevon")"},
    {"/opt/a;b&c|d>e<f~g*h?i#j(k)l/brevon", R"(Exec="/opt/a;b&c|d>e<f~g*h?i#j(k)l/brevon")"},
    {"/opt/=[Desktop Entry]/brevon", R"(Exec="/opt/=[Desktop Entry]/brevon")"},
};

TEST_F(XdgAutostart, TheProgramsPathIsQuotedForTheExecKey) {
    const auto autostart = platform::XdgAutostart(Home());
    for (const QuotingCase& c : kQuotingCases) {
        ASSERT_FALSE(autostart->Enable(c.path)) << c.path;
        const std::string text = ReadWholeFile(Entry());
        EXPECT_EQ(text, "[Desktop Entry]\n"
                        "Type=Application\n"
                        "Name=Brevon\n"
                        "Comment=Leest uw e-mail voor\n" +
                            std::string(c.exec) +
                            "\n"
                            "Terminal=false\n"
                            "X-GNOME-Autostart-enabled=true\n")
            << c.path;
    }
    // Outside ASCII the path is written as UTF-8, as desktops read it.
    ASSERT_FALSE(autostart->Enable("/home/ren\xC3\xA9/brevon"));
    EXPECT_NE(ReadWholeFile(Entry()).find("\nExec=\"/home/ren\xC3\xA9/brevon\"\n"),
              std::string::npos);
}

TEST_F(XdgAutostart, DesktopFileValidateTakesEveryEntry) {
    const std::string validator = BREVON_DESKTOP_FILE_VALIDATE;
    if (validator.empty()) GTEST_SKIP() << "desktop-file-validate is not installed";
    const auto autostart = platform::XdgAutostart(Home());
    for (const QuotingCase& c : kQuotingCases) {
        ASSERT_FALSE(autostart->Enable(c.path)) << c.path;
        const testsupport::RunResult r = testsupport::Run({validator, Entry().string()}, {});
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(r.exitCode, 0) << c.path << "\n" << r.out << r.err;
        EXPECT_EQ(r.out + r.err, "") << c.path;
    }
}

TEST_F(XdgAutostart, APathAnEntryCannotHoldIsRefusedAndTheEntryLeftAsItWas) {
    const auto autostart = platform::XdgAutostart(Home());
    ASSERT_FALSE(autostart->Enable("/usr/bin/brevon"));
    const std::string before = ReadWholeFile(Entry());
    const std::string refused[] = {
        "",
        "brevon",               // relative: the session would search its PATH
        "bin/brevon",           //
        "/opt/a\nExec=/bin/sh", // a line end would add a key of its own
        "/opt/a\rb/brevon",     //
        "/opt/a\tb/brevon",     // control characters have no place in a string value
        "/opt/caf\xE9/brevon",  // not UTF-8
        std::string("/opt/a\0b", 8),
    };
    for (const std::string& path : refused) {
        EXPECT_EQ(autostart->Enable(path), std::errc::invalid_argument) << path;
        EXPECT_EQ(ReadWholeFile(Entry()), before) << path;
    }
    EXPECT_EQ(FilesIn(Entry().parent_path()), std::vector<std::string>{"brevon.desktop"});
}

TEST_F(XdgAutostart, WithoutAHomeThereIsNoPlaceForAnEntry) {
    const auto autostart = platform::XdgAutostart({});
    EXPECT_TRUE(autostart->Enable("/usr/bin/brevon"));
    EXPECT_FALSE(autostart->Disable());
}

} // namespace
