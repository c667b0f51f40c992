// Fuzzes the reading of the message list's files: the input is cut at its first two NUL bytes
// into ".id", ".he" and ".seen". Whatever they hold, reading never throws, gives one list line
// (possibly empty) per id, and what is kept of the recent ids reads back as it is written.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include <mail/MessageList.h>

#include "../PrivateTempDir.h"

namespace {

void Require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

std::string_view Cut(std::string_view& rest) {
    const std::size_t nul = rest.find('\0');
    const std::string_view part = rest.substr(0, nul);
    rest = nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1);
    return part;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::UsePrivateTempDir("listfuzz");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string_view ids = Cut(rest);
    const std::string_view headers = Cut(rest);
    const std::string_view seen = rest;

    bool damaged = false;
    const brevon::RecentIds recent = brevon::RecentIds::Parse(seen, damaged);
    bool again = true;
    Require(brevon::RecentIds::Parse(recent.Text(), again).Text() == recent.Text() && !again,
            "the recent ids do not read back as written");

    const std::filesystem::path folder = fuzzing::PrivateTempDir();
    const brevon::ListFiles files = brevon::ListFilesFor(folder, "jan");
    std::ofstream(files.ids, std::ios::binary) << ids;
    std::ofstream(files.headers, std::ios::binary) << headers;
    std::ofstream(files.seen, std::ios::binary) << seen;
    const brevon::StoredList stored = brevon::ReadMessageList(files);
    Require(stored.headers.size() == stored.ids.size(), "not one list line per id");
    Require(stored.recent.Size() == recent.Size(), "the recent ids read otherwise from a file");
    for (const std::string& line : stored.headers)
        Require(line.empty() || line.find('\t') != std::string::npos, "a list line without TAB");
    std::filesystem::remove(files.ids);
    std::filesystem::remove(files.headers);
    std::filesystem::remove(files.seen);
    fuzzing::RequireEmptyTempDir();
    return 0;
}
