#include <platform/MimeTypes.h>

#include <cstring>
#include <utility>

#include <windows.h>

namespace platform {

namespace {

// What a bare Windows (or Wine) registry may lack: the types mail attachments mostly have.
std::string KnownMimeType(std::string_view extension) {
    static constexpr std::pair<std::string_view, std::string_view> kTypes[] = {
        {"bmp", "image/bmp"},
        {"csv", "text/csv"},
        {"doc", "application/msword"},
        {"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
        {"eml", "message/rfc822"},
        {"gif", "image/gif"},
        {"htm", "text/html"},
        {"html", "text/html"},
        {"ics", "text/calendar"},
        {"jpeg", "image/jpeg"},
        {"jpg", "image/jpeg"},
        {"mp3", "audio/mpeg"},
        {"odt", "application/vnd.oasis.opendocument.text"},
        {"pdf", "application/pdf"},
        {"png", "image/png"},
        {"ppt", "application/vnd.ms-powerpoint"},
        {"pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
        {"rtf", "application/rtf"},
        {"tif", "image/tiff"},
        {"tiff", "image/tiff"},
        {"txt", "text/plain"},
        {"vcf", "text/vcard"},
        {"wav", "audio/x-wav"},
        {"xls", "application/vnd.ms-excel"},
        {"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
        {"xml", "application/xml"},
        {"zip", "application/zip"},
    };
    std::string lower(extension);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (const auto& [known, type] : kTypes)
        if (lower == known) return std::string(type);
    return {};
}

} // namespace

std::string MimeTypeOfExtension(std::string_view extension) {
    const std::string key = "." + std::string(extension);
    std::string result;
    HKEY hkey;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &hkey) == ERROR_SUCCESS) {
        char value[512];
        DWORD size = sizeof value;
        DWORD type = 0;
        if (::RegQueryValueExA(hkey, "Content Type", nullptr, &type, reinterpret_cast<BYTE*>(value),
                               &size) == ERROR_SUCCESS &&
            type == REG_SZ && size > 0)
            result.assign(value, strnlen(value, size));
        ::RegCloseKey(hkey);
    }
    return result.empty() ? KnownMimeType(extension) : result;
}

} // namespace platform
