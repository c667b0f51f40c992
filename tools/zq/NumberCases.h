// Snippets of everyday mail with numbers (tests/data/zq/numbers.tsv) and what a Dutch reader
// says for each. The file is UTF-8, one case a line: category, TAB, text, TAB, reading; blank
// lines and lines starting with '#' are skipped.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "MailCorpus.h"

namespace zqnumbers {

struct Case {
    std::string category;
    std::string text, reading; // Windows-1252
    std::size_t line = 0;
};

// Reads all cases; nullopt with a reason in error when a line is not a case.
inline std::optional<std::vector<Case>> parse(std::string_view text, std::string& error) {
    std::vector<Case> cases;
    std::size_t pos = 0, lineNo = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        const std::size_t tab1 = line.find('\t');
        const std::size_t tab2 = tab1 == std::string_view::npos ? tab1 : line.find('\t', tab1 + 1);
        if (tab2 == std::string_view::npos || line.find('\t', tab2 + 1) != std::string_view::npos) {
            error = "line " + std::to_string(lineNo) + ": not three fields separated by tabs";
            return std::nullopt;
        }
        cases.push_back({std::string(line.substr(0, tab1)),
                         zqcorpus::toCp1252(line.substr(tab1 + 1, tab2 - tab1 - 1)),
                         zqcorpus::toCp1252(line.substr(tab2 + 1)), lineNo});
    }
    if (cases.empty()) error = "no cases";
    if (cases.empty()) return std::nullopt;
    return cases;
}

inline std::optional<std::vector<Case>> load(const std::string& path, std::string& error) {
    const std::optional<std::string> text = zqcorpus::readFile(path, error);
    if (!text) return std::nullopt;
    return parse(*text, error);
}

} // namespace zqnumbers
