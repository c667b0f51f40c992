// Feeds arbitrary bytes to the settings file reader. Whatever it accepts (lines it skips
// included) must write back to a text that reads the same again, whole: a file the program
// writes is always one it can read without skipping anything.
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
        if (error.empty() || !file.keys.empty() || file.damagedLines != 0) std::abort();
        return 0;
    }
    for (const auto& key : file.keys) {
        (void)file.KeyExists(key.path);
        for (const auto& value : key.values)
            if (platform::SettingsFile::FindValue(key, value.name) == nullptr) std::abort();
    }
    const std::string written = file.Serialize();
    platform::SettingsFile again;
    if (!again.Parse(written, error) || again.damagedLines != 0) std::abort();
    if (again.Serialize() != written) std::abort();
    return 0;
}
