// The message list's files, kept per user in the user's data folder: "<base>.id" (one unique
// id a line) and "<base>.he" (one list line a line), in reading order, and "<base>.seen", the
// ids the list held in the recent past, so that a message that leaves the list for a while is
// not new when it comes back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

namespace brevon {

// The base name of the list files: the "User" setting without any path part (everything up
// to the last "\", "/" or ":"). A user name that leaves nothing usable ("", ".", "..") gets a
// fixed name, so the files always stay inside the data folder.
std::string ListFileBase(std::string_view user);

struct ListFiles {
    std::filesystem::path ids;     // <base>.id
    std::filesystem::path headers; // <base>.he
    std::filesystem::path seen;    // <base>.seen
};
ListFiles ListFilesFor(const std::filesystem::path& folder, std::string_view user);

// The ids the list held lately, each with the time (seconds since the epoch) it was last in
// the list. Bounded: an id that left the list is forgotten after kKeepSeconds, and of those
// that left only the kMaxDeparted most recent are kept; ids still in the list always stay.
class RecentIds {
public:
    static constexpr std::int64_t kKeepSeconds = 90LL * 24 * 60 * 60;
    static constexpr std::size_t kMaxDeparted = 10000;

    bool Contains(const std::string& id) const { return seen_.count(id) != 0; }
    std::size_t Size() const { return seen_.size(); }
    bool Empty() const { return seen_.empty(); }
    void Clear() { seen_.clear(); }
    // The list now holds these ids: each is stamped with now, then what left the list is
    // forgotten beyond the bounds. True when an id was added or forgotten.
    bool Note(const std::vector<std::string>& listed, std::int64_t now);

    // The file form: "<seconds> <id>" a line, each ended by CR LF, oldest first.
    std::string Text() const;
    // Reads the file form as far as it can: a line that is cut, empty or not of that form is
    // skipped, and damaged is set.
    static RecentIds Parse(std::string_view text, bool& damaged);

private:
    std::unordered_map<std::string, std::int64_t> seen_;
};

// What was read of the list files.
struct StoredList {
    enum class Ids {
        Missing, // no ".id" file: no list yet
        Read,    // read whole
        Damaged, // there, but unreadable, or a line of it is cut or not an id: worth nothing
    };
    Ids idState = Ids::Missing;
    std::vector<std::string> ids; // empty unless Read
    // One per id. The ".id" file says which mail is known; a line of ".he" that is missing or
    // damaged is empty here, to be fetched again from the server.
    std::vector<std::string> headers;
    std::size_t headersMissing = 0;
    bool headersWhole = false; // ".he" holds exactly one good line per id
    RecentIds recent;
    bool recentDamaged = false; // ".seen" was there but could not be read whole
    // For the trace: what was wrong with the files, in a few words; empty when nothing was.
    std::string problem;
};

// Reads the three files (lines end at CR LF, LF or CR). Never throws.
StoredList ReadMessageList(const ListFiles& files);

// True, with the lists filled, when both ".id" and ".he" were read whole and belong together;
// false, with the lists untouched, otherwise.
bool LoadMessageList(const ListFiles& files, std::vector<std::string>& ids,
                     std::vector<std::string>& headers);

// Writes the files (each line ended by CR LF), creating the folder when needed: a failure or a
// crash leaves the old files, never a half-written one. ".seen" goes first, on its own, so the
// recent ids cover the list on disk; ".he" and ".id" go together, ".id" renamed last. A file
// that already holds what it would be given is not written again. The first error, if any, is
// returned.
std::error_code SaveMessageList(const ListFiles& files, const std::vector<std::string>& ids,
                                const std::vector<std::string>& headers,
                                const RecentIds& recent = {});

} // namespace brevon
