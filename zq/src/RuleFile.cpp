#include "RuleFile.h"

#include <fstream>
#include <sstream>

#include "Text1252.h"

namespace zq {

std::optional<RuleFile> RuleFile::load(const std::string& folder) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
    path += kFileName;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return parse(buffer.str());
}

RuleFile RuleFile::parse(const std::string& utf8Text) {
    RuleFile rules;
    std::string current;
    for (const std::string& raw : splitLines(utf8ToCp1252(utf8Text))) {
        std::string_view line = raw;
        if (const auto hash = line.find('#'); hash != std::string_view::npos)
            line = line.substr(0, hash);
        line = trim(line);
        if (line.empty()) continue;
        if (line.front() == '[' && line.back() == ']') {
            current = lower(trim(line.substr(1, line.size() - 2)));
            continue;
        }
        std::string key(line), value;
        if (const auto eq = line.find('='); eq != std::string_view::npos) {
            key = std::string(trim(line.substr(0, eq)));
            value = std::string(trim(line.substr(eq + 1)));
        }
        if (!key.empty()) rules.sections_[current].emplace_back(std::move(key), std::move(value));
    }
    return rules;
}

const std::vector<std::pair<std::string, std::string>>&
RuleFile::section(const std::string& name) const {
    static const std::vector<std::pair<std::string, std::string>> empty;
    const auto it = sections_.find(name);
    return it == sections_.end() ? empty : it->second;
}

} // namespace zq
