// Feeds arbitrary bytes to the configuration reader as a file and looks up the keys the
// library uses, with every accessor kind. Run with -close_fd_mask=2: warnings on stderr are
// expected for most inputs.
#include <morvik/base/zkCConfigFile.h>
#include <morvik/base/zkCException.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string name = "fuzz_config_reader_" + std::to_string(getpid()) + ".cfg";
    static const std::string path = "/tmp/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    const char* entries[] = {"n", "threshold", "ngramfile_nl_nt", "topictype", ""};
    for (int warnOnly : {0, 1}) {
        try {
            zkCConfigFile cfg(name.c_str(), "/tmp", warnOnly);
            for (const char* e : entries) {
                for (const char* s : {"Ngrams", "Batch-Specs"}) {
                    try {
                        (void)cfg.GetString(s, e);
                    } catch (zkCException* ex) {
                        delete ex;
                    }
                    (void)cfg.GetInt(s, e, 4);
                    (void)cfg.GetString(s, e, "x");
                }
            }
        } catch (zkCException* ex) {
            delete ex;
        }
    }
    std::remove(path.c_str());
    return 0;
}
