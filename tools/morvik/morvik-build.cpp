// morvik-build CONFIG: builds one n-gram model from the training text that CONFIG names
// ([Ngrams] n, ngramfile; [Batch-Specs] topicfile or "stdin", topictype).
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include <morvik/morvik.h>
#include <morvik/base/zkCConfigFile.h>
#include <morvik/base/zkCException.h>

#include "ToolConfig.h"

namespace {

// The output file named in the configuration, to check that the build really wrote it.
std::string ModelOutput(const std::string& config) {
    try {
        zkCConfigFile cfg(config.c_str(), ".");
        return cfg.GetString("Ngrams", "ngramfile").c_str();
    } catch (zkCException* e) {
        delete e;
        return "";
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(stderr, "usage: morvik-build CONFIG\n"
                             "Builds the model file that CONFIG names from its training text.\n");
        return 2;
    }
    const std::string config = EnterConfigFolder(argv[1]);
    if (config.empty()) return 1;

    const std::string output = ModelOutput(config);
    std::error_code ec;
    const auto before = std::filesystem::exists(output, ec)
                            ? std::filesystem::last_write_time(output, ec)
                            : std::filesystem::file_time_type::min();
    if (BC_Init(config.c_str()) != 0) return 1;
    BC_CreateClassifier();
    BC_Close();
    C_Close();
    if (output.empty() || !std::filesystem::exists(output, ec) ||
        std::filesystem::last_write_time(output, ec) < before) {
        std::fprintf(stderr, "morvik-build: no model written\n");
        return 1;
    }
    return 0;
}
