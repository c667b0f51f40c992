// Writing a whole file so that readers see the old contents or the new, never a mix: a
// temporary file in the same folder, flushed to disk, renamed over the target.
#pragma once

#include <filesystem>
#include <span>
#include <string_view>
#include <system_error>

namespace platform {

// The file gets owner-only permissions (0600). On failure the target is untouched and no
// temporary file is left behind.
std::error_code WriteFileAtomically(const std::filesystem::path& file, std::string_view contents);

struct FileContents {
    std::filesystem::path file;
    std::string_view contents;
};

// Writes several files that belong together: every temporary file is written and flushed
// before the first rename, so a failure (a full disk, say) leaves all targets as they were. The
// renames follow one another in the given order.
std::error_code WriteFilesAtomically(std::span<const FileContents> files);

// Creates the folder and its missing parents with owner-only permissions (0700); folders that
// exist already are left as they are.
std::error_code CreatePrivateDirectories(const std::filesystem::path& dir);

} // namespace platform
