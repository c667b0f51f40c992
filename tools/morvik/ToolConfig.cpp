#include "ToolConfig.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

std::string EnterConfigFolder(const std::string& configPath) {
    const std::filesystem::path path(configPath);
    const std::filesystem::path folder = path.parent_path();
    if (!folder.empty()) {
        std::error_code ec;
        std::filesystem::current_path(folder, ec);
        if (ec) {
            std::fprintf(stderr, "cannot enter the folder of '%s': %s\n", configPath.c_str(),
                         ec.message().c_str());
            return "";
        }
    }
    return path.filename().string();
}
