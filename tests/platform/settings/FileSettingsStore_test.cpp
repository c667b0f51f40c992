#include <platform/FileSettingsStore.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <platform/DataPaths.h>
#include <platform/SettingsFile.h>
#include "TempDir.h"

namespace fs = std::filesystem;
using platform::FileSettingsStore;
using platform::OpenMode;
using platform::SettingsErrc;

namespace {

constexpr const char* kKey = "\\SOFTWARE\\Tolvani Speech Technology\\Brevon";

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteRaw(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

std::vector<std::string> Listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

unsigned Mode(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0);
    return st.st_mode & 0777;
}

// Every test gets its own XDG_CONFIG_HOME, so the default store file lies in a fresh folder.
class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        file_ = FileSettingsStore::DefaultFile();
    }
    void TearDown() override { ::unsetenv("XDG_CONFIG_HOME"); }

    // Writes the values through a created key and closes it.
    void Store(const std::function<void(platform::SettingsKey&)>& write) {
        FileSettingsStore store(file_);
        auto opened = store.OpenKey(kKey, OpenMode::Create);
        ASSERT_TRUE(opened.key) << opened.detail;
        write(*opened.key);
        ASSERT_FALSE(opened.key->Close());
    }

    testsupport::TempDir temp_{"settings-test"};
    const fs::path root_ = temp_.Path();
    fs::path file_;
};

TEST_F(SettingsStoreTest, DefaultFileLiesInTheUsersConfigFolder) {
    EXPECT_EQ(file_, root_ / "config" / "brevon" / "settings.reg");
}

TEST_F(SettingsStoreTest, ValuesOfBothTypesReadBackAfterReopening) {
    std::string allBytes;
    for (int b = 255; b >= 0; --b)
        allBytes += static_cast<char>(b);
    Store([&](platform::SettingsKey& key) {
        EXPECT_FALSE(key.WriteInteger("X", -2147483647 - 1));
        EXPECT_FALSE(key.WriteInteger("Interval in minuten", 99));
        EXPECT_FALSE(key.WriteString("Host", "pop.example.nl"));
        EXPECT_FALSE(key.WriteString("Password", allBytes));
        EXPECT_FALSE(key.WriteString("Empty", ""));
    });

    FileSettingsStore store(file_);
    auto opened = store.OpenKey(kKey, OpenMode::Existing);
    ASSERT_TRUE(opened.key) << opened.detail;
    auto& key = *opened.key;
    std::int32_t n = 0;
    std::string s;
    EXPECT_FALSE(key.ReadInteger("X", n));
    EXPECT_EQ(n, -2147483647 - 1);
    EXPECT_FALSE(key.ReadInteger("interval IN minuten", n)); // names ignore case
    EXPECT_EQ(n, 99);
    EXPECT_FALSE(key.ReadString("Host", s));
    EXPECT_EQ(s, "pop.example.nl");
    EXPECT_FALSE(key.ReadString("Password", s));
    EXPECT_EQ(s.size(), 256u);
    EXPECT_EQ(s, allBytes);
    EXPECT_FALSE(key.ReadString("Empty", s));
    EXPECT_EQ(s, "");
    EXPECT_TRUE(key.ValueExists("host"));
    EXPECT_FALSE(key.ValueExists("Hostname"));
    // Key paths ignore case too, and the leading backslash is optional.
    EXPECT_TRUE(
        store.OpenKey("software\\TOLVANI SPEECH TECHNOLOGY\\brevon", OpenMode::Existing).key);
}

TEST_F(SettingsStoreTest, MissingValuesAndWrongTypesAreTypedErrors) {
    Store([](platform::SettingsKey& key) {
        (void)key.WriteInteger("Voice", 4);
        (void)key.WriteString("User", "jan");
    });
    FileSettingsStore store(file_);
    auto opened = store.OpenKey(kKey, OpenMode::Existing);
    ASSERT_TRUE(opened.key);
    std::int32_t n = 77;
    std::string s = "unchanged";
    EXPECT_EQ(opened.key->ReadInteger("Pitch", n), SettingsErrc::value_not_found);
    EXPECT_EQ(opened.key->ReadString("Host", s), SettingsErrc::value_not_found);
    EXPECT_EQ(opened.key->ReadInteger("User", n), SettingsErrc::wrong_type);
    EXPECT_EQ(opened.key->ReadString("Voice", s), SettingsErrc::wrong_type);
    EXPECT_EQ(n, 77);
    EXPECT_EQ(s, "unchanged");
    EXPECT_EQ(opened.key->DeleteValue("Pitch"), SettingsErrc::value_not_found);
    EXPECT_EQ(platform::make_error_code(SettingsErrc::wrong_type).message(),
              "settings value has another type");
}

