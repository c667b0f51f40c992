// A session bus of the test's own (no services to start on demand) and, when asked for, a
// gnome-keyring-daemon on it with its secrets unlocked, its keyring files in a temporary folder.
// The test process is pointed at the bus through DBUS_SESSION_BUS_ADDRESS; the daemons end
// with the object. POSIX only.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include <signal.h>

#include "Subprocess.h"
#include "TempDir.h"

namespace testsupport {

// The program of that name in PATH (Exec wants a path).
inline std::string InPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    for (std::size_t at = 0; at <= dirs.size();) {
        const std::size_t end = std::min(dirs.find(':', at), dirs.size());
        const std::filesystem::path candidate =
            std::filesystem::path(dirs.substr(at, end - at)) / name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
        at = end + 1;
    }
    return name;
}

class PrivateKeyring {
public:
    enum class With { Keyring, NoKeyring };

    explicit PrivateKeyring(With with) : dir_("brevonkeyring") {
        const std::filesystem::path root = dir_.Path();
        for (const char* folder : {"home", "data", "config", "run"})
            std::filesystem::create_directories(root / folder);
        std::filesystem::permissions(root / "run", std::filesystem::perms::owner_all);
        const std::filesystem::path socket = root / "run" / "bus";
        address_ = "unix:path=" + socket.string();
        // No <servicedir>: nothing is started on demand, so a bus without a keyring stays so.
        std::ofstream(root / "bus.conf")
            << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
               "1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig><type>session</type><listen>"
            << address_
            << "</listen><auth>EXTERNAL</auth>"
               "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
               "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n";
        bus_ = std::make_unique<Spawned>(
            std::vector<std::string>{InPath("dbus-daemon"), "--nofork",
                                     "--config-file=" + (root / "bus.conf").string()},
            std::vector<std::string>{});
        for (int i = 0; i < 200 && !std::filesystem::exists(socket); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        busReady_ = std::filesystem::exists(socket);
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
        if (!busReady_ || with == With::NoKeyring) return;

        std::ofstream(root / "password") << "test-keyring";
        keyring_ = std::make_unique<Spawned>(
            std::vector<std::string>{InPath("sh"), "-c",
                                     "exec gnome-keyring-daemon --foreground --unlock "
                                     "--components=secrets < \"$0\"",
                                     (root / "password").string()},
            std::vector<std::string>{
                "DBUS_SESSION_BUS_ADDRESS=" + address_,
                "HOME=" + (root / "home").string(),
                "XDG_DATA_HOME=" + (root / "data").string(),
                "XDG_CONFIG_HOME=" + (root / "config").string(),
                "XDG_RUNTIME_DIR=" + (root / "run").string(),
            });
        for (int i = 0; i < 100 && !keyringReady_; ++i) {
            keyringReady_ = Has("org.freedesktop.secrets");
            if (!keyringReady_) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~PrivateKeyring() {
        keyring_.reset();
        bus_.reset();
    }

    bool Ready() const { return busReady_ && (keyring_ == nullptr || keyringReady_); }
    const std::string& Address() const { return address_; }

    // Locks the keyring's login collection, as a screen lock or the user would.
    bool LockLogin() const {
        const RunResult r = Run({InPath("dbus-send"), "--session", "--print-reply",
                                 "--dest=org.freedesktop.secrets", "/org/freedesktop/secrets",
                                 "org.freedesktop.Secret.Service.Lock",
                                 "array:objpath:/org/freedesktop/secrets/collection/login"},
                                {}, {}, std::chrono::seconds(10));
        return r.finished && r.exitCode == 0;
    }

    // Stops the keyring where it is: it keeps its name on the bus and answers nothing, as a
    // hung service does. It goes on again at Resume (and is ended with the object either way).
    bool Pause() const { return keyring_ && ::kill(keyring_->pid(), SIGSTOP) == 0; }
    bool Resume() const { return keyring_ && ::kill(keyring_->pid(), SIGCONT) == 0; }

    // What secret-tool, another client of the keyring, finds under brevon's attributes.
    static RunResult Lookup(const std::string& kind, const std::string& account) {
        return Run({InPath("secret-tool"), "lookup", "application", "brevon", "kind", kind,
                    "account", account},
                   {}, {}, std::chrono::seconds(10));
    }

private:
    bool Has(const std::string& name) const {
        const RunResult r =
            Run({InPath("dbus-send"), "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                 "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", "string:" + name},
                {}, {}, std::chrono::seconds(5));
        return r.finished && r.out.find("boolean true") != std::string::npos;
    }

    TempDir dir_;
    std::string address_;
    std::unique_ptr<Spawned> bus_;
    std::unique_ptr<Spawned> keyring_;
    bool busReady_ = false;
    bool keyringReady_ = false;
};

} // namespace testsupport
