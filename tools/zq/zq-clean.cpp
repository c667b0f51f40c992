// zq-clean [--skip-quoted] [--utf8] [--data DIR] [FILE]
// zq-clean --corpus CASE [--data DIR]
// zq-clean --numbers CASES [--data DIR]
// Runs Schoonmaken, AlineaHerstellen and NumberSolver over a text (FILE or standard input), in
// that order, as brevon does, and prints the result. Texts are Windows-1252; --utf8 prints the
// result as UTF-8 for a terminal. --corpus takes a case of the mail corpus
// (tests/data/zq/corpus): it shows the body before and after, in UTF-8, and which of the case's
// "hear" and "silent" texts fail; it exits with 1 when any does. --numbers takes a table of
// snippets and their readings (tests/data/zq/numbers.tsv), runs NumberSolver over each, prints
// those read otherwise and how many are right, per category and in all; it exits with 1 when
// any is wrong.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <encoding/Cp1252.h>

#include "MailCorpus.h"
#include "NumberCases.h"
#include "zq/zq.h"

namespace {

void usage() {
    std::cerr << "usage: zq-clean [--skip-quoted] [--utf8] [--data DIR] [FILE]\n"
                 "       zq-clean --corpus CASE [--data DIR]\n"
                 "       zq-clean --numbers CASES [--data DIR]\n";
}

std::string toUtf8(const std::string& cp1252) {
    return encoding::Cp1252ToUtf8(cp1252, encoding::Undefined::AsReplacement);
}

// Each snippet through NumberSolver alone; the misses, then the count right.
int checkNumbers(const std::vector<zqnumbers::Case>& cases) {
    std::vector<std::pair<std::string, std::pair<int, int>>> perCategory; // right, all
    int right = 0;
    for (const zqnumbers::Case& c : cases) {
        std::string heard = c.text;
        if (ZQ_NumberSolver_RetrieveBufferLen(c.text.c_str()) >= 0)
            heard = ZQ_NumberSolver_RetrieveText();
        ZQ_NumberSolver_Clear();
        const bool ok = heard == c.reading;
        right += ok ? 1 : 0;
        auto it = perCategory.begin();
        while (it != perCategory.end() && it->first != c.category)
            ++it;
        if (it == perCategory.end()) it = perCategory.insert(it, {c.category, {0, 0}});
        it->second.first += ok ? 1 : 0;
        ++it->second.second;
        if (!ok)
            std::cout << "line " << c.line << " [" << c.category << "] " << toUtf8(c.text)
                      << "\n  heard: " << toUtf8(heard) << "\n   want: " << toUtf8(c.reading)
                      << "\n";
    }
    for (const auto& [category, count] : perCategory)
        std::cout << category << ": " << count.first << " of " << count.second << "\n";
    std::cout << "right: " << right << " of " << cases.size() << "\n";
    return right == static_cast<int>(cases.size()) ? 0 : 1;
}

bool hasRuleFile(const std::string& folder) {
    return static_cast<bool>(std::ifstream(folder + "zq-regels.txt"));
}

} // namespace

