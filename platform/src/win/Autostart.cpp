#include <platform/Autostart.h>

#include <platform/SettingsStore.h>

namespace platform {

namespace {

constexpr std::string_view kRunKey = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// The value "brevon" in the current user's "Run" key. The value is a command line: the path is
// quoted, so a program under "C:\Program Files" is not taken for "C:\Program" with arguments.
class RunKeyAutostart final : public Autostart {
public:
    std::error_code Enable(const std::filesystem::path& executable) override {
        auto opened = OpenUserSettingsStore()->OpenKey(kRunKey, OpenMode::Create);
        if (!opened.key) return opened.error;
        if (auto e = opened.key->WriteString("brevon", '"' + executable.string() + '"')) return e;
        return opened.key->Close();
    }

    std::error_code Disable() override {
        auto opened = OpenUserSettingsStore()->OpenKey(kRunKey, OpenMode::Create);
        if (!opened.key) return opened.error;
        const std::error_code e = opened.key->DeleteValue("brevon");
        if (e && e != SettingsErrc::value_not_found) return e;
        return opened.key->Close();
    }
};

} // namespace

std::unique_ptr<Autostart> UserAutostart() {
    return std::make_unique<RunKeyAutostart>();
}

} // namespace platform
