// The mail check on a damaged disk: list files that cannot be read or are damaged, a data folder
// that cannot be written for a while, and messages that leave the mailbox and come back. brevon
// runs on, says what is wrong once, and never announces a message twice, also after a restart
// (a new mail side on the same folder).
#include <mail/MailCheck.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifdef __linux__
#include <sys/mount.h>
#endif

#include <mail/MailContext.h>
#include <mail/MessageList.h>

#include "MailRig.h"

namespace brevon {
namespace {

using fakes::MailRig;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string Line(int n) {
    return "Afzender " + std::to_string(n) + "\tBericht " + std::to_string(n);
}

std::vector<std::string> Lines(int newest, int oldest) {
    std::vector<std::string> lines;
    for (int n = newest; n >= oldest; --n)
        lines.push_back(Line(n));
    return lines;
}

// The messages the header sentences announced, by number, in the order said.
std::vector<int> Announced(const MailRig& rig) {
    static const std::string kMark = "Onderwerp: Bericht ";
    std::vector<int> numbers;
    for (const fakes::FakeSpeech::Said& said : rig.speech.said) {
        if (said.window != &rig.headerWindow) continue;
        const std::size_t at = said.text.find(kMark);
        if (at != std::string::npos)
            numbers.push_back(std::atoi(said.text.c_str() + at + kMark.size()));
    }
    return numbers;
}

int TimesSaid(const MailRig& rig, const std::string& start) {
    const std::vector<std::string> said = rig.Said();
    return static_cast<int>(std::count_if(said.begin(), said.end(), [&](const std::string& text) {
        return text.rfind(start, 0) == 0;
    }));
}

// brevon started on the folder with messages 1 to count on the server.
std::unique_ptr<MailRig> Start(const std::filesystem::path& folder, int count) {
    auto rig = std::make_unique<MailRig>(nullptr, folder);
    rig->AddMessages(1, count);
    rig->state.SayNoNewMail = true;
    return rig;
}

std::string RandomBytes(unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(4096, '\0');
    for (char& c : bytes)
        c = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random));
    return bytes;
}

void Write(const std::filesystem::path& file, const std::string& text) {
    std::filesystem::remove_all(file);
    std::ofstream(file, std::ios::binary) << text;
}

void Folder(const std::filesystem::path& file) {
    std::filesystem::remove_all(file);
    std::filesystem::create_directories(file / "inside");
}

