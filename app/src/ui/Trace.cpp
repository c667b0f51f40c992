#include "Trace.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace brevon {

void Trace(std::string_view line) {
    const char* file = std::getenv("BREVON_TRACE");
    if (!file || !*file) return;
    if (std::FILE* out = std::fopen(file, "a")) {
        std::string text(line);
        text += '\n';
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
    }
}

} // namespace brevon
