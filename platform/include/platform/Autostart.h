// Starting the program when the user logs on, through the platform's own list of such programs.
#pragma once

#include <filesystem>
#include <memory>
#include <system_error>

namespace platform {

class Autostart {
public:
    virtual ~Autostart() = default;
    // Registers the program at that path under the name "brevon", replacing an earlier entry.
    virtual std::error_code Enable(const std::filesystem::path& executable) = 0;
    // Removes the entry; no entry is no error.
    virtual std::error_code Disable() = 0;
};

// The current user's list: the "Run" key on Windows, an XDG autostart entry
// ($XDG_CONFIG_HOME/autostart/brevon.desktop) elsewhere.
std::unique_ptr<Autostart> UserAutostart();

#if !defined(_WIN32)
// The XDG autostart entry below another configuration base folder than the user's own
// (<configHome>/autostart/brevon.desktop): for a settings folder kept elsewhere.
std::unique_ptr<Autostart> XdgAutostart(const std::filesystem::path& configHome);
#endif

} // namespace platform
