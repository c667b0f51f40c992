#include <platform/FileSettingsStore.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

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

TEST_F(SettingsStoreTest, ADamagedFileIsReportedAndOnlyReplacedWithACopyKeptAside) {
    const std::string damaged = "Brevon Settings Version 1\n[HKEY_CURRENT_USER\\SOFTWARE]\n"
                                "\"X\"=dword:zz\n";
    WriteRaw(file_, damaged);
    FileSettingsStore store(file_);
    auto opened = store.OpenKey(kKey, OpenMode::Existing);
    EXPECT_FALSE(opened.key);
    EXPECT_EQ(opened.error, SettingsErrc::corrupt_file);
    EXPECT_EQ(opened.detail, "Settings file '" + file_.string() +
                                 "': line 3: a dword needs one to eight hexadecimal digits");
    EXPECT_EQ(ReadAll(file_), damaged) << "reading never changes the file";

    for (const char* host : {"first.example.nl", "second.example.nl"}) {
        auto created = store.OpenKey(kKey, OpenMode::Create);
        ASSERT_TRUE(created.key) << created.detail;
        (void)created.key->WriteString("Host", host);
        ASSERT_FALSE(created.key->Close());
        WriteRaw(file_, damaged + host); // damaged again before the next write
    }
    EXPECT_EQ(ReadAll(file_.string() + ".damaged"), damaged);
    EXPECT_EQ(ReadAll(file_.string() + ".damaged.1"), damaged + "first.example.nl");
    EXPECT_EQ(Mode(file_.string() + ".damaged"), 0600u);
}

TEST_F(SettingsStoreTest, AnUnreadableFileIsReportedAndNeverWrittenOver) {
    fs::create_directories(file_ / "inside"); // a folder where the file should be
    FileSettingsStore store(file_);
    for (OpenMode mode : {OpenMode::Existing, OpenMode::Create}) {
        auto opened = store.OpenKey(kKey, mode);
        EXPECT_FALSE(opened.key);
        EXPECT_TRUE(opened.error);
        EXPECT_NE(opened.detail.find(file_.string()), std::string::npos) << opened.detail;
    }
    EXPECT_TRUE(fs::is_directory(file_ / "inside"));
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
    Store([&](platform::SettingsKey& key) {
        for (std::size_t i = 0; i < texts.size(); ++i)
            (void)key.WriteString("v" + std::to_string(i), texts[i]);
    });
    FileSettingsStore store(file_);
    auto opened = store.OpenKey(kKey, OpenMode::Existing);
    ASSERT_TRUE(opened.key);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        std::string s;
        EXPECT_FALSE(opened.key->ReadString("v" + std::to_string(i), s));
        EXPECT_EQ(s, texts[i]) << i;
    }
}

} // namespace
