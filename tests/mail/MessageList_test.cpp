#include <mail/MessageList.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PopTestServers.h"

namespace brevon {
namespace {

std::string Read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Write(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

TEST(ListFileBase, KeepsTheFilesInsideTheDataFolder) {
    const struct {
        const char* user;
        const char* base;
    } cases[] = {
        {"jan", "jan"},
        {"DOMAIN\\jan", "jan"},
        {"c:jan", "jan"},
        {"../../etc/jan", "jan"},
        {"jan@voorbeeld.nl", "jan@voorbeeld.nl"},
        {"", "brevon"},
        {".", "brevon"},
        {"..", "brevon"},
        {"a/..", "brevon"},
        {"jan\\", "brevon"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ListFileBase(c.user), c.base) << c.user;
    const ListFiles files = ListFilesFor("/data", "DOMAIN\\jan");
    EXPECT_EQ(files.ids, std::filesystem::path("/data/jan.id"));
    EXPECT_EQ(files.headers, std::filesystem::path("/data/jan.he"));
}

TEST(MessageList, SavesBothFilesWithCrLfAndReadsThemBack) {
    testsupport::TempDir dir;
    const ListFiles files = ListFilesFor(dir.Path() / "nieuw", "jan");
    const std::vector<std::string> ids{"id1", "id2"};
    const std::vector<std::string> lines{"Jan\tvergadering", "Piet\t"};
    ASSERT_FALSE(SaveMessageList(files, ids, lines));
    EXPECT_EQ(Read(files.ids), "id1\r\nid2\r\n");
    EXPECT_EQ(Read(files.headers), "Jan\tvergadering\r\nPiet\t\r\n");
    // Only the two files: no temporary file stays behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(files.ids.parent_path()),
                            std::filesystem::directory_iterator()),
              2);

    std::vector<std::string> readIds, readLines;
    ASSERT_TRUE(LoadMessageList(files, readIds, readLines));
    EXPECT_EQ(readIds, ids);
    EXPECT_EQ(readLines, lines);
}

TEST(MessageList, ListsThatDoNotBelongTogetherCountAsMissing) {
    testsupport::TempDir dir;
    const ListFiles files = ListFilesFor(dir.Path(), "jan");
    const struct {
        const char* name;
        const char* ids; // nullptr: no file
        const char* lines;
        bool loads;
        std::size_t count;
    } cases[] = {
        {"LF and CR line ends", "a\nb\rc", "A\tx\nB\ty\rC\tz\r\n", true, 3},
        {"empty files", "", "", true, 0},
        {"no .he file", "a\r\n", nullptr, false, 0},
        {"no .id file", nullptr, "A\tx\r\n", false, 0},
        {"different lengths", "a\r\nb\r\n", "A\tx\r\n", false, 0},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(files.ids);
        std::filesystem::remove(files.headers);
        if (c.ids) Write(files.ids, c.ids);
        if (c.lines) Write(files.headers, c.lines);
        std::vector<std::string> ids{"kept"}, lines{"kept"};
        EXPECT_EQ(LoadMessageList(files, ids, lines), c.loads) << c.name;
        if (c.loads) {
            EXPECT_EQ(ids.size(), c.count) << c.name;
            EXPECT_EQ(lines.size(), c.count) << c.name;
        } else {
            EXPECT_EQ(ids, std::vector<std::string>{"kept"}) << c.name;
        }
    }
}

TEST(MessageList, AFailedSaveLeavesNoTemporaryFileAndTheOtherFileAsItWas) {
    testsupport::TempDir dir;
    const ListFiles files = ListFilesFor(dir.Path(), "jan");
    ASSERT_FALSE(SaveMessageList(files, {"oud"}, {"Oud\tx"}));
    // A folder in the place of the .id file makes the first rename fail after both
    // temporary files were written.
    std::filesystem::remove(files.ids);
    std::filesystem::create_directories(files.ids / "bezet");
    EXPECT_TRUE(SaveMessageList(files, {"nieuw1", "nieuw2"}, {"A\tx", "B\ty"}));
    EXPECT_EQ(Read(files.headers), "Oud\tx\r\n");
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
}

} // namespace
} // namespace brevon
