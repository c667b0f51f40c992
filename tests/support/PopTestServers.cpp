#include "PopTestServers.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace poptest {

namespace {

// Found when the build was configured (tests/support/CMakeLists.txt).
constexpr const char* kDovecot = DOVECOT_PROGRAM;
constexpr const char* kDovecotPop3 = DOVECOT_POP3;
const std::string kOpenssl = std::string("'") + OPENSSL_PROGRAM + "'";

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

int Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str());
}

bool ChownTree(const fs::path& root, uid_t uid, gid_t gid) {
    if (::chown(root.c_str(), uid, gid) != 0) return false;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (::lchown(e.path().c_str(), uid, gid) != 0) return false;
    return true;
}

struct Account {
    std::string name;
    uid_t uid;
    gid_t gid;
};

bool LookUp(const char* name, Account& a) {
    passwd* pw = ::getpwnam(name);
    if (!pw) return false;
    a = {pw->pw_name, pw->pw_uid, pw->pw_gid};
    return true;
}

} // namespace

std::uint16_t FreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

// --- TestPki -------------------------------------------------------------------------------

TestPki::TestPki(const fs::path& dir) : dir_(dir) {
    fs::create_directories(dir_);
    ok_ = Run(kOpenssl + " req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout '" +
              (dir_ / "ca.key").string() + "' -out '" + CaFile() +
              "' -days 2 -subj '/CN=Brevon Test CA'") == 0;
}

bool TestPki::MakeServerCert(const std::string& name, const std::string& altNames, int days) {
    std::string csr = (dir_ / (name + ".csr")).string();
    std::string ext = (dir_ / (name + ".ext")).string();
    WriteFile(ext, "subjectAltName=" + altNames + "\n");
    return Run(kOpenssl + " req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout '" +
               KeyFile(name) + "' -out '" + csr + "' -subj '/CN=" + name + "'") == 0 &&
           Run(kOpenssl + " x509 -req -in '" + csr + "' -CA '" + CaFile() + "' -CAkey '" +
               (dir_ / "ca.key").string() + "' -CAcreateserial -out '" + CertFile(name) +
               "' -days " + std::to_string(days) + " -extfile '" + ext + "'") == 0;
}

// --- DovecotServer -------------------------------------------------------------------------

std::string DovecotServer::Missing() {
    if (::access(kDovecot, X_OK) != 0)
        return "dovecot is not installed (scripts/install-deps installs dovecot-core and "
               "dovecot-pop3d)";
    if (::access(kDovecotPop3, X_OK) != 0) return "dovecot-pop3d is not installed";
    return {};
}

DovecotServer::DovecotServer() {
    std::random_device random;
    std::ostringstream token;
    token << std::hex << random() << random();
    greeting_ = "Brevon test server " + token.str();
    fs::create_directories(dir_.Path() / "Maildir" / "cur");
    fs::create_directories(dir_.Path() / "Maildir" / "new");
    fs::create_directories(dir_.Path() / "Maildir" / "tmp");
    fs::create_directories(dir_.Path() / "run");
    WriteFile(dir_.Path() / "passwd", std::string(kUser) + ":{PLAIN}" + kPassword + "\n");
}

DovecotServer::~DovecotServer() {
    Stop();
}

void DovecotServer::AddMessage(const std::string& raw) {
    // Dovecot numbers new Maildir files in name order; the names sort like the order of adding.
    std::string name = std::to_string(1000000000 + nextMessage_++) + ".M1P1.brevon:2,";
    const fs::path file = dir_.Path() / "Maildir" / "cur" / name;
    WriteFile(file, raw);
    // Added while the server runs: the mail process must be able to read it.
    struct stat folder {};
    if (::stat(file.parent_path().c_str(), &folder) == 0)
        (void)::chown(file.c_str(), folder.st_uid, folder.st_gid);
}

bool DovecotServer::RemoveMessage(std::size_t index) {
    const std::vector<std::string> names = MailFiles();
    if (index >= names.size()) return false;
    std::error_code ec;
    for (const char* sub : {"cur", "new"})
        if (fs::remove(dir_.Path() / "Maildir" / sub / names[index], ec)) return true;
    return false;
}

