// Points the temporary folder (TMPDIR, on Windows TMP, which GetTempPath reads first) at a fresh
// private folder for one test and checks on the way out that every temporary file the code under
// test made has been deleted.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "TempDir.h"

class TempDirGuard {
public:
#ifdef _WIN32
    static constexpr const char* kVariable = "TMP";
#else
    static constexpr const char* kVariable = "TMPDIR";
#endif

    TempDirGuard() : dir_(folder_.Path().string()) {
        const char* old = std::getenv(kVariable);
        if (old != nullptr) saved_ = old;
        hadOld_ = old != nullptr;
        Set(dir_);
    }
    ~TempDirGuard() {
        if (hadOld_)
            Set(saved_);
        else
            Unset();
    }
    TempDirGuard(const TempDirGuard&) = delete;
    TempDirGuard& operator=(const TempDirGuard&) = delete;

    const std::string& Dir() const {
        return dir_;
    }
    int FilesLeft() const {
        int n = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_))
            ++n;
        return n;
    }

private:
#ifdef _WIN32
    static void Set(const std::string& value) {
        _putenv_s(kVariable, value.c_str());
    }
    static void Unset() {
        _putenv_s(kVariable, "");
    }
#else
    static void Set(const std::string& value) {
        setenv(kVariable, value.c_str(), 1);
    }
    static void Unset() {
        unsetenv(kVariable);
    }
#endif

    testsupport::TempDir folder_{"korptest"};
    std::string dir_;
    std::string saved_;
    bool hadOld_ = false;
};
