#include <mail/MessageList.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <exception>
#include <fstream>
#include <utility>

#include <korp/KorpStreams.h>
#include <platform/AtomicWrite.h>

namespace brevon {

namespace {

constexpr std::string_view kFixedBase = "brevon";
// Far beyond any list a mailbox makes; a larger file is not one of ours, and reading it whole
// could exhaust memory.
constexpr std::uintmax_t kMaxFileSize = std::uintmax_t{256} << 20;

enum class FileState { Missing, Read, Unreadable };

struct FileText {
    FileState state = FileState::Missing;
    std::string text;
    std::string problem; // why it is unreadable
};

// The whole file, without exceptions: a folder in its place, a read error or a file too large
// to be a list all count as unreadable.
FileText ReadWhole(const std::filesystem::path& file) {
    FileText result;
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(file, error);
    if (status.type() == std::filesystem::file_type::not_found) return result;
    result.state = FileState::Unreadable;
    if (error) {
        result.problem = error.message();
        return result;
    }
    if (status.type() != std::filesystem::file_type::regular) {
        result.problem = "not a regular file";
        return result;
    }
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error || size > kMaxFileSize) {
        result.problem = error ? error.message() : "too large";
        return result;
    }
    // libstdc++'s file buffer throws on a read error whatever the stream's exception mask.
    try {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            result.problem = "cannot be opened";
            return result;
        }
        std::array<char, 65536> buffer{};
        while (in.read(buffer.data(), buffer.size()) || in.gcount() > 0) {
            const auto got = static_cast<std::size_t>(in.gcount());
            if (result.text.size() + got > kMaxFileSize) {
                result.problem = "too large";
                return result;
            }
            result.text.append(buffer.data(), got);
        }
        if (in.bad()) {
            result.problem = "read error";
            return result;
        }
    } catch (const std::exception& failure) {
        result.problem = failure.what();
        return result;
    }
    result.state = FileState::Read;
    return result;
}

// The lines of a list file; cut is set when the last line has no line end (every line is
// written with one, so the file was cut short).
std::vector<std::string> Lines(std::string_view text, bool& cut) {
    cut = !text.empty() && text.back() != '\n' && text.back() != '\r';
    korp::TStringList list;
    list.SetText(text);
    return std::move(list.Lines());
}

bool IsControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

// An id as a server gives it: not empty, no control characters.
bool IsId(std::string_view line) {
    return !line.empty() && std::none_of(line.begin(), line.end(), IsControl);
}

// A list line: sender name, one TAB, subject, and no other control character.
bool IsListLine(std::string_view line) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos) return false;
    const auto plain = [](std::string_view part) {
        return std::none_of(part.begin(), part.end(), IsControl);
    };
    return plain(line.substr(0, tab)) && plain(line.substr(tab + 1));
}

std::string Text(const std::vector<std::string>& lines) {
    korp::TStringList list;
    list.Lines() = lines;
    return list.Text();
}

// Whether file holds contents already, byte for byte: writing it again would change nothing on
// disk, only cost a flush of the file and its folder.
bool Holds(const std::filesystem::path& file, std::string_view contents) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error || size != contents.size()) return false;
    const FileText current = ReadWhole(file);
    return current.state == FileState::Read && current.text == contents;
}

void AddProblem(std::string& problems, const std::string& problem) {
    if (!problems.empty()) problems += "; ";
    problems += problem;
}

} // namespace

std::string ListFileBase(std::string_view user) {
    const std::size_t cut = user.find_last_of("\\/:");
    std::string base(cut == std::string_view::npos ? user : user.substr(cut + 1));
    if (base.empty() || base == "." || base == "..") base = kFixedBase;
    return base;
}

ListFiles ListFilesFor(const std::filesystem::path& folder, std::string_view user) {
    const std::string base = ListFileBase(user);
    return {folder / (base + ".id"), folder / (base + ".he"), folder / (base + ".seen")};
}

bool RecentIds::Note(const std::vector<std::string>& listed, std::int64_t now) {
    bool changed = false;
    for (const std::string& id : listed) {
        const auto [at, added] = seen_.insert_or_assign(id, now);
        changed = changed || added;
    }
    // What left the list, newest first; a time ahead of the clock (a clock set back, a damaged
    // file) counts as now, so nothing stays forever.
    std::unordered_map<std::string, bool> inList;
    inList.reserve(listed.size());
    for (const std::string& id : listed)
        inList.emplace(id, true);
    std::vector<std::pair<std::int64_t, const std::string*>> departed;
    for (auto& [id, when] : seen_) {
        if (inList.count(id)) continue;
        when = std::min(when, now);
        departed.emplace_back(when, &id);
    }
    std::sort(departed.begin(), departed.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : *a.second < *b.second;
    });
    std::vector<std::string> forget;
    for (std::size_t i = 0; i < departed.size(); ++i)
        if (i >= kMaxDeparted || now - departed[i].first > kKeepSeconds)
            forget.push_back(*departed[i].second);
    for (const std::string& id : forget)
        seen_.erase(id);
    return changed || !forget.empty();
}

std::string RecentIds::Text() const {
    std::vector<std::pair<std::int64_t, const std::string*>> all;
    all.reserve(seen_.size());
    for (const auto& [id, when] : seen_)
        all.emplace_back(when, &id);
    std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : *a.second < *b.second;
    });
    std::string text;
    for (const auto& [when, id] : all) {
        text += std::to_string(when);
        text += ' ';
        text += *id;
        text += "\r\n";
    }
    return text;
}

