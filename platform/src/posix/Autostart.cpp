#include <platform/Autostart.h>

#include <cerrno>
#include <string>
#include <string_view>

#include <unistd.h>

#include <encoding/Utf8.h>
#include <platform/AtomicWrite.h>
#include <platform/DataPaths.h>
#include <platform/SettingsStore.h>

namespace platform {

namespace {

// A desktop entry is UTF-8 text, one key a line; its string values hold no control characters
// and have no escape for them.
bool FitsAnEntry(std::string_view path) {
    for (std::size_t i = 0; i < path.size();) {
        char32_t cp = 0;
        const std::size_t length = encoding::DecodeUtf8(path, i, cp);
        if (length == 0 || cp < 0x20 || cp == 0x7F) return false;
        i += length;
    }
    return true;
}

// Quoting of the Exec key (XDG desktop entry specification, "The Exec key"): the path in double
// quotes with ", `, $ and \ escaped, '%' doubled; then the string-value escaping doubles every
// backslash once more.
std::string ExecValue(const std::string& path) {
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    quoted += '"';
    std::string value;
    for (char c : quoted) {
        if (c == '\\') value += '\\';
        value += c;
    }
    return value;
}

class XdgAutostartEntry final : public Autostart {
public:
    explicit XdgAutostartEntry(std::filesystem::path configHome)
        : entry_(configHome.empty() ? configHome : configHome / "autostart" / "brevon.desktop") {}

    std::error_code Enable(const std::filesystem::path& executable) override {
        const std::string path = executable.string();
        // Relative, the session would look the name up in its PATH instead.
        if (!executable.is_absolute() || !FitsAnEntry(path))
            return std::make_error_code(std::errc::invalid_argument);
        if (entry_.empty()) return SettingsErrc::no_location;
        if (auto e = CreatePrivateDirectories(entry_.parent_path())) return e;
        const std::string text = "[Desktop Entry]\n"
                                 "Type=Application\n"
                                 "Name=Brevon\n"
                                 "Comment=Leest uw e-mail voor\n"
                                 "Exec=" +
                                 ExecValue(path) +
                                 "\n"
                                 "Terminal=false\n"
                                 "X-GNOME-Autostart-enabled=true\n";
        return WriteFileAtomically(entry_, text);
    }

    std::error_code Disable() override {
        if (entry_.empty()) return {};
        if (::unlink(entry_.c_str()) != 0 && errno != ENOENT)
            return {errno, std::system_category()};
        return {};
    }

private:
    const std::filesystem::path entry_;
};

} // namespace

std::unique_ptr<Autostart> UserAutostart() {
    return XdgAutostart(UserConfigHome());
}

std::unique_ptr<Autostart> XdgAutostart(const std::filesystem::path& configHome) {
    return std::make_unique<XdgAutostartEntry>(configHome);
}

} // namespace platform
