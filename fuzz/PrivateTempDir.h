// A private temporary folder for a fuzz target: TMPDIR points at it, it is removed at exit, and
// a target checks after every input that nothing was left in it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <stdlib.h>

#include "TempDir.h"

namespace fuzzing {

inline std::string& PrivateTempDir() {
    static std::string dir;
    return dir;
}

// Call from LLVMFuzzerInitialize.
inline void UsePrivateTempDir(const char* prefix) {
    static const testsupport::TempDir dir(prefix); // removed at exit
    if (dir.Path().empty()) std::abort();
    PrivateTempDir() = dir.Path().string();
    setenv("TMPDIR", PrivateTempDir().c_str(), 1);
}

// Aborts the run when an input left a file behind.
inline void RequireEmptyTempDir() {
    if (std::filesystem::is_empty(PrivateTempDir())) return;
    std::fprintf(stderr, "temporary file left behind in %s\n", PrivateTempDir().c_str());
    std::abort();
}

} // namespace fuzzing
