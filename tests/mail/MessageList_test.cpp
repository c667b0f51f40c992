#include <mail/MessageList.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
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

TEST(MessageList, SavesTheFilesWithCrLfAndReadsThemBack) {
    testsupport::TempDir dir;
    const ListFiles files = ListFilesFor(dir.Path() / "nieuw", "jan");
    const std::vector<std::string> ids{"id1", "id2"};
    const std::vector<std::string> lines{"Jan\tvergadering", "Piet\t"};
    RecentIds recent;
    recent.Note({"weg"}, 1000);
    recent.Note(ids, 2000);
    ASSERT_FALSE(SaveMessageList(files, ids, lines, recent));
    EXPECT_EQ(Read(files.ids), "id1\r\nid2\r\n");
    EXPECT_EQ(Read(files.headers), "Jan\tvergadering\r\nPiet\t\r\n");
    EXPECT_EQ(Read(files.seen), "1000 weg\r\n2000 id1\r\n2000 id2\r\n");
    // Only the three files: no temporary file stays behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(files.ids.parent_path()),
                            std::filesystem::directory_iterator()),
              3);

    std::vector<std::string> readIds, readLines;
    ASSERT_TRUE(LoadMessageList(files, readIds, readLines));
    EXPECT_EQ(readIds, ids);
    EXPECT_EQ(readLines, lines);
    const StoredList stored = ReadMessageList(files);
    EXPECT_EQ(stored.recent.Text(), recent.Text());
    EXPECT_TRUE(stored.problem.empty()) << stored.problem;
}

// A save writes (and flushes) only what would change on disk: a file that already holds its
// new content keeps its old time stamp.
TEST(MessageList, RewritesOnlyTheFilesWhoseContentChanged) {
    const std::vector<std::string> ids{"id1", "id2"};
    const std::vector<std::string> lines{"Jan\tvergadering", "Piet\t"};
    RecentIds recent;
    recent.Note(ids, 2000);
    RecentIds later = recent;
    later.Note({"id3", "id1", "id2"}, 3000);
    const struct {
        const char* name;
        std::vector<std::string> ids, lines;
        const RecentIds& recent;
        bool id, he, seen; // rewritten
    } cases[] = {
        {"nothing changed", ids, lines, recent, false, false, false},
        {"a subject changed",
         ids,
         {"Jan\tvergadering", "Piet\tborrel"},
         recent,
         false,
         true,
         false},
        {"a message came",
         {"id3", "id1", "id2"},
         {"Kees\t", "Jan\tvergadering", "Piet\t"},
         later,
         true,
         true,
         true},
    };
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir dir;
        const ListFiles files = ListFilesFor(dir.Path(), "jan");
        ASSERT_FALSE(SaveMessageList(files, ids, lines, recent));
        for (const auto& file : {files.ids, files.headers, files.seen})
            std::filesystem::last_write_time(file, old);
        ASSERT_FALSE(SaveMessageList(files, c.ids, c.lines, c.recent));
        EXPECT_EQ(std::filesystem::last_write_time(files.ids) != old, c.id);
        EXPECT_EQ(std::filesystem::last_write_time(files.headers) != old, c.he);
        EXPECT_EQ(std::filesystem::last_write_time(files.seen) != old, c.seen);
        std::vector<std::string> readIds, readLines;
        ASSERT_TRUE(LoadMessageList(files, readIds, readLines));
        EXPECT_EQ(readIds, c.ids);
        EXPECT_EQ(readLines, c.lines);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                                std::filesystem::directory_iterator()),
                  3);
    }
}

// Random bytes as a damaged disk leaves them: control characters, CRs and LFs among them.
std::string RandomBytes(unsigned seed, std::size_t size = 4096) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random));
    return bytes;
}

constexpr const char* kFolder = "<folder>"; // a folder stands where the file should be