int main(int argc, char** argv) {
    bool skipQuoted = false, utf8 = false, corpus = false, numbers = false;
    std::string file, data;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--skip-quoted") {
            skipQuoted = true;
        } else if (arg == "--utf8") {
            utf8 = true;
        } else if (arg == "--corpus") {
            corpus = true;
        } else if (arg == "--numbers") {
            numbers = true;
        } else if (arg == "--data" && i + 1 < argc) {
            data = argv[++i];
            if (!data.empty() && data.back() != '/') data += '/';
        } else if (arg == "-h" || arg == "--help") {
            usage();
            return 0;
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            usage();
            return 2;
        } else if (file.empty()) {
            file = arg;
        } else {
            usage();
            return 2;
        }
    }

    std::string text;
    std::optional<zqcorpus::Case> corpusCase;
    std::optional<std::vector<zqnumbers::Case>> numberCases;
    if (numbers) {
        std::string error;
        numberCases = zqnumbers::load(file, error);
        if (!numberCases) {
            std::cerr << "zq-clean: " << error << "\n";
            return 1;
        }
    } else if (corpus) {
        std::string error;
        corpusCase = zqcorpus::load(file, error);
        if (!corpusCase) {
            std::cerr << "zq-clean: " << error << "\n";
            return 1;
        }
        text = corpusCase->body;
        skipQuoted = corpusCase->skipQuoted;
        utf8 = true;
    } else if (file.empty() || file == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::cerr << "zq-clean: cannot read " << file << ": " << std::strerror(errno) << "\n";
            return 1;
        }
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // the engines take zero-terminated text
    if (text.find('\0') != std::string::npos) text.erase(text.find('\0'));

    if (data.empty()) {
        for (const char* folder : {ZQ_BUILD_DATA_DIR, ZQ_INSTALL_DATA_DIR})
            if (hasRuleFile(folder)) {
                data = folder;
                break;
            }
    }
    if (data.empty() || !ZQ_Schoonmaken_Start(data.c_str()) ||
        !ZQ_AlineaHerstellen_Start(data.c_str()) || !ZQ_NumberSolver_Start(data.c_str()))
        std::cerr << "zq-clean: rule file zq-regels.txt not found; built-in rules only\n";
    if (numberCases) {
        const int result = checkNumbers(*numberCases);
        ZQ_Schoonmaken_Stop();
        ZQ_AlineaHerstellen_Stop();
        ZQ_NumberSolver_Stop();
        return result;
    }

    const std::string before = text;
    int32_t n = ZQ_Schoonmaken_RetrieveBufferLen(text.c_str(), skipQuoted ? -1 : 0);
    if (n > 0) text = ZQ_Schoonmaken_RetrieveText();
    const std::string cleaned = n > 0 ? text : std::string();
    if (n == 0) text.clear();
    ZQ_Schoonmaken_Clear();
    if (ZQ_AlineaHerstellen_RetrieveBufferLen(text.c_str()) >= 0)
        text = ZQ_AlineaHerstellen_RetrieveText();
    if (ZQ_NumberSolver_RetrieveBufferLen(text.c_str()) >= 0) text = ZQ_NumberSolver_RetrieveText();
    ZQ_NumberSolver_Clear();
    ZQ_Schoonmaken_Stop();
    ZQ_AlineaHerstellen_Stop();
    ZQ_NumberSolver_Stop();

    // CR LF line breaks to the platform's own
    auto printable = [&](const std::string& t) {
        std::string out;
        for (std::size_t i = 0; i < t.size(); ++i)
            if (!(t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n')) out += t[i];
        return utf8 ? encoding::Cp1252ToUtf8(out, encoding::Undefined::AsReplacement) : out;
    };
    if (!corpusCase) {
        std::cout << printable(text) << '\n';
        return n < 0 ? 1 : 0;
    }
    std::cout << "==== before" << (skipQuoted ? " (skip quoted)" : "") << "\n"
              << printable(before) << "\n==== after\n"
              << printable(text) << "\n====\n";
    int failed = 0;
    for (const std::string& phrase : corpusCase->hear)
        if (!zqcorpus::hears(text, phrase)) {
            std::cout << "not heard: " << printable(phrase) << "\n";
            ++failed;
        }
    for (const std::string& phrase : corpusCase->silent)
        if (zqcorpus::hears(cleaned, phrase) || zqcorpus::hears(text, phrase)) {
            std::cout << "heard: " << printable(phrase) << "\n";
            ++failed;
        }
    std::cout << "checks met: " << (corpusCase->hear.size() + corpusCase->silent.size() - failed)
              << ", missed: " << failed << "\n";
    return failed > 0 || n < 0 ? 1 : 0;
}