// Messages 1 to 3 were listed in an earlier run, then the files were damaged; message 4 came
// meanwhile. What cannot be trusted is said once (the ".id" list: it is what says which mail
// is known); lost list lines are fetched again; the recent ids, when whole, still tell what is
// new, and without them the first listing announces nothing.
TEST(MailCheckDisk, DamagedListFilesAreSaidOnceAndNothingIsAnnouncedTwice) {
    const struct {
        const char* name;
        std::function<void(const ListFiles&)> damage;
        bool readSaid;              // the unreadable-list sentence
        bool saveSaid;              // the folder in the way makes saving fail
        std::vector<int> announced; // of message 4, the only new one
        int fetched;                // headers asked of the server
    } cases[] = {
        {".id a folder", [](const ListFiles& f) { Folder(f.ids); }, true, true, {4}, 4},
        {".id cut short",
         [](const ListFiles& f) { Write(f.ids, "u3\r\nu2\r\nu"); },
         true,
         false,
         {4},
         4},
        {".id random bytes",
         [](const ListFiles& f) { Write(f.ids, RandomBytes(1)); },
         true,
         false,
         {4},
         4},
        {".id random bytes, no .seen (an older install)",
         [](const ListFiles& f) {
             Write(f.ids, RandomBytes(2));
             std::filesystem::remove(f.seen);
         },
         true,
         false,
         {},
         4},
        {".id and .seen random bytes",
         [](const ListFiles& f) {
             Write(f.ids, RandomBytes(3));
             Write(f.seen, RandomBytes(4));
         },
         true,
         false,
         {},
         4},
        {".he a folder", [](const ListFiles& f) { Folder(f.headers); }, false, true, {4}, 4},
        {".he shorter",
         [](const ListFiles& f) { Write(f.headers, Line(3) + "\r\n"); },
         false,
         false,
         {4},
         3},
        {".he longer",
         [](const ListFiles& f) {
             Write(f.headers, Line(3) + "\r\n" + Line(2) + "\r\n" + Line(1) + "\r\nX\ty\r\n");
         },
         false,
         false,
         {4},
         1},
        {".he random bytes",
         [](const ListFiles& f) { Write(f.headers, RandomBytes(5)); },
         false,
         false,
         {4},
         4},
        {".seen random bytes",
         [](const ListFiles& f) { Write(f.seen, RandomBytes(6)); },
         false,
         false,
         {4},
         1},
        {".seen a folder", [](const ListFiles& f) { Folder(f.seen); }, false, true, {4}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir data;
        const ListFiles files = ListFilesFor(data.Path(), "jan");
        {
            const auto earlier = Start(data.Path(), 3);
            earlier->CheckAndListen();
            ASSERT_THAT(Announced(*earlier), ElementsAre(3, 2, 1));
        }
        c.damage(files);

        const auto rig = Start(data.Path(), 4);
        rig->CheckAndListen();
        rig->CheckAndListen();
        EXPECT_EQ(Announced(*rig), c.announced);
        EXPECT_EQ(rig->box.Count("TOP"), c.fetched);
        EXPECT_EQ(TimesSaid(*rig, kCannotReadListSentence), c.readSaid ? 1 : 0);
        EXPECT_EQ(TimesSaid(*rig, kCannotSaveListSentence), c.saveSaid ? 1 : 0);
        EXPECT_EQ(rig->state.KnownHeaders, Lines(4, 1));
        EXPECT_TRUE(rig->state.Online);
        EXPECT_EQ(rig->shell.optionsShown, 0);
        if (!c.saveSaid) {
            std::vector<std::string> ids, lines;
            ASSERT_TRUE(LoadMessageList(files, ids, lines)) << "repaired on disk";
            EXPECT_EQ(lines, Lines(4, 1));
        }

        // Started again on what is on disk now: nothing is new.
        const auto again = Start(data.Path(), 4);
        again->CheckAndListen();
        EXPECT_THAT(Announced(*again), IsEmpty());
        EXPECT_EQ(again->state.KnownHeaders, Lines(4, 1));
    }
}

// Makes a data folder that cannot be written, and writable again.
class Blocker {
public:
    virtual ~Blocker() = default;
    virtual void Free() = 0;
};

// A file where the folder should be.
class FileInTheWay : public Blocker {
public:
    explicit FileInTheWay(std::filesystem::path path) : path_(std::move(path)) {
        Write(path_, "bezet");
    }
    void Free() override { std::filesystem::remove(path_); }

private:
    std::filesystem::path path_;
};

#ifdef __linux__
// A small file system of its own, filled up.
class FullTmpfs : public Blocker {
public:
    explicit FullTmpfs(std::filesystem::path path) : path_(std::move(path)) {
        std::filesystem::create_directories(path_);
        if (::mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k,mode=0700") !=
            0)
            return;
        mounted_ = true;
        std::ofstream filler(path_ / "vol", std::ios::binary);
        const std::string block(4096, 'x');
        for (int i = 0; i < 64 && filler; ++i)
            filler.write(block.data(), static_cast<std::streamsize>(block.size())).flush();
    }
    ~FullTmpfs() override {
        if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
    }
    bool Mounted() const { return mounted_; }
    void Free() override { std::filesystem::remove(path_ / "vol"); }

private:
    std::filesystem::path path_;
    bool mounted_ = false;
};
#endif

// The lists cannot be saved for a while: they are kept in memory, so nothing is announced
// twice in this run; the failure is said once, with the folder; the save is tried again at
// each check, also one with no new mail, and goes through once the folder can be written;
// after a restart nothing is new.
TEST(MailCheckDisk, AListThatCannotBeSavedIsKeptAndSavedAtTheNextCheckThatCan) {
    const struct {
        const char* name;
        std::function<std::unique_ptr<Blocker>(const std::filesystem::path& root)> block;
    } cases[] = {
        {"a file where the data folder should be",
         [](const std::filesystem::path& root) {
             return std::make_unique<FileInTheWay>(root / "data");
         }},
#ifdef __linux__
        {"a full file system",
         [](const std::filesystem::path& root) -> std::unique_ptr<Blocker> {
             auto full = std::make_unique<FullTmpfs>(root / "data");
             if (!full->Mounted()) return nullptr;
             return full;
         }},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir root;
        const std::unique_ptr<Blocker> blocker = c.block(root.Path());
        if (!blocker) {
            std::printf("skipped \"%s\": a tmpfs cannot be mounted here (needs root)\n", c.name);
            continue;
        }
        const std::filesystem::path folder = root.Path() / "data" / "brevon";
        const std::string sentence = kCannotSaveListSentence + folder.string();

        const auto rig = Start(folder, 3);
        rig->CheckAndListen();
        EXPECT_THAT(Announced(*rig), ElementsAre(3, 2, 1));
        EXPECT_EQ(TimesSaid(*rig, sentence), 1);
        EXPECT_THAT(rig->window.status, ::testing::StartsWith("Cannot save the message list in "));
        rig->CheckAndListen();
        rig->AddMessages(4, 4);
        rig->CheckAndListen();
        EXPECT_THAT(Announced(*rig), ElementsAre(3, 2, 1, 4));
        EXPECT_EQ(TimesSaid(*rig, kCannotSaveListSentence), 1) << "said once";
        EXPECT_TRUE(rig->state.Online);

        blocker->Free();
        const std::size_t said = rig->speech.said.size();
        rig->CheckAndListen(); // no new mail, but a save is owed
        EXPECT_EQ(rig->speech.said.size(), said) << "nothing more is said";
        EXPECT_EQ(rig->window.status, "Message list saved.");
        std::vector<std::string> ids, lines;
        ASSERT_TRUE(LoadMessageList(ListFilesFor(folder, "jan"), ids, lines));
        EXPECT_EQ(ids, rig->state.KnownIds);
        EXPECT_EQ(lines, Lines(4, 1));

        const auto again = Start(folder, 4);
        again->CheckAndListen();
        EXPECT_THAT(again->Said(), ElementsAre(kNoNewMailSentence));
    }
}

// A message missing from one check (a server's hiccup, another client moving it out and back)
// is not new when it returns, in this run or after a restart, whatever the fetch limit says.
TEST(MailCheckDisk, AMessageThatLeavesAndComesBackIsNotAnnouncedAgain) {
    const struct {
        const char* name;
        bool useLimit;
        int leaving; // message number
    } cases[] = {
        {"the newest, with the fetch limit", true, 5},
        {"an older one, without the fetch limit", false, 2},
        {"the newest, without the fetch limit", false, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir data;
        const auto rig = Start(data.Path(), 5);
        rig->settings.UseNumSaveMails = c.useLimit;
        rig->CheckAndListen();
        ASSERT_THAT(Announced(*rig), ElementsAre(5, 4, 3, 2, 1));
        auto& messages = rig->box.messages;
        const auto at = messages.begin() + (c.leaving - 1);
        const fakes::FakeMailbox::Message leaving = *at;
        messages.erase(at);
        rig->CheckAndListen();
        messages.insert(messages.begin() + (c.leaving - 1), leaving);
        rig->CheckAndListen();
        EXPECT_THAT(Announced(*rig), ElementsAre(5, 4, 3, 2, 1));
        EXPECT_EQ(rig->state.KnownHeaders, Lines(5, 1));

        // Gone again when brevon stops; back, with a new one, after it started.
        messages.erase(messages.begin() + (c.leaving - 1));
        rig->CheckAndListen();
        const auto again = Start(data.Path(), 6);
        again->settings.UseNumSaveMails = c.useLimit;
        again->CheckAndListen();
        EXPECT_THAT(Announced(*again), ElementsAre(6));
        EXPECT_EQ(again->state.KnownHeaders, Lines(6, 1));
    }
}

} // namespace
} // namespace brevon
