// A fresh private folder under the temporary folder for one test (or one benchmark), removed
// with everything in it at the end, also when a test took its owner's rights away.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace testsupport {

class TempDir {
public:
    explicit TempDir(const std::string& prefix = "brevontest") {
        std::random_device random;
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        for (int tries = 0; tries < 100 && path_.empty(); ++tries) {
            std::filesystem::path candidate = base / (prefix + "-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate, ec)) {
                // Private, as mkdtemp makes it.
                std::filesystem::permissions(candidate, std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::replace, ec);
                path_ = std::move(candidate);
            }
        }
    }
    ~TempDir() {
        if (path_.empty()) return;
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Empty when no folder could be made.
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace testsupport
