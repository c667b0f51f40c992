#include <morvik/api/Stopper.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>
#include <vector>
#include <sys/stat.h>

#include <morvik/api/ScrambledFile.h>
#include <morvik/base/zkCException.h>

namespace {

// The 44 word delimiters: digits, blank, tab, line feed, carriage return and 30 punctuation marks.
constexpr char kDelimiters[] = "0123456789 \t\n\r.,'\"`:;-_()+/#$%@^*!?><=|~[]{}";
static_assert(sizeof kDelimiters - 1 == 44);

struct DelimiterSet {
    bool is[256] = {};
    constexpr DelimiterSet() {
        for (const char* p = kDelimiters; *p != '\0'; ++p)
            is[static_cast<unsigned char>(*p)] = true;
    }
};
constexpr DelimiterSet kDelims;

bool IsDelimiter(char c) {
    return kDelims.is[static_cast<unsigned char>(c)];
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

// A zero byte ends the text, as for any zero-terminated string.
std::string_view UpToZero(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

// Each byte as a 4-gram holds it, lower-cased (folded) or not (kept); 0 for a delimiter.
struct WordBytes {
    unsigned char folded[256] = {};
    unsigned char kept[256] = {};
    constexpr WordBytes() {
        for (int b = 1; b < 256; ++b) {
            if (kDelims.is[b]) continue;
            kept[b] = static_cast<unsigned char>(b);
            folded[b] = static_cast<unsigned char>(b >= 'A' && b <= 'Z' ? b + ('a' - 'A') : b);
        }
    }
};
constexpr WordBytes kWordBytes;

// Walks the words of text in order, without copying the text.
template <typename Fn> void ForEachWord(std::string_view text, Fn&& fn) {
    std::size_t i = 0;
    const std::size_t len = text.size();
    while (i < len) {
        while (i < len && IsDelimiter(text[i]))
            ++i;
        std::size_t start = i;
        while (i < len && !IsDelimiter(text[i]))
            ++i;
        if (i > start) fn(text.substr(start, i - start));
    }
}

const char* const kStopListNames[] = {
    "stopNL.txt", "stopIT.txt", "stopDE.txt", "stopFR.txt", "stopEN.txt", "stopES.txt",
    "stopnl.txt", "stopit.txt", "stopde.txt", "stopfr.txt", "stopen.txt", "stopes.txt",
    "stopnl.dat", "stopit.dat", "stopde.dat", "stopfr.dat", "stopen.dat", "stopes.dat"};

void AddLineWords(CountTable& table, const std::string& line) {
    // The first blank-delimited word of the line is the stop word.
    std::size_t b = line.find_first_not_of(" \t\r\n\v\f");
    if (b == std::string::npos) {
        std::string shown = line;
        while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r'))
            shown.pop_back();
        std::fprintf(stderr, "skipping:%s\n", shown.c_str());
        return;
    }
    std::size_t e = line.find_first_of(" \t\r\n\v\f", b);
    table.Increment(line.substr(b, e == std::string::npos ? std::string::npos : e - b).c_str());
}

} // namespace

Stopper::Stopper(std::int32_t mode, std::int32_t n, std::int32_t useStopWords)
    : Mode(mode), N(n), UseStopWords(useStopWords) {}

int Stopper::SplitWords(std::string_view text, WordList& words) {
    ForEachWord(UpToZero(text), [&](std::string_view w) { words.emplace_back(w); });
    return 1;
}

bool Stopper::ModeMakesTerms() const {
    if (Mode == kModeNotImplemented) {
        std::fputs("Not yet implemented\n", stderr);
        return false;
    }
    if (Mode != kModeNgrams) {
        std::fputs("Invalid mode\n", stderr);
        return false;
    }
    return true;
}

template <typename Fn>
bool Stopper::ForEachIndexWord(std::string_view text, std::int32_t languageOption, Fn&& fn) {
    if (!ModeMakesTerms()) return false;
    ForEachWord(UpToZero(text), [&](std::string_view word) {
        if (UseStopWords != 0) {
            std::string w(word);
            if (KeepCase == 0) {
                for (char& c : w)
                    c = LowerAscii(c);
            }
            if (IsStopWord(w.c_str(), languageOption)) {
                if (Verbose > 0) std::printf("stopper removes: %s\n", w.c_str());
                return;
            }
        }
        fn(word);
    });
    return true;
}

template <typename Emit>
bool Stopper::ForEachTerm(std::string_view text, std::int32_t languageOption, Emit&& emit) {
    std::string padded;
    return ForEachIndexWord(text, languageOption, [&](std::string_view word) {
        if (N < 0) return; // no window of negative length
        padded.assign(1, '_');
        padded.append(word);
        padded.push_back('_');
        if (KeepCase == 0) {
            for (char& c : padded)
                c = LowerAscii(c);
        }
        const std::size_t n = static_cast<std::size_t>(N);
        if (padded.size() < n) return;
        // Each window is handed over zero-terminated in place, without a copy.
        char* data = padded.data();
        for (std::size_t i = 0; i + n <= padded.size(); ++i) {
            const char saved = data[i + n];
            data[i + n] = '\0';
            emit(data + i, n);
            data[i + n] = saved;
        }
    });
}

int Stopper::GenerateTerms(std::string_view text, std::vector<std::string>& terms,
                           std::int32_t languageOption) {
    bool ok = ForEachTerm(text, languageOption,
                          [&](const char* term, std::size_t n) { terms.emplace_back(term, n); });
    return ok ? 1 : 0;
}

std::int32_t Stopper::ExtractIndexTerms(std::string_view text, TermList& list,
                                        std::int32_t languageOption) {
    CountTable counts;
    std::int32_t total = 0;
    // Terms go straight into the count table: a list of every occurrence would cost memory in
    // proportion to the text for nothing.
    bool ok = ForEachTerm(text, languageOption, [&](const char* term, std::size_t) {
        counts.Increment(term);
        if (total < INT32_MAX) ++total;
    });
    if (!ok) ZK_THROW(new zkCException(0, "Could not extract indexterms"));

    list.reserve(list.size() + static_cast<std::size_t>(counts.Size()));
    TermCount tc;
    for (int r = counts.First(tc.Term, tc.Count); r == 1; r = counts.Next(tc.Term, tc.Count)) {
        list.push_back(std::move(tc));
    }
    return total;
}

namespace {

// A word's last 4-gram, its window (the last three characters) then "_", when the word has at
// least two characters; total grows by the word's L - 1 4-grams, to INT32_MAX at most.
std::int32_t EndWord(FourGramTable& table, std::uint32_t window, std::size_t length,
                     std::int32_t total) {
    if (length < 2) return total;
    table.Increment((window << 8) | static_cast<unsigned char>('_'));
    const std::size_t grams = length - 1;
    return grams > static_cast<std::size_t>(INT32_MAX - total)
               ? INT32_MAX
               : total + static_cast<std::int32_t>(grams);
}

} // namespace

std::int32_t Stopper::CountFourGrams(std::string_view text, FourGramTable& table,
                                     std::int32_t languageOption) {
    // The 4-grams of "_" + word + "_", left to right: the window takes one character at a time
    // and holds the last four, so a word of length L gives L - 1 of them. The window, the
    // word's length and the total are locals of the loop, which the compiler keeps in registers.
    std::int32_t total = 0;
    const unsigned char* folded = KeepCase == 0 ? kWordBytes.folded : kWordBytes.kept;
    bool ok;
    if (UseStopWords != 0) {
        // A word must pass the stop words before its first 4-gram counts.
        ok = ForEachIndexWord(text, languageOption, [&](std::string_view word) {
            std::uint32_t window = '_';
            std::size_t length = 0;
            for (char b : word) {
                window = (window << 8) | folded[static_cast<unsigned char>(b)];
                if (++length >= 3) table.Increment(window);
            }
            total = EndWord(table, window, length, total);
        });
    } else if ((ok = ModeMakesTerms())) {
        // Words and 4-grams in one pass over the text.
        std::uint32_t window = '_';
        std::size_t length = 0;
        for (char b : UpToZero(text)) {
            const unsigned char c = folded[static_cast<unsigned char>(b)];
            if (c != 0) {
                window = (window << 8) | c;
                if (++length >= 3) table.Increment(window);
            } else if (length != 0) {
                total = EndWord(table, window, length, total);
                window = '_';
                length = 0;
            }
        }
        total = EndWord(table, window, length, total);
    }
    if (!ok) ZK_THROW(new zkCException(0, "Could not extract indexterms"));
    return total;
}

CountTable* Stopper::TableFor(std::int32_t code) {
    switch (code) {
    case 1:
        return &English;
    case 2:
        return &Dutch;
    case 3:
        return &German;
    case 4:
        return &French;
    case 5:
        return &Italian;
    case 6:
        return &Spanish;
    default:
        return nullptr;
    }
}

CountTable* Stopper::TableForName(const char* name) {
    // "stopXX.txt" / "stopxx.dat": the code is at positions 4 and 5, in either case.
    char a = LowerAscii(name[4]), b = LowerAscii(name[5]);
    if (a == 'n' && b == 'l') return &Dutch;
    if (a == 'i' && b == 't') return &Italian;
    if (a == 'd' && b == 'e') return &German;
    if (a == 'f' && b == 'r') return &French;
    if (a == 'e' && b == 'n') return &English;
    return &Spanish;
}

int Stopper::InitStoppers(const char* firstDirectory, const char* secondDirectory) {
    if (firstDirectory == nullptr) {
        std::fputs("Stoppers will not be initialized, some methods will not function properly\n",
                   stderr);
        return -1;
    }
    LoadStopLists(firstDirectory);
    if (secondDirectory != nullptr) LoadStopLists(secondDirectory);
    return 1;
}

void Stopper::LoadStopLists(const char* directory) {
    // Where file names ignore case (Windows) "stopNL.txt" and "stopnl.txt" are one file, which
    // must not count its words twice.
    std::vector<std::filesystem::path> loaded;
    for (const char* name : kStopListNames) {
        const std::filesystem::path path =
            std::filesystem::path(directory != nullptr ? directory : ".") / name;
        bool seen = false;
        for (const std::filesystem::path& earlier : loaded) {
            std::error_code ec;
            seen = seen || std::filesystem::equivalent(path, earlier, ec);
        }
        if (!seen && LoadStopList(*TableForName(name), directory, name) != 0)
            loaded.push_back(path);
    }
}

int Stopper::LoadStopList(CountTable& table, const char* directory, const char* name) {
    std::string path = std::string(directory != nullptr ? directory : ".") + zkDirSeparator +
                       (name != nullptr ? name : "");
    if (path.find(".dat") != std::string::npos) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            if (errno == ENOENT)
                std::fprintf(stderr, "Couldn't open: %s ENOENT\n", path.c_str());
            else
                std::fprintf(stderr, "Couldn't open: %s\n OTHER", path.c_str());
            return 0;
        }
        ScrambledFile file(name, directory, 0, "rb");
        std::string content(static_cast<std::size_t>(st.st_size) + 2, '\0');
        std::size_t n = file.read(content.data(), static_cast<std::size_t>(st.st_size));
        content.resize(n);
        file.Close();
        std::size_t start = 0;
        while (start < content.size()) {
            std::size_t end = content.find('\n', start);
            if (end == std::string::npos) end = content.size();
            if (end > start) AddLineWords(table, content.substr(start, end - start));
            start = end + 1;
        }
    } else {
        std::FILE* f = std::fopen(path.c_str(), "r");
        if (f == nullptr) return 0;
        char line[1024];
        while (std::fgets(line, sizeof line, f) != nullptr)
            AddLineWords(table, line);
        std::fclose(f);
    }
    ++table.LoadCount;
    return 1;
}

bool Stopper::IsStopWord(const char* word, std::int32_t code) {
    if (Verbose > 0) std::fprintf(stderr, "Testing %s %d\n", word != nullptr ? word : "", code);
    CountTable* table = TableFor(code);
    if (table == nullptr) ZK_THROW(new zkCException(0, "Unknown language code"));
    if (table->LoadCount == 0) ZK_THROW(new zkCException(0, "Stopper is not initialized!"));
    return table->Contains(word);
}
