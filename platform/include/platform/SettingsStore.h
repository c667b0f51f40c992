// A per-user settings store with the registry's semantics: keys below the current user's root
// hold named values of two types, 32-bit integers and byte strings. On Windows the registry itself
// backs it; elsewhere one private file per user (see FileSettingsStore).
//
// Errors are returned, never thrown: std::error_code values of settings_category() for the
// store's own conditions, the system category for failed system calls.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

namespace platform {

enum class SettingsErrc {
    key_not_found = 1, // opened without creating, and the key does not exist
    value_not_found,   // no value of that name in the key
    wrong_type,        // the value exists but holds the other type
    invalid_name,      // a key path the store cannot hold (empty part, control character)
    corrupt_file,      // the backing file cannot be read as a settings file, or the key may
                       // have stood on a part of it that could not be read
    too_large,         // the key would make the backing file larger than the store accepts
    no_location,       // no per-user place to keep settings (no home directory)
};

const std::error_category& settings_category() noexcept;
std::error_code make_error_code(SettingsErrc e) noexcept;

// One open key. Reads see the key as it was at opening plus this object's own writes. Writes
// reach the store at Close() (or at destruction, errors then unreported), all together or not at
// all, so a crash never leaves some values new and others old.
class SettingsKey {
public:
    virtual ~SettingsKey() = default;

    virtual std::error_code ReadInteger(std::string_view name, std::int32_t& value) const = 0;
    // The string comes back at its full length, zero bytes included.
    virtual std::error_code ReadString(std::string_view name, std::string& value) const = 0;
    virtual bool ValueExists(std::string_view name) const = 0;

    // Writing replaces a value of either type.
    virtual std::error_code WriteInteger(std::string_view name, std::int32_t value) = 0;
    virtual std::error_code WriteString(std::string_view name, std::string_view value) = 0;
    // value_not_found when there was no such value; callers that do not mind ignore it.
    virtual std::error_code DeleteValue(std::string_view name) = 0;

    // Hands pending writes to the store. The key stays usable afterwards.
    virtual std::error_code Close() = 0;
};

enum class OpenMode { Existing, Create };

struct OpenKeyResult {
    std::unique_ptr<SettingsKey> key; // null when error is set
    std::error_code error;
    // What went wrong, for a person: names the file and line where known. Also set beside a
    // key when part of the store could not be read and was skipped.
    std::string detail;
    // Where a damaged store was kept aside before a created key may write over it; empty when
    // nothing was (always so for the registry).
    std::string keptAside;
};

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // path: below the current user's root, parts separated by '\', a leading '\' optional.
    // Key paths and value names compare case-insensitively (ASCII), as in the registry.
    virtual OpenKeyResult OpenKey(std::string_view path, OpenMode mode) = 0;
};

// The current user's store of this platform.
std::unique_ptr<SettingsStore> OpenUserSettingsStore();

} // namespace platform

template <> struct std::is_error_code_enum<platform::SettingsErrc> : std::true_type {};
