// Where the program finds its files. Read-only data (lid.cfg, models, help, pictures) sits next
// to the executable, or in the install's share folder; per-user files (the message lists, the
// settings) go to the user's own folders, following the XDG base directory rules on POSIX.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The running program's own file and folder; empty when the system does not tell.
std::filesystem::path ExecutablePath();
std::filesystem::path ExecutableDir();

// The user's base folder for configuration ($XDG_CONFIG_HOME, by default ~/.config); empty when
// there is no home folder.
std::filesystem::path UserConfigHome();

// The user's folder for this program's settings ($XDG_CONFIG_HOME/brevon, by default
// ~/.config/brevon) and for its data ($XDG_DATA_HOME/brevon, by default ~/.local/share/brevon).
// Empty when there is no home folder. Neither is created here (see CreatePrivateDirectories).
std::filesystem::path UserConfigDir();
std::filesystem::path UserDataDir();

// A file of that name in UserDataDir(). Empty when fileName is not a plain file name (empty,
// "." or "..", or holding a path separator), so a name taken from outside input cannot point
// anywhere else.
std::filesystem::path UserDataFile(std::string_view fileName);

// The folders searched for read-only data, in order: the executable's folder, then
// <executable's folder>/../share/brevon.
std::vector<std::filesystem::path> ReadOnlyDataDirs();

// The first existing file of that name in ReadOnlyDataDirs(); when none exists, the name in
// the first folder, so an error message names the place where it was looked for first.
std::filesystem::path FindReadOnlyDataFile(std::string_view fileName);

// The folder as the start of a file name: with the system's separator at its end ('/', or '\' on
// Windows), unless it is empty or ends in either separator already. For the libraries that take
// a folder as a plain string prefix.
std::string WithTrailingSeparator(std::string folder);

} // namespace platform
