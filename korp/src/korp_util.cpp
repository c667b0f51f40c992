#include <korp/korp_util.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>
#include <unordered_map>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <korp/KorpErrors.h>

namespace korp {

std::string_view Trim(std::string_view s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
        --e;
    return s.substr(b, e - b);
}

std::string UpperCase(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return r;
}

std::string LowerCase(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return r;
}

#ifdef _WIN32

std::string TempFolder() {
    char path[MAX_PATH];
    const DWORD n = GetTempPathA(MAX_PATH, path);
    return n > 0 && n < MAX_PATH ? std::string(path, n) : std::string(".\\");
}

std::string MakeTempFileName() {
    char name[MAX_PATH];
    // GetTempFileName uses three characters of the prefix and creates the file.
    if (GetTempFileNameA(TempFolder().c_str(), "korp", 0, name) == 0)
        throw EStreamError("Cannot create a temporary file in " + TempFolder());
    return name;
}

namespace {
std::FILE* OpenTemp(std::string& name) {
    name = MakeTempFileName();
    std::FILE* f = std::fopen(name.c_str(), "w+bD"); // D: deleted when closed
    if (f == nullptr) {
        DeleteFileA(name.c_str());
        throw EStreamError("Cannot open temporary file \"" + name + "\"");
    }
    return f;
}
} // namespace

#else

std::string TempFolder() {
    const char* dir = std::getenv("TMPDIR");
    std::string folder = dir != nullptr && *dir != '\0' ? dir : "/tmp";
    if (folder.back() != '/') folder += '/';
    return folder;
}

namespace {
// mkstemp creates the file with mode 0600 and O_EXCL, so the name is ours alone.
int CreateTemp(std::string& name) {
    std::string pattern = TempFolder() + "korpXXXXXX";
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        throw EStreamError("Cannot create a temporary file in " + TempFolder() + ": " +
                           std::strerror(errno));
    name = pattern;
    return fd;
}

std::FILE* OpenTemp(std::string& name) {
    const int fd = CreateTemp(name);
    // The open file outlives its name: a process that crashes or is killed leaves nothing in
    // the temporary folder.
    unlink(name.c_str());
    std::FILE* f = fdopen(fd, "w+b");
    if (f == nullptr) {
        const int err = errno;
        close(fd);
        throw EStreamError("Cannot open temporary file \"" + name + "\": " + std::strerror(err));
    }
    return f;
}
} // namespace

std::string MakeTempFileName() {
    std::string name;
    close(CreateTemp(name));
    return name;
}

#endif

namespace {
std::pair<std::FILE*, std::string> OpenTempFile() {
    std::string name;
    std::FILE* f = OpenTemp(name);
    return {f, std::move(name)};
}
} // namespace

TKorpTempFile::TKorpTempFile() : TFileStream(OpenTempFile()) {}

TKorpTempFile::~TKorpTempFile() {
    Close();
    std::remove(FileName().c_str());
}

#ifdef _WIN32

namespace {
// What a bare Windows (or Wine) registry may lack: the types mail attachments mostly have.
std::string KnownMimeType(const std::string& ext) {
    static constexpr std::pair<std::string_view, std::string_view> kTypes[] = {
        {".bmp", "image/bmp"},
        {".csv", "text/csv"},
        {".doc", "application/msword"},
        {".docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
        {".eml", "message/rfc822"},
        {".gif", "image/gif"},
        {".htm", "text/html"},
        {".html", "text/html"},
        {".ics", "text/calendar"},
        {".jpeg", "image/jpeg"},
        {".jpg", "image/jpeg"},
        {".mp3", "audio/mpeg"},
        {".odt", "application/vnd.oasis.opendocument.text"},
        {".pdf", "application/pdf"},
        {".png", "image/png"},
        {".ppt", "application/vnd.ms-powerpoint"},
        {".pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
        {".rtf", "application/rtf"},
        {".tif", "image/tiff"},
        {".tiff", "image/tiff"},
        {".txt", "text/plain"},
        {".vcf", "text/vcard"},
        {".wav", "audio/x-wav"},
        {".xls", "application/vnd.ms-excel"},
        {".xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
        {".xml", "application/xml"},
        {".zip", "application/zip"},
    };
    const std::string lower = LowerCase(ext);
    for (const auto& [known, type] : kTypes)
        if (lower == known) return std::string(type);
    return {};
}
} // namespace

// The registry's "Content Type" of the extension first, as Windows programs do; then the
// built-in list.
std::string GetMimeTypeForFile(std::string_view name) {
    const std::size_t dot = name.find_last_of(".\\:");
    std::string result;
    if (dot != std::string_view::npos && name[dot] == '.') {
        const std::string ext(name.substr(dot));
        HKEY key;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, ext.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
            char value[512];
            DWORD size = sizeof value;
            DWORD type = 0;
            if (RegQueryValueExA(key, "Content Type", nullptr, &type,
                                 reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
                type == REG_SZ && size > 0)
                result.assign(value, strnlen(value, size));
            RegCloseKey(key);
        }
        if (result.empty()) result = KnownMimeType(ext);
    }
    return result.empty() ? "application/octet-stream" : result;
}

#else

namespace {
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
            table.emplace(LowerCase(ext), type); // first listing wins
    }
    return table;
}
} // namespace

std::string GetMimeTypeForFile(std::string_view name) {
    static const std::unordered_map<std::string, std::string> table = LoadMimeTypes();
    // The extension is the text after the last "." that follows the last "\" or ":".
    const std::size_t dot = name.find_last_of(".\\:");
    if (dot != std::string_view::npos && name[dot] == '.' && dot + 1 < name.size()) {
        const auto it = table.find(LowerCase(name.substr(dot + 1)));
        if (it != table.end()) return it->second;
    }
    return "application/octet-stream";
}

#endif

} // namespace korp