TEST_F(SettingsStoreTest, OpeningWithoutCreatingFindsNoKeyAndWritesNothing) {
    FileSettingsStore store(file_);
    auto opened = store.OpenKey(kKey, OpenMode::Existing);
    EXPECT_FALSE(opened.key);
    EXPECT_EQ(opened.error, SettingsErrc::key_not_found);
    EXPECT_FALSE(fs::exists(root_ / "config"));

    // A created key exists from its close on, even without values.
    auto created = store.OpenKey(kKey, OpenMode::Create);
    ASSERT_TRUE(created.key);
    EXPECT_FALSE(created.key->Close());
    EXPECT_TRUE(store.OpenKey(kKey, OpenMode::Existing).key);
    EXPECT_EQ(store.OpenKey("\\SOFTWARE\\Other", OpenMode::Existing).error,
              SettingsErrc::key_not_found);
    EXPECT_TRUE(store.OpenKey("\\SOFTWARE", OpenMode::Existing).key); // parent exists implicitly
    EXPECT_EQ(store.OpenKey("\\A\\\\B", OpenMode::Create).error, SettingsErrc::invalid_name);
}

TEST_F(SettingsStoreTest, WritesReachTheFileAtCloseAndLeaveOtherKeysAlone) {
    Store([](platform::SettingsKey& key) { (void)key.WriteInteger("X", 1); });
    FileSettingsStore store(file_);
    {
        auto run =
            store.OpenKey("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", OpenMode::Create);
        ASSERT_TRUE(run.key);
        (void)run.key->WriteString("brevon", "/usr/bin/brevon");
    } // destruction commits too

    auto opened = store.OpenKey(kKey, OpenMode::Existing);
    ASSERT_TRUE(opened.key);
    (void)opened.key->WriteInteger("X", 2);
    (void)opened.key->WriteInteger("Y", 3);
    std::int32_t n = 0;
    EXPECT_FALSE(store.OpenKey(kKey, OpenMode::Existing).key->ReadInteger("X", n));
    EXPECT_EQ(n, 1) << "not visible before Close";
    EXPECT_FALSE(opened.key->DeleteValue("x"));
    ASSERT_FALSE(opened.key->Close());

    auto again = store.OpenKey(kKey, OpenMode::Existing);
    EXPECT_EQ(again.key->ReadInteger("X", n), SettingsErrc::value_not_found);
    EXPECT_FALSE(again.key->ReadInteger("Y", n));
    EXPECT_EQ(n, 3);
    std::string s;
    EXPECT_FALSE(
        store.OpenKey("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", OpenMode::Existing)
            .key->ReadString("BREVON", s));
    EXPECT_EQ(s, "/usr/bin/brevon");
}

TEST_F(SettingsStoreTest, FileAndFolderAreOwnerOnlyAndNoTemporaryFileStays) {
    ::umask(022);
    Store([](platform::SettingsKey& key) { (void)key.WriteString("Password", "geheim"); });
    EXPECT_EQ(Mode(file_), 0600u);
    EXPECT_EQ(Mode(file_.parent_path()), 0700u);
    EXPECT_EQ(Mode(root_ / "config"), 0700u);
    Store([](platform::SettingsKey& key) { (void)key.WriteString("Password", "anders"); });
    EXPECT_EQ(Mode(file_), 0600u);
    EXPECT_EQ(Listing(file_.parent_path()), std::vector<std::string>{"settings.reg"});
}

TEST_F(SettingsStoreTest, AFailedWriteKeepsThePreviousFileWhole) {
    Store([](platform::SettingsKey& key) { (void)key.WriteString("Host", "old.example.nl"); });
    const std::string before = ReadAll(file_);

    // Let the kernel cut the next write short (EFBIG) halfway through the new file.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::error_code result;
    {
        FileSettingsStore store(file_);
        auto opened = store.OpenKey(kKey, OpenMode::Existing);
        ASSERT_TRUE(opened.key);
        (void)opened.key->WriteString("Host", "new.example.nl");
        (void)opened.key->WriteString("Big", std::string(20000, 'x'));
        result = opened.key->Close();
        (void)opened.key->DeleteValue("Big"); // so the destructor's commit succeeds quietly
        (void)opened.key->WriteString("Host", "old.example.nl");
    }
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, SIG_DFL);

    EXPECT_EQ(result, std::errc::file_too_large);
    EXPECT_EQ(ReadAll(file_), before);
    EXPECT_EQ(Listing(file_.parent_path()), std::vector<std::string>{"settings.reg"});
}

