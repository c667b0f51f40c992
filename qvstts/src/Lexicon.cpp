#include <qvstts/Lexicon.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

#include <qvstts/SpeechText.h>

namespace qvstts {
namespace {

std::string lowerKey(std::string_view cp1252) {
    std::string key(cp1252);
    for (char& c : key)
        c = lowerCp1252(c);
    return key;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Tabs and line ends inside a field would break the file's format.
std::string flatten(std::string_view s) {
    std::string out(trim(s));
    for (char& c : out)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return out;
}

} // namespace

Lexicon::Lexicon(std::vector<LexiconEntry> entries) {
    for (auto& e : entries) {
        e.word = flatten(e.word);
        e.pronunciation = flatten(e.pronunciation);
        if (e.word.empty() || e.pronunciation.empty()) continue;
        const std::string key = lowerKey(utf8ToCp1252(e.word));
        // A later line for the same word wins, as it does when the file is edited by hand.
        if (byKey_.contains(key)) {
            std::erase_if(entries_, [&](const LexiconEntry& old) {
                return lowerKey(utf8ToCp1252(old.word)) == key;
            });
        }
        byKey_[key] = e.pronunciation;
        entries_.push_back(std::move(e));
    }
}

const std::string* Lexicon::find(std::string_view cp1252Word) const {
    if (byKey_.empty()) return nullptr;
    const auto it = byKey_.find(lowerKey(cp1252Word));
    return it == byKey_.end() ? nullptr : &it->second;
}

Lexicon Lexicon::parse(std::string_view text) {
    std::vector<LexiconEntry> entries;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line.front() == '#') continue;
        const size_t tab = line.find('\t');
        if (tab == std::string_view::npos) continue;
        entries.push_back(
            {std::string(trim(line.substr(0, tab))), std::string(trim(line.substr(tab + 1)))});
    }
    return Lexicon(std::move(entries));
}

Lexicon Lexicon::load(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return {};
    std::ostringstream text;
    text << in.rdbuf();
    return parse(text.str());
}

std::string Lexicon::serialize() const {
    std::string out = "# Woordenlijst van Tolvani: woord TAB uitspraak\n";
    for (const auto& e : entries_)
        out += e.word + '\t' + e.pronunciation + '\n';
    return out;
}

bool Lexicon::save(const std::filesystem::path& file) const {
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    std::filesystem::path tmp = file;
    tmp += ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        const std::string text = serialize();
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        if (!out) {
            out.close();
            std::filesystem::remove(tmp, ec);
            return false;
        }
    }
    std::filesystem::rename(tmp, file, ec);
    if (ec) {
        std::filesystem::remove(tmp, ec);
        return false;
    }
    return true;
}

std::filesystem::path Lexicon::defaultFile() {
    std::filesystem::path base;
#ifdef _WIN32
    if (const char* appData = std::getenv("APPDATA"); appData && *appData) base = appData;
#else
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data && data[0] == '/') {
        base = data;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::filesystem::path(home) / ".local" / "share";
    }
#endif
    if (base.empty()) base = std::filesystem::temp_directory_path();
    return base / "qvstts" / "woordenlijst.txt";
}

} // namespace qvstts