// The ".id" file says which mail is known: when it cannot be read whole the list is worth
// nothing. Lines of ".he" that are missing or damaged come back empty, to be fetched again.
TEST(MessageList, ReadsWhatCanBeTrustedOfDamagedFiles) {
    testsupport::TempDir dir;
    const ListFiles files = ListFilesFor(dir.Path(), "jan");
    const std::string random = RandomBytes(9);
    using Ids = StoredList::Ids;
    const struct {
        const char* name;
        const char* ids; // nullptr: no file
        std::string lines;
        Ids state;
        std::vector<std::string> expectIds;
        std::vector<std::string> expectLines;
        bool whole; // LoadMessageList takes the pair
    } cases[] = {
        {"LF and CR line ends",
         "a\nb\rc\r\n",
         "A\tx\nB\ty\rC\tz\r\n",
         Ids::Read,
         {"a", "b", "c"},
         {"A\tx", "B\ty", "C\tz"},
         true},
        {"empty files", "", "", Ids::Read, {}, {}, true},
        {"no .id file", nullptr, "A\tx\r\n", Ids::Missing, {}, {}, false},
        {"no .he file", "a\r\nb\r\n", "-", Ids::Read, {"a", "b"}, {"", ""}, false},
        {".he shorter", "a\r\nb\r\n", "A\tx\r\n", Ids::Read, {"a", "b"}, {"A\tx", ""}, false},
        {".he longer", "a\r\n", "A\tx\r\nB\ty\r\n", Ids::Read, {"a"}, {"A\tx"}, false},
        {".he cut short",
         "a\r\nb\r\n",
         "A\tx\r\nB\tvergad",
         Ids::Read,
         {"a", "b"},
         {"A\tx", ""},
         false},
        {".he lines without their TAB or with control characters",
         "a\r\nb\r\nc\r\n",
         "A\tx\r\ngeen tab\r\nC\tz\x01\r\n",
         Ids::Read,
         {"a", "b", "c"},
         {"A\tx", "", ""},
         false},
        {".he random bytes", "a\r\n", random, Ids::Read, {"a"}, {""}, false},
        {".he a folder", "a\r\n", kFolder, Ids::Read, {"a"}, {""}, false},
        {".id cut short", "a\r\nb", "A\tx\r\nB\ty\r\n", Ids::Damaged, {}, {}, false},
        {".id with an empty line", "a\r\n\r\nb\r\n", "", Ids::Damaged, {}, {}, false},
        {".id random bytes", random.c_str(), "A\tx\r\n", Ids::Damaged, {}, {}, false},
        {".id a folder", kFolder, "A\tx\r\n", Ids::Damaged, {}, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(files.ids);
        std::filesystem::remove_all(files.headers);
        const auto make = [](const std::filesystem::path& file, const std::string& text) {
            if (text == kFolder)
                std::filesystem::create_directories(file / "inside");
            else if (text != "-")
                Write(file, text);
        };
        if (c.ids) make(files.ids, c.ids);
        make(files.headers, c.lines);

        const StoredList stored = ReadMessageList(files);
        EXPECT_EQ(stored.idState, c.state);
        EXPECT_EQ(stored.ids, c.expectIds);
        EXPECT_EQ(stored.headers, c.expectLines);
        EXPECT_EQ(stored.problem.empty(), c.whole || c.state == Ids::Missing) << stored.problem;
        std::vector<std::string> ids{"kept"}, lines{"kept"};
        EXPECT_EQ(LoadMessageList(files, ids, lines), c.whole);
        if (!c.whole) {
            EXPECT_EQ(ids, std::vector<std::string>{"kept"});
        }
    }
}

// The recent ids are read as far as they can be: a damaged line costs that line only.
TEST(RecentIds, ADamagedFileIsReadAsFarAsItCanBe) {
    const struct {
        const char* name;
        std::string text;
        std::vector<std::string> kept;
        bool damaged;
    } cases[] = {
        {"whole", "10 a\r\n20 b c\r\n", {"a", "b c"}, false},
        {"LF line ends", "10 a\n20 b\n", {"a", "b"}, false},
        {"cut short", "10 a\r\n20 b\r\n30 lan", {"a", "b"}, true},
        {"damaged lines among good ones",
         "10 a\r\nx b\r\n-5 c\r\n 7 d\r\n40\r\n50 \r\n60 e\x02\r\n\r\n70 f\r\n",
         {"a", "f"},
         true},
        {"a number too large", "99999999999999999999999 a\r\n20 b\r\n", {"b"}, true},
        {"random bytes", RandomBytes(31), {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool damaged = false;
        const RecentIds recent = RecentIds::Parse(c.text, damaged);
        EXPECT_EQ(damaged, c.damaged);
        for (const std::string& id : c.kept)
            EXPECT_TRUE(recent.Contains(id)) << id;
        if (c.name != std::string("random bytes")) {
            EXPECT_EQ(recent.Size(), c.kept.size());
        }
        // Whatever was read is written back as good lines only.
        bool again = true;
        EXPECT_EQ(RecentIds::Parse(recent.Text(), again).Text(), recent.Text());
        EXPECT_FALSE(again);
    }
}

TEST(RecentIds, ForgetsWhatLeftTheListLongAgoOrBeyondTheCount) {
    constexpr std::int64_t kDay = 24 * 60 * 60;
    const std::int64_t start = 1'800'000'000;
    RecentIds recent;
    // The list holds one id that never leaves; many more pass through it, a hundred a minute.
    const std::string kept = "altijd";
    const std::size_t passing = RecentIds::kMaxDeparted + 500;
    // Ids appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) of "p" + ....
    const auto id = [](std::size_t k) {
        std::string text = "p";
        text += std::to_string(k);
        return text;
    };
    for (std::size_t n = 0; n < passing; n += 100) {
        std::vector<std::string> listed{kept};
        for (std::size_t k = n; k < n + 100; ++k)
            listed.push_back(id(k));
        recent.Note(listed, start + static_cast<std::int64_t>(n) * 60);
    }
    const std::int64_t later = start + static_cast<std::int64_t>(passing) * 60;
    EXPECT_TRUE(recent.Note({kept}, later));
    EXPECT_EQ(recent.Size(), RecentIds::kMaxDeparted + 1);
    EXPECT_FALSE(recent.Contains("p499")) << "the oldest that left are forgotten first";
    EXPECT_TRUE(recent.Contains("p500"));
    EXPECT_TRUE(recent.Contains(id(passing - 1)));

    // Ninety days after an id left the list it is forgotten; one still listed stays, however
    // old; a time ahead of the clock counts as now.
    bool damaged = false;
    const std::string then = std::to_string(start);
    recent = RecentIds::Parse(then + " oud\r\n" + then + " weg\r\n" +
                                  std::to_string(start + 400 * kDay) + " toekomst\r\n",
                              damaged);
    EXPECT_FALSE(recent.Note({"oud"}, start + RecentIds::kKeepSeconds)) << "nothing forgotten";
    EXPECT_TRUE(recent.Note({"oud"}, start + RecentIds::kKeepSeconds + 1));
    EXPECT_TRUE(recent.Contains("oud"));
    EXPECT_FALSE(recent.Contains("weg"));
    EXPECT_TRUE(recent.Contains("toekomst"));
    EXPECT_TRUE(recent.Note({"oud"}, start + 2 * RecentIds::kKeepSeconds + 2));
    EXPECT_FALSE(recent.Contains("toekomst"));
}

// A folder where one of the files should be: ".id" and ".he" are written both or neither (the
// folder is found before anything is renamed), the recent ids on their own, and no temporary
// file stays behind.
TEST(MessageList, AFailedSaveNeverLeavesAPairThatDoesNotBelongTogether) {
    for (const auto which : {&ListFiles::ids, &ListFiles::headers, &ListFiles::seen}) {
        testsupport::TempDir dir;
        const ListFiles files = ListFilesFor(dir.Path(), "jan");
        RecentIds recent;
        recent.Note({"oud"}, 100);
        ASSERT_FALSE(SaveMessageList(files, {"oud"}, {"Oud\tx"}, recent));
        const std::filesystem::path& blocked = files.*which;
        SCOPED_TRACE(blocked.filename().string());
        std::filesystem::remove(blocked);
        std::filesystem::create_directories(blocked / "bezet");
        recent.Note({"nieuw"}, 200);
        EXPECT_EQ(SaveMessageList(files, {"nieuw"}, {"A\tx"}, recent),
                  std::make_error_code(std::errc::is_a_directory));
        const bool pairBlocked = which != &ListFiles::seen;
        if (which != &ListFiles::ids) {
            EXPECT_EQ(Read(files.ids), pairBlocked ? "oud\r\n" : "nieuw\r\n");
        }
        if (which != &ListFiles::headers) {
            EXPECT_EQ(Read(files.headers), pairBlocked ? "Oud\tx\r\n" : "A\tx\r\n");
        }
        if (pairBlocked) {
            EXPECT_EQ(Read(files.seen), "100 oud\r\n200 nieuw\r\n");
        }
        EXPECT_TRUE(std::filesystem::is_directory(blocked / "bezet"));
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
            EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
    }
}

} // namespace
} // namespace brevon
