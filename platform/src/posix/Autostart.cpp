#include <platform/Autostart.h>

#include <cerrno>
#include <string>

#include <unistd.h>

#include <platform/AtomicWrite.h>
#include <platform/DataPaths.h>
#include <platform/SettingsStore.h>

namespace platform {

namespace {

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

class XdgAutostart final : public Autostart {
public:
    std::error_code Enable(const std::filesystem::path& executable) override {
        const std::string path = executable.string();
        if (path.empty() || path.find_first_of("\r\n") != std::string::npos)
            return std::make_error_code(std::errc::invalid_argument);
        const std::filesystem::path file = Entry();
        if (file.empty()) return SettingsErrc::no_location;
        if (auto e = CreatePrivateDirectories(file.parent_path())) return e;
        const std::string text = "[Desktop Entry]\n"
                                 "Type=Application\n"
                                 "Name=Brevon\n"
                                 "Comment=Leest uw e-mail voor\n"
                                 "Exec=" +
                                 ExecValue(path) +
                                 "\n"
                                 "Terminal=false\n"
                                 "X-GNOME-Autostart-enabled=true\n";
        return WriteFileAtomically(file, text);
    }

    std::error_code Disable() override {
        const std::filesystem::path file = Entry();
        if (file.empty()) return {};
        if (::unlink(file.c_str()) != 0 && errno != ENOENT) return {errno, std::system_category()};
        return {};
    }

private:
    static std::filesystem::path Entry() {
        const std::filesystem::path home = UserConfigHome();
        return home.empty() ? home : home / "autostart" / "brevon.desktop";
    }
};

} // namespace

bool IsWin9xFamily() {
    return false;
}

std::unique_ptr<Autostart> UserAutostart() {
    return std::make_unique<XdgAutostart>();
}

} // namespace platform
