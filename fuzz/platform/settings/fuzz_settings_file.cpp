// Feeds arbitrary bytes to the settings file reader. Whatever it accepts must write back to a
// text that reads the same again: a file the program writes is always one it can read.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <platform/SettingsFile.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::SettingsFile file;
    std::string error;
    if (!file.Parse(text, error)) {
        if (error.empty() || !file.keys.empty()) std::abort();
        return 0;
    }
    for (const auto& key : file.keys) {
        (void)file.KeyExists(key.path);
        for (const auto& value : key.values)
            if (platform::SettingsFile::FindValue(key, value.name) == nullptr) std::abort();
    }
    const std::string written = file.Serialize();
    platform::SettingsFile again;
    if (!again.Parse(written, error)) std::abort();
    if (again.Serialize() != written) std::abort();
    return 0;
}
