// The settings store where there is no registry: every key of the user lives in one private
// file (SettingsFile's text form). The file is replaced atomically at each commit and is never
// overwritten while it cannot be read. A file that is damaged (whole, or some lines of it) is
// kept aside as "<file>.damaged-YYYYMMDD-HHMMSS" before a write replaces it; a file too large to
// be a settings file is never read, only kept aside.
#pragma once

#include <filesystem>

#include <platform/SettingsStore.h>

namespace platform {

class FileSettingsStore final : public SettingsStore {
public:
    // An empty path stands for "no place to keep settings": every open fails with no_location.
    explicit FileSettingsStore(std::filesystem::path file);

    OpenKeyResult OpenKey(std::string_view path, OpenMode mode) override;
    const std::filesystem::path& File() const { return file_; }

    // "settings.reg" in UserConfigDir().
    static std::filesystem::path DefaultFile();
    // The settings file in another configuration folder; empty when dir is empty.
    static std::filesystem::path FileIn(const std::filesystem::path& dir);

private:
    std::filesystem::path file_;
};

} // namespace platform
