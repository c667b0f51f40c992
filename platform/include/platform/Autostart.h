// Starting the program when the user logs on, through the platform's own list of such programs.
#pragma once

#include <filesystem>
#include <memory>
#include <system_error>

namespace platform {

// True only on the Windows 95/98 family, the one place the program offers to start itself.
bool IsWin9xFamily();

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

} // namespace platform
