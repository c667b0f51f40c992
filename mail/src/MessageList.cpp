#include <mail/MessageList.h>

#include <array>
#include <fstream>
#include <iterator>

#include <platform/AtomicWrite.h>

namespace brevon {

namespace {

constexpr std::string_view kFixedBase = "brevon";

bool ReadLines(const std::filesystem::path& file, std::vector<std::string>& lines) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return false;
    lines.clear();
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    return true;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    std::size_t size = 0;
    for (const std::string& line : lines)
        size += line.size() + 2;
    text.reserve(size);
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

} // namespace

std::string ListFileBase(std::string_view user) {
    const std::size_t cut = user.find_last_of("\\/:");
    std::string base(cut == std::string_view::npos ? user : user.substr(cut + 1));
    if (base.empty() || base == "." || base == "..") base = kFixedBase;
    return base;
}

ListFiles ListFilesFor(const std::filesystem::path& folder, std::string_view user) {
    const std::string base = ListFileBase(user);
    return {folder / (base + ".id"), folder / (base + ".he")};
}

bool LoadMessageList(const ListFiles& files, std::vector<std::string>& ids,
                     std::vector<std::string>& headers) {
    std::vector<std::string> newIds, newHeaders;
    if (!ReadLines(files.ids, newIds) || !ReadLines(files.headers, newHeaders)) return false;
    if (newIds.size() != newHeaders.size()) return false;
    ids = std::move(newIds);
    headers = std::move(newHeaders);
    return true;
}

std::error_code SaveMessageList(const ListFiles& files, const std::vector<std::string>& ids,
                                const std::vector<std::string>& headers) {
    if (const std::error_code error = platform::CreatePrivateDirectories(files.ids.parent_path()))
        return error;
    const std::string idText = JoinLines(ids);
    const std::string headerText = JoinLines(headers);
    const std::array<platform::FileContents, 2> both{
        {{files.ids, idText}, {files.headers, headerText}}};
    return platform::WriteFilesAtomically(both);
}

} // namespace brevon
