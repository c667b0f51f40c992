#include "Trace.h"

#include <cstdio>
#include <cstdlib>

namespace brevon {

void Trace(std::string_view line) {
    const char* file = std::getenv("BREVON_TRACE");
    if (file == nullptr || *file == '\0') return;
    std::FILE* out = std::fopen(file, "a");
    if (out == nullptr) return;
    std::fwrite(line.data(), 1, line.size(), out);
    std::fputc('\n', out);
    std::fclose(out);
}

} // namespace brevon