// The files kept aside beside the settings file.
std::vector<fs::path> KeptAside(const fs::path& file) {
    std::vector<fs::path> aside;
    for (const auto& e : fs::directory_iterator(file.parent_path()))
        if (e.path().filename().string().starts_with(file.filename().string() + ".damaged-"))
            aside.push_back(e.path());
    std::sort(aside.begin(), aside.end());
    return aside;
}

// Damaged files as a hand, a full disk or a crash of something else leave them: what still
// reads is read, the rest is reported, and nothing of the file is lost when it is written over.
TEST_F(SettingsStoreTest, ADamagedFileIsReadAsFarAsItCanBeAndKeptAsideBeforeItIsReplaced) {
    const std::string head = "Brevon Settings Version 1\n[HKEY_CURRENT_USER\\SOFTWARE\\Tolvani "
                             "Speech Technology\\Brevon]\n\"Host\"=\"pop.example.nl\"\n";
    std::mt19937 rng(31);
    std::string noise(4096, '\0');
    for (char& c : noise)
        c = static_cast<char>(rng());
    const struct {
        const char* what;
        std::string text;
        bool readable; // the key opens, Host read
        std::string detail;
    } cases[] = {
        {"random bytes", noise, false, "line 1: not a Brevon settings file"},
        {"cut short in a line", head + "\"User\"=\"ja", true,
         "line 4: quoted text without its closing quote (skipped)"},
        {"cut short in the section", head.substr(0, 50), false,
         "line 2: a section line must end with ']' (skipped)"},
        {"a huge line", head + std::string(600000, 'x') + "\n\"User\"=\"jan\"\n", true,
         "line 4: expected a section or a value (skipped)"},
        {"far larger than a settings file", head + std::string(5 << 20, 'x'), false,
         "larger than a settings file can be"},
        {"a value of the wrong type", head + "\"User\"=dword:5\n", true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(file_.parent_path());
        WriteRaw(file_, c.text);
        FileSettingsStore store(file_);
        auto opened = store.OpenKey(kKey, OpenMode::Existing);
        if (c.readable) {
            ASSERT_TRUE(opened.key) << opened.detail;
            std::string host;
            EXPECT_FALSE(opened.key->ReadString("Host", host));
            EXPECT_EQ(host, "pop.example.nl");
        } else {
            EXPECT_FALSE(opened.key);
            EXPECT_EQ(opened.error, SettingsErrc::corrupt_file);
        }
        if (c.detail.empty()) {
            EXPECT_EQ(opened.detail, "");
        } else {
            EXPECT_TRUE(opened.detail.starts_with("Settings file '" + file_.string() + "': "));
            EXPECT_NE(opened.detail.find(c.detail), std::string::npos) << opened.detail;
        }
        EXPECT_EQ(ReadAll(file_), c.text) << "reading never changes the file";
        EXPECT_TRUE(KeptAside(file_).empty()) << "reading keeps nothing aside";

        auto created = store.OpenKey(kKey, OpenMode::Create);
        ASSERT_TRUE(created.key) << created.detail;
        const bool lossy = !c.detail.empty();
        const auto aside = KeptAside(file_);
        ASSERT_EQ(aside.size(), lossy ? 1u : 0u);
        if (lossy) {
            EXPECT_EQ(created.keptAside, aside[0].string());
            EXPECT_EQ(ReadAll(aside[0]), c.text) << "kept whole, every byte";
            EXPECT_TRUE(std::regex_match(aside[0].filename().string(),
                                         std::regex(R"(settings\.reg\.damaged-\d{8}-\d{6})")))
                << aside[0];
        }
        (void)created.key->WriteString("User", "piet");
        ASSERT_FALSE(created.key->Close());
        EXPECT_EQ(KeptAside(file_).size(), aside.size()) << "kept aside once";
        auto reread = store.OpenKey(kKey, OpenMode::Existing);
        ASSERT_TRUE(reread.key) << reread.detail;
        EXPECT_EQ(reread.detail, "") << "whole again";
        std::string user;
        EXPECT_FALSE(reread.key->ReadString("User", user));
        EXPECT_EQ(user, "piet");
    }
}

TEST_F(SettingsStoreTest, AKeptAsideFileIsNeverWrittenOver) {
    const std::string damaged = "Brevon Settings Version 1\n[HKEY_CURRENT_USER\\SOFTWARE\n";
    for (const char* host : {"first.example.nl", "second.example.nl", "third.example.nl"}) {
        WriteRaw(file_, damaged + host); // damaged again before each write
        FileSettingsStore store(file_);
        auto created = store.OpenKey(kKey, OpenMode::Create);
        ASSERT_TRUE(created.key) << created.detail;
        (void)created.key->WriteString("Host", host);
        ASSERT_FALSE(created.key->Close());
    }
    // Within one second the names take a number.
    const auto aside = KeptAside(file_);
    ASSERT_EQ(aside.size(), 3u);
    std::vector<std::string> contents;
    for (const auto& p : aside)
        contents.push_back(ReadAll(p));
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(contents,
              (std::vector<std::string>{damaged + "first.example.nl", damaged + "second.example.nl",
                                        damaged + "third.example.nl"}));
}

TEST_F(SettingsStoreTest, ADamagedFileThatCannotBeKeptAsideIsNotWrittenOver) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into a read-only folder";
    const std::string damaged = "no settings at all";
    WriteRaw(file_, damaged);
    fs::permissions(file_.parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
    FileSettingsStore store(file_);
    auto created = store.OpenKey(kKey, OpenMode::Create);
    fs::permissions(file_.parent_path(), fs::perms::owner_all);
    EXPECT_FALSE(created.key);
    EXPECT_NE(created.detail.find("cannot be kept aside"), std::string::npos) << created.detail;
    EXPECT_EQ(ReadAll(file_), damaged);
}

TEST_F(SettingsStoreTest, AnUnreadableFileIsReportedAndNeverWrittenOver) {
    const struct {
        const char* what;
        std::function<void()> make;
    } cases[] = {
        {"a folder", [&] { fs::create_directories(file_ / "inside"); }},
        // Opening a pipe for reading would wait for a writer for ever.
        {"a pipe", [&] { ASSERT_EQ(::mkfifo(file_.c_str(), 0600), 0); }},
        {"a file without read permission",
         [&] {
             WriteRaw(file_, "Brevon Settings Version 1\n");
             fs::permissions(file_, fs::perms::owner_write);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (std::string_view(c.what).ends_with("permission") && ::geteuid() == 0)
            continue; // root reads it all the same
        fs::remove_all(file_.parent_path());
        fs::create_directories(file_.parent_path());
        c.make();
        const auto before = fs::status(file_).type();
        FileSettingsStore store(file_);
        for (OpenMode mode : {OpenMode::Existing, OpenMode::Create}) {
            auto opened = store.OpenKey(kKey, mode);
            EXPECT_FALSE(opened.key);
            EXPECT_TRUE(opened.error);
            EXPECT_NE(opened.error, SettingsErrc::corrupt_file);
            EXPECT_NE(opened.detail.find(file_.string()), std::string::npos) << opened.detail;
        }
        EXPECT_EQ(fs::status(file_).type(), before);
        EXPECT_TRUE(KeptAside(file_).empty());
    }
}

TEST_F(SettingsStoreTest, NoHomeMeansNoLocation) {
    FileSettingsStore store{fs::path()};
    EXPECT_EQ(store.OpenKey(kKey, OpenMode::Create).error, SettingsErrc::no_location);
}

TEST_F(SettingsStoreTest, RandomBinaryStringsRoundTrip) {
    std::mt19937 rng(7);
    std::vector<std::string> texts;
    for (int i = 0; i < 50; ++i) {
        std::string t(rng() % 300, '\0');
        for (char& c : t)
            c = static_cast<char>(rng());
        texts.push_back(t);
    }
    // Appended piece by piece: GCC 12 at -O3 sees an overlap in "v" + std::to_string(i) that
    // cannot happen (a false -Wrestrict).
    auto name = [](std::size_t i) {
        std::string n = "v";
        n += std::to_string(i);
        return n;
    };
    Store([&](platform::SettingsKey& key) {
        for (std::size_t i = 0; i < texts.size(); ++i)
            (void)key.WriteString(name(i), texts[i]);
    });
    FileSettingsStore store(file_);
    auto opened = store.OpenKey(kKey, OpenMode::Existing);
    ASSERT_TRUE(opened.key);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        std::string s;
        EXPECT_FALSE(opened.key->ReadString(name(i), s));
        EXPECT_EQ(s, texts[i]) << i;
    }
}

} // namespace
