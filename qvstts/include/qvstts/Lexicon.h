// The user's pronunciation list: words and how to say them, applied before synthesis.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qvstts {

struct LexiconEntry {
    std::string word;          // UTF-8, as the user typed it
    std::string pronunciation; // UTF-8 text that espeak-ng reads instead
};

class Lexicon {
public:
    Lexicon() = default;
    explicit Lexicon(std::vector<LexiconEntry> entries);

    // Finds a Windows-1252 word, ignoring case; null when the list does not hold it.
    const std::string* find(std::string_view cp1252Word) const;

    const std::vector<LexiconEntry>& entries() const { return entries_; }
    bool empty() const { return entries_.empty(); }

    // One entry a line, word TAB pronunciation, UTF-8; blank lines and lines starting with
    // '#' are skipped, as are lines without a TAB or with an empty side. A missing file is an
    // empty list.
    static Lexicon load(const std::filesystem::path& file);
    static Lexicon parse(std::string_view text);
    std::string serialize() const;

    // Writes through a temporary file renamed over the old one, so a failed write keeps the
    // previous list. Returns false (and leaves the old file) on failure.
    bool save(const std::filesystem::path& file) const;

    // $XDG_DATA_HOME/qvstts/woordenlijst.txt, or ~/.local/share/...; %APPDATA% on Windows.
    static std::filesystem::path defaultFile();

private:
    std::vector<LexiconEntry> entries_;
    std::unordered_map<std::string, std::string> byKey_; // lower-case Windows-1252 -> UTF-8
};

} // namespace qvstts
