// Temporary files in the user's temporary folder.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>

namespace platform {

// The user's temporary folder, ending in a separator: TMPDIR when set (else /tmp) on POSIX,
// GetTempPath on Windows.
std::string TempFolder();

// Creates a fresh, empty file whose name starts with prefix in TempFolder(), readable and
// writable by its owner only, and sets name to its full name. The file stays, so that no one else
// can take the name before the caller opens it; the caller deletes it.
std::error_code CreateTempFile(std::string_view prefix, std::string& name);

// A fresh temporary file as CreateTempFile makes it, open for reading and writing, that the
// system removes once it is closed, also when the process dies: on POSIX its name goes as soon as
// it is open, on Windows it is deleted when its handle closes. On failure file is null, and name
// is empty when no file could be created, or names the file that could not be opened.
std::error_code OpenTempFile(std::string_view prefix, std::FILE*& file, std::string& name);

} // namespace platform