RecentIds RecentIds::Parse(std::string_view text, bool& damaged) {
    RecentIds recent;
    bool cut = false;
    std::vector<std::string> lines = Lines(text, cut);
    damaged = cut;
    if (cut) lines.pop_back();
    for (const std::string& line : lines) {
        const std::size_t blank = line.find(' ');
        std::int64_t when = 0;
        const char* first = line.data();
        const char* last = line.data() + (blank == std::string::npos ? 0 : blank);
        const auto [end, error] = std::from_chars(first, last, when);
        const std::string_view id = blank == std::string::npos
                                        ? std::string_view()
                                        : std::string_view(line).substr(blank + 1);
        if (blank == std::string::npos || blank == 0 || error != std::errc() || end != last ||
            when < 0 || !IsId(id)) {
            damaged = true;
            continue;
        }
        auto& stamp = recent.seen_[std::string(id)];
        stamp = std::max(stamp, when);
    }
    return recent;
}

StoredList ReadMessageList(const ListFiles& files) {
    StoredList list;
    const FileText idFile = ReadWhole(files.ids);
    if (idFile.state == FileState::Read) {
        bool cut = false;
        std::vector<std::string> ids = Lines(idFile.text, cut);
        if (cut) {
            AddProblem(list.problem, files.ids.filename().string() + ": cut short");
        } else if (!std::all_of(ids.begin(), ids.end(), [](const auto& id) { return IsId(id); })) {
            AddProblem(list.problem, files.ids.filename().string() + ": a line is not an id");
        } else {
            list.idState = StoredList::Ids::Read;
            list.ids = std::move(ids);
        }
        if (list.idState != StoredList::Ids::Read) list.idState = StoredList::Ids::Damaged;
    } else if (idFile.state == FileState::Unreadable) {
        list.idState = StoredList::Ids::Damaged;
        AddProblem(list.problem, files.ids.filename().string() + ": " + idFile.problem);
    }

    if (list.idState == StoredList::Ids::Read) {
        const FileText headerFile = ReadWhole(files.headers);
        bool cut = false;
        std::vector<std::string> lines;
        if (headerFile.state == FileState::Read) lines = Lines(headerFile.text, cut);
        if (cut) lines.pop_back();
        list.headers.resize(list.ids.size());
        for (std::size_t i = 0; i < list.ids.size(); ++i) {
            if (i < lines.size() && IsListLine(lines[i]))
                list.headers[i] = std::move(lines[i]);
            else
                ++list.headersMissing;
        }
        if (headerFile.state != FileState::Read)
            AddProblem(list.problem,
                       files.headers.filename().string() + ": " +
                           (headerFile.state == FileState::Missing ? std::string("missing")
                                                                   : headerFile.problem));
        else if (list.headersMissing > 0 || lines.size() != list.ids.size() || cut)
            AddProblem(list.problem, files.headers.filename().string() + ": " +
                                         std::to_string(list.headersMissing) +
                                         " lines missing or damaged");
        else
            list.headersWhole = true;
    }

    const FileText seenFile = ReadWhole(files.seen);
    if (seenFile.state == FileState::Read) {
        list.recent = RecentIds::Parse(seenFile.text, list.recentDamaged);
        if (list.recentDamaged)
            AddProblem(list.problem, files.seen.filename().string() + ": damaged lines skipped");
    } else if (seenFile.state == FileState::Unreadable) {
        list.recentDamaged = true;
        AddProblem(list.problem, files.seen.filename().string() + ": " + seenFile.problem);
    }
    return list;
}

bool LoadMessageList(const ListFiles& files, std::vector<std::string>& ids,
                     std::vector<std::string>& headers) {
    StoredList list = ReadMessageList(files);
    if (list.idState != StoredList::Ids::Read || !list.headersWhole) return false;
    ids = std::move(list.ids);
    headers = std::move(list.headers);
    return true;
}

std::error_code SaveMessageList(const ListFiles& files, const std::vector<std::string>& ids,
                                const std::vector<std::string>& headers, const RecentIds& recent) {
    if (const std::error_code error = platform::CreatePrivateDirectories(files.ids.parent_path()))
        return error;
    const auto blocked = [](const std::filesystem::path& file) {
        std::error_code error;
        return std::filesystem::is_directory(file, error);
    };
    // The recent ids first and on their own: they may run ahead of the list, never behind it,
    // so what is known is remembered even when the list itself cannot be written.
    std::error_code seenError = std::make_error_code(std::errc::is_a_directory);
    if (!blocked(files.seen)) {
        const std::string seenText = recent.Text();
        seenError = Holds(files.seen, seenText)
                        ? std::error_code()
                        : platform::WriteFileAtomically(files.seen, seenText);
    }
    // A folder where one of the pair should be would fail its rename after the other went
    // through, leaving files that do not belong together: refuse before anything is renamed.
    if (blocked(files.headers) || blocked(files.ids))
        return std::make_error_code(std::errc::is_a_directory);
    const std::string idText = Text(ids);
    const std::string headerText = Text(headers);
    // A file that already says what it would be given is left alone; what is written still
    // goes ".he" first, ".id" last.
    std::vector<platform::FileContents> changed;
    for (const platform::FileContents& f : {platform::FileContents{files.headers, headerText},
                                            platform::FileContents{files.ids, idText}})
        if (!Holds(f.file, f.contents)) changed.push_back(f);
    if (!changed.empty())
        if (const std::error_code error = platform::WriteFilesAtomically(changed)) return error;
    return seenError;
}

} // namespace brevon
