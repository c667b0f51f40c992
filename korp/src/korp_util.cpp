#include <korp/korp_util.h>

#include <cstdio>
#include <string_view>
#include <system_error>
#include <utility>

#include <korp/KorpErrors.h>
#include <platform/MimeTypes.h>
#include <platform/TempFiles.h>

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

namespace {

// name is empty when no file could be created, else the file that could not be opened.
[[noreturn]] void TempFileError(const std::string& name, const std::error_code& error) {
    throw EStreamError((name.empty() ? "Cannot create a temporary file in " + platform::TempFolder()
                                     : "Cannot open temporary file \"" + name + "\"") +
                       ": " + error.message());
}

std::pair<std::FILE*, std::string> OpenTempFile() {
    std::FILE* file = nullptr;
    std::string name;
    if (const std::error_code error = platform::OpenTempFile("korp", file, name))
        TempFileError(name, error);
    return {file, std::move(name)};
}

} // namespace

std::string MakeTempFileName() {
    std::string name;
    if (const std::error_code error = platform::CreateTempFile("korp", name))
        TempFileError(name, error);
    return name;
}

TKorpTempFile::TKorpTempFile() : TFileStream(OpenTempFile()) {}

TKorpTempFile::~TKorpTempFile() {
    Close();
    std::remove(FileName().c_str());
}

std::string GetMimeTypeForFile(std::string_view name) {
    // The extension is the text after the last "." that follows the last "\" or ":".
    const std::size_t dot = name.find_last_of(".\\:");
    std::string type;
    if (dot != std::string_view::npos && name[dot] == '.' && dot + 1 < name.size())
        type = platform::MimeTypeOfExtension(name.substr(dot + 1));
    return type.empty() ? "application/octet-stream" : type;
}

} // namespace korp
