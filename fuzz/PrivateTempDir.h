// A private temporary folder for a fuzz target: TMPDIR points at it, it is removed at exit, and
// a target checks after every input that nothing was left in it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <stdlib.h>

namespace fuzzing {

inline std::string& PrivateTempDir() {
    static std::string dir;
    return dir;
}

// Call from LLVMFuzzerInitialize.
inline void UsePrivateTempDir(const char* prefix) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    PrivateTempDir() = pattern;
    setenv("TMPDIR", pattern.c_str(), 1);
    std::atexit([] { std::filesystem::remove_all(PrivateTempDir()); });
}

// Aborts the run when an input left a file behind.
inline void RequireEmptyTempDir() {
    if (std::filesystem::is_empty(PrivateTempDir())) return;
    std::fprintf(stderr, "temporary file left behind in %s\n", PrivateTempDir().c_str());
    std::abort();
}

} // namespace fuzzing