std::vector<std::string> DovecotServer::MailFiles() const {
    std::vector<std::string> names;
    for (const char* sub : {"cur", "new"})
        for (const auto& e : fs::directory_iterator(dir_.Path() / "Maildir" / sub))
            names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string DovecotServer::Log() const {
    std::ifstream in(dir_.Path() / "dovecot.log");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool DovecotServer::Start(const std::string& certFile, const std::string& keyFile) {
    if (!(error_ = Missing()).empty()) return false;
    const fs::path& d = dir_.Path();
    Account internal, login, mail;
    if (::geteuid() == 0) {
        // Dovecot refuses to run its login processes or mail access as root.
        if (!LookUp("dovecot", internal) || !LookUp("dovenull", login) || !LookUp("nobody", mail)) {
            error_ = "the accounts dovecot, dovenull and nobody are needed when testing as root";
            return false;
        }
        // The mail process (nobody) writes the Maildir; the auth process (dovecot) reads the
        // passwd file, so the folder above must be open to both.
        fs::permissions(d, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        fs::permissions(d / "passwd", fs::perms::owner_read | fs::perms::owner_write |
                                          fs::perms::group_read | fs::perms::others_read);
        if (!ChownTree(d / "Maildir", mail.uid, mail.gid)) {
            error_ = "cannot hand the Maildir to nobody";
            return false;
        }
    } else {
        passwd* pw = ::getpwuid(::geteuid());
        if (!pw) {
            error_ = "the current user has no name";
            return false;
        }
        internal = login = mail = {pw->pw_name, pw->pw_uid, pw->pw_gid};
    }
    launch_ = {internal.name, login.name, mail.uid, mail.gid, certFile, keyFile};
    // A port that was free a moment ago can be taken before Dovecot binds it (by another test's
    // server starting at the same time): then the start is tried again on fresh ports.
    for (int attempt = 1;; ++attempt) {
        port_ = FreePort();
        tlsPort_ = certFile.empty() ? 0 : FreePort();
        if (Launch()) return true;
        if (attempt == 3 || Log().find("Address already in use") == std::string::npos) return false;
    }
}

bool DovecotServer::Restart() {
    Stop();
    if (port_ == 0) return false; // never started
    // The ports were this server's a moment ago; only a straggler of the old one can hold them.
    for (int attempt = 1;; ++attempt) {
        if (Launch()) return true;
        if (attempt == 5 || Log().find("Address already in use") == std::string::npos) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

void DovecotServer::SetPassword(const std::string& password) {
    // Written aside and renamed, so the file is never seen half-written.
    const fs::path file = dir_.Path() / "passwd";
    const fs::path fresh = dir_.Path() / "passwd.new";
    WriteFile(fresh, std::string(kUser) + ":{PLAIN}" + password + "\n");
    std::error_code ignored;
    fs::permissions(fresh, fs::status(file, ignored).permissions(), ignored);
    fs::rename(fresh, file);
}

bool DovecotServer::Launch() {
    const std::string& internalUser = launch_.internalUser;
    const std::string& loginUser = launch_.loginUser;
    const unsigned mailUid = launch_.mailUid;
    const unsigned mailGid = launch_.mailGid;
    const std::string& certFile = launch_.certFile;
    const std::string& keyFile = launch_.keyFile;
    const fs::path& d = dir_.Path();
    std::error_code ignored;
    fs::remove(d / "dovecot.log", ignored);
    bool tls = !certFile.empty();
    std::ostringstream c;
    c << "base_dir = " << (d / "run").string() << "\n"
      << "state_dir = " << (d / "run").string() << "\n"
      << "log_path = " << (d / "dovecot.log").string() << "\n"
      << "protocols = pop3\nlisten = 127.0.0.1\n"
      << "default_internal_user = " << internalUser << "\n"
      << "default_internal_group = " << internalUser << "\n"
      << "default_login_user = " << loginUser << "\n"
      << "first_valid_uid = 1\nfirst_valid_gid = 1\n"
      << "disable_plaintext_auth = no\nauth_mechanisms = plain"
      << (introspectionUrl_.empty() ? "" : " xoauth2 oauthbearer")
      << "\n"
      // A test of a wrong password must not slow down the tests after it.
      << "auth_failure_delay = 0\n"
      << "pop3_uidl_format = %08Xu%08Xv\n"
      << "service anvil {\n  chroot =\n}\n"
      << "service imap-login {\n  inet_listener imap {\n    port = 0\n  }\n"
      << "  inet_listener imaps {\n    port = 0\n  }\n}\n"
      // Processes that serve one connection after another: a test that checks mail thousands
      // of times should not spend its time starting them.
      << "service pop3 {\n  service_count = 0\n}\n"
      << "service pop3-login {\n  chroot =\n  service_count = 0\n"
      << "  inet_listener pop3 {\n    address = 127.0.0.1\n    port = " << port_ << "\n  }\n"
      << "  inet_listener pop3s {\n    address = 127.0.0.1\n    port = " << tlsPort_
      << "\n    ssl = yes\n  }\n}\n"
      << "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN "
      << (d / "passwd").string()
      // A token is never a password.
      << (introspectionUrl_.empty() ? "" : "\n  mechanisms = plain") << "\n}\n";
    if (!introspectionUrl_.empty()) {
        WriteFile(d / "oauth2.conf",
                  "introspection_mode = post\nintrospection_url = " + introspectionUrl_ +
                      "\nusername_attribute = username\n"
                      "active_attribute = active\nactive_value = true\n");
        std::error_code unreadable;
        fs::permissions(d / "oauth2.conf",
                        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::others_read,
                        unreadable);
        c << "passdb {\n  driver = oauth2\n  mechanisms = xoauth2 oauthbearer\n  args = "
          << (d / "oauth2.conf").string() << "\n}\n";
    }
    c << "userdb {\n  driver = static\n  args = uid=" << mailUid << " gid=" << mailGid
      << " home=" << (d / "home").string() << " mail=maildir:" << (d / "Maildir").string()
      << "\n}\n";
    // The readiness check waits for this server's own greeting, not just any POP3 server's.
    c << "login_greeting = " << greeting_ << "\n";
    if (tls)
        c << "ssl = yes\nssl_cert = <" << certFile << "\nssl_key = <" << keyFile
          << "\nssl_min_protocol = TLSv1.2\n";
    else
        c << "ssl = no\n";
    WriteFile(d / "dovecot.conf", c.str());
    if (::geteuid() == 0) ::chown((d / "dovecot.conf").c_str(), 0, 0);

    std::string conf = (d / "dovecot.conf").string();
    pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        // The server must not outlive a test that crashes.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(1);
        int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execl(kDovecot, kDovecot, "-F", "-c", conf.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (pid_ < 0) {
        error_ = std::string("fork: ") + std::strerror(errno);
        return false;
    }
    if (!WaitReady()) {
        error_ = "dovecot did not come up: " + Log();
        Stop();
        return false;
    }
    return true;
}

bool DovecotServer::WaitReady() {
    // The server is ready when a connection gets its own greeting; another test's server on a
    // port that was reused does not count. Wait at most 30 s.
    const std::string expected = "+OK " + greeting_ + "\r\n";
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        int status;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port_);
        bool ready = false;
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
            std::string line;
            char buf[256];
            pollfd p{fd, POLLIN, 0};
            while (line.find('\n') == std::string::npos && line.size() < 1024 &&
                   ::poll(&p, 1, 5000) == 1) {
                const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                if (n <= 0) break;
                line.append(buf, static_cast<std::size_t>(n));
            }
            ready = line == expected;
            ::send(fd, "QUIT\r\n", 6, MSG_NOSIGNAL);
        }
        ::close(fd);
        if (ready) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

void DovecotServer::Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    // The master stops its children before it exits; give it 10 s, then force.
    for (int i = 0; i < 200; ++i) {
        int status;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

// --- ScriptedServer ------------------------------------------------------------------------

ScriptedServer::ScriptedServer(std::vector<Step> script) : script_(std::move(script)) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listenFd_, 1);
    socklen_t len = sizeof a;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
}

ScriptedServer::~ScriptedServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    ::close(listenFd_);
}

void ScriptedServer::Finish() {
    if (thread_.joinable()) thread_.join();
}

std::vector<std::string> ScriptedServer::Received() {
    std::lock_guard lock(mutex_);
    return received_;
}

std::string ScriptedServer::Mismatch() {
    std::lock_guard lock(mutex_);
    return mismatch_;
}

void ScriptedServer::Run() {
    // Every wait is cut into short slices so that the destructor can end the script at once.
    auto waitFor = [this](int fd, short events, int ms) {
        for (int waited = 0; waited < ms && !stop_; waited += 50) {
            pollfd p{fd, events, 0};
            if (::poll(&p, 1, 50) > 0) return true;
        }
        return false;
    };
    if (!waitFor(listenFd_, POLLIN, 10000)) return;
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    std::string pending;
    for (const Step& step : script_) {
        if (stop_) break;
        if (step.kind == Step::Send) {
            ::send(fd, step.text.data(), step.text.size(), MSG_NOSIGNAL);
        } else if (step.kind == Step::Pause) {
            for (int t = 0; t < step.ms && !stop_; t += 10)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } else if (step.kind == Step::Close) {
            break;
        } else if (step.kind == Step::Listen) {
            const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(step.ms);
            while (std::chrono::steady_clock::now() < end && !stop_) {
                char buf[512];
                pollfd p{fd, POLLIN, 0};
                if (::poll(&p, 1, 20) <= 0) continue;
                const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                if (n <= 0) break;
                pending.append(buf, static_cast<std::size_t>(n));
                std::lock_guard lock(mutex_);
                for (std::size_t eol; (eol = pending.find("\r\n")) != std::string::npos;) {
                    received_.push_back(pending.substr(0, eol));
                    pending.erase(0, eol + 2);
                }
            }
        } else if (step.kind == Step::Trickle) {
            for (std::size_t i = 0; !stop_ && !step.text.empty(); i = (i + 1) % step.text.size()) {
                if (::send(fd, &step.text[i], 1, MSG_NOSIGNAL) != 1) break;
                for (int t = 0; t < step.ms && !stop_; t += 10)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        } else {
            std::size_t eol;
            while ((eol = pending.find("\r\n")) == std::string::npos) {
                char buf[512];
                ssize_t n = waitFor(fd, POLLIN, 10000) ? ::recv(fd, buf, sizeof buf, 0) : 0;
                if (n <= 0) break;
                pending.append(buf, static_cast<std::size_t>(n));
            }
            std::lock_guard lock(mutex_);
            if (eol == std::string::npos) {
                mismatch_ = "expected " + step.text + ", got nothing";
                break;
            }
            std::string line = pending.substr(0, eol);
            pending.erase(0, eol + 2);
            received_.push_back(line);
            if (line.rfind(step.text, 0) != 0) {
                mismatch_ = "expected " + step.text + ", got " + line;
                break;
            }
        }
    }
    ::close(fd);
}

} // namespace poptest
