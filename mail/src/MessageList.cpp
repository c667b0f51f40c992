#include <mail/MessageList.h>

#include <array>
#include <fstream>
#include <iterator>

#include <korp/KorpStreams.h>
#include <platform/AtomicWrite.h>

namespace brevon {

namespace {

constexpr std::string_view kFixedBase = "brevon";

bool ReadLines(const std::filesystem::path& file, std::vector<std::string>& lines) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return false;
    korp::TStringList list;
    list.SetText(text);
    lines = std::move(list.Lines());
    return true;
}

std::string Text(const std::vector<std::string>& lines) {
    korp::TStringList list;
    list.Lines() = lines;
    return list.Text();
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
    const std::string idText = Text(ids);
    const std::string headerText = Text(headers);
    const std::array<platform::FileContents, 2> both{
        {{files.ids, idText}, {files.headers, headerText}}};
    return platform::WriteFilesAtomically(both);
}

} // namespace brevon
