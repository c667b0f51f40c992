// The message list's two files: "<base>.id" (one unique id a line) and "<base>.he" (one list
// line a line), in reading order, kept per user in the user's data folder.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace brevon {

// The base name of the list files: the "User" setting without any path part (everything up
// to the last "\", "/" or ":"). A user name that leaves nothing usable ("", ".", "..") gets a
// fixed name, so the files always stay inside the data folder.
std::string ListFileBase(std::string_view user);

struct ListFiles {
    std::filesystem::path ids;     // <base>.id
    std::filesystem::path headers; // <base>.he
};
ListFiles ListFilesFor(const std::filesystem::path& folder, std::string_view user);

// Reads both files (lines end at CR LF, LF or CR). False, with the lists untouched, when
// either file is missing or unreadable, or when they hold different numbers of lines: lists
// that do not belong together are worth nothing.
bool LoadMessageList(const ListFiles& files, std::vector<std::string>& ids,
                     std::vector<std::string>& headers);

// Writes both files together (each line ended by CR LF), creating the folder when needed: a
// failure or a crash leaves the old pair, never a half-written file.
std::error_code SaveMessageList(const ListFiles& files, const std::vector<std::string>& ids,
                                const std::vector<std::string>& headers);

} // namespace brevon
