// The engines' rule file "zq-regels.txt" in the program folder: UTF-8 text in [sections],
// one entry a line, "key = value" or a bare key, '#' starts a comment.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zq {

class RuleFile {
public:
    static constexpr const char* kFileName = "zq-regels.txt";

    // Reads folder + kFileName; nullopt when the file cannot be read.
    static std::optional<RuleFile> load(const std::string& folder);
    static RuleFile parse(const std::string& utf8Text);

    // The entries of one section (name in lower case), converted to Windows-1252.
    const std::vector<std::pair<std::string, std::string>>& section(const std::string& name) const;

private:
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> sections_;
};

} // namespace zq
