#include <platform/MimeTypes.h>

#include <fstream>
#include <sstream>
#include <unordered_map>

namespace platform {

namespace {

std::string LowerAscii(std::string_view s) {
    std::string lower(s);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// Debian's media-types package: "type ext ext ..." per line, "#" comments.
std::unordered_map<std::string, std::string> LoadMimeTypes() {
    std::unordered_map<std::string, std::string> table;
    std::ifstream in("/etc/mime.types");
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::string type;
        std::string ext;
        if (!(words >> type)) continue;
        while (words >> ext)
            table.emplace(LowerAscii(ext), type); // first listing wins
    }
    return table;
}

} // namespace

std::string MimeTypeOfExtension(std::string_view extension) {
    static const std::unordered_map<std::string, std::string> table = LoadMimeTypes();
    const auto it = table.find(LowerAscii(extension));
    return it != table.end() ? it->second : std::string();
}

} // namespace platform
