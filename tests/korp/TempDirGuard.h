// Points TMPDIR at a fresh private folder for one test and checks on the way out that every
// temporary file the code under test made has been deleted.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

class TempDirGuard {
public:
    TempDirGuard() {
        std::string pattern = (std::filesystem::temp_directory_path() / "korptestXXXXXX").string();
        dir_ = mkdtemp(pattern.data());
        const char* old = std::getenv("TMPDIR");
        if (old != nullptr) saved_ = old;
        hadOld_ = old != nullptr;
        setenv("TMPDIR", dir_.c_str(), 1);
    }
    ~TempDirGuard() {
        if (hadOld_)
            setenv("TMPDIR", saved_.c_str(), 1);
        else
            unsetenv("TMPDIR");
        std::filesystem::remove_all(dir_);
    }
    TempDirGuard(const TempDirGuard&) = delete;
    TempDirGuard& operator=(const TempDirGuard&) = delete;

    const std::string& Dir() const { return dir_; }
    int FilesLeft() const {
        int n = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_))
            ++n;
        return n;
    }

private:
    std::string dir_;
    std::string saved_;
    bool hadOld_ = false;
};
