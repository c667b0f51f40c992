#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

#include "TempDir.h"

namespace poptest {

// A port on 127.0.0.1 that was free a moment ago.
std::uint16_t FreePort();

// A certificate authority and server certificates made with the openssl command.
class TestPki {
public:
    explicit TestPki(const std::filesystem::path& dir);
    bool Ok() const { return ok_; }
    std::string CaFile() const { return (dir_ / "ca.pem").string(); }
    // A certificate and key for the given subject alternative names ("DNS:x,IP:y"), valid from
    // now for days (a negative number gives a certificate that has expired).
    bool MakeServerCert(const std::string& name, const std::string& altNames, int days);
    std::string CertFile(const std::string& name) const {
        return (dir_ / (name + ".pem")).string();
    }
    std::string KeyFile(const std::string& name) const { return (dir_ / (name + ".key")).string(); }

private:
    std::filesystem::path dir_;
    bool ok_ = false;
};

// Dovecot's POP3 server as a child process on 127.0.0.1 with its own configuration, one
// passwd-file user and a Maildir the test fills. When the tests run as root the server drops
// to the unprivileged accounts Debian's package made; otherwise it runs as the current user.
class DovecotServer {
public:
    static constexpr const char* kUser = "jan";
    static constexpr const char* kPassword = "geheim wachtwoord";

    // Empty when the server is installed, otherwise what is missing (Start fails with it).
    static std::string Missing();

    DovecotServer();
    ~DovecotServer();
    DovecotServer(const DovecotServer&) = delete;
    DovecotServer& operator=(const DovecotServer&) = delete;

    // Adds a message (LF or CR LF line ends) after the ones added before.
    void AddMessage(const std::string& raw);
    // Deletes the message at that 0-based place in the order of adding, as another mail
    // program would; false when there is none.
    bool RemoveMessage(std::size_t index);
    // Starts the server; with a certificate it also offers STLS and listens for POP3S.
    bool Start(const std::string& certFile = {}, const std::string& keyFile = {});
    void Stop();
    // Stops the server if it runs and starts it again on the same ports, with the mailbox as
    // it is: what a client sees of a server that restarts. False when it did not come up.
    bool Restart();
    // The password the server takes from its next start (Restart) on.
    void SetPassword(const std::string& password);
    // From the next start on, AUTH XOAUTH2 and OAUTHBEARER too: each token is asked of the
    // OAuth2 introspection endpoint at that address (RFC 7662, POSTed), which answers with
    // "active" and "username".
    void UseOAuth2(const std::string& introspectionUrl) { introspectionUrl_ = introspectionUrl; }
    std::uint16_t Port() const { return port_; }
    std::uint16_t TlsPort() const { return tlsPort_; }
    const std::string& Error() const { return error_; }
    // The greeting this server alone sends after "+OK ".
    const std::string& Greeting() const { return greeting_; }
    // File names in the Maildir's cur and new folders, sorted.
    std::vector<std::string> MailFiles() const;
    std::string Log() const;

private:
    // Runs Dovecot on port_ (and tlsPort_ with a certificate) as launch_ says.
    bool Launch();
    bool WaitReady();
    struct LaunchArgs {
        std::string internalUser, loginUser;
        unsigned mailUid = 0, mailGid = 0;
        std::string certFile, keyFile;
    } launch_;
    testsupport::TempDir dir_{"brevon-pop3"};
    std::string greeting_;
    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
    std::uint16_t tlsPort_ = 0;
    int nextMessage_ = 0;
    std::string error_;
    std::string introspectionUrl_;
};

// A POP3 server that follows a script, for what a real server will not do. It serves one
// connection on 127.0.0.1; every wait is bounded.
class ScriptedServer {
public:
    struct Step {
        enum Kind { Send, Expect, Pause, Close, Listen, Trickle } kind;
        std::string text; // Send: bytes; Expect: the start of the command line; Trickle: bytes
        int ms = 0;       // Pause, Listen; Trickle: between two bytes
    };
    static Step Send(std::string bytes) { return {Step::Send, std::move(bytes), 0}; }
    static Step Expect(std::string command) { return {Step::Expect, std::move(command), 0}; }
    static Step Pause(int ms) { return {Step::Pause, {}, ms}; }
    static Step Close() { return {Step::Close, {}, 0}; }
    // Takes every command line that comes, until the client closes or ms have passed.
    static Step Listen(int ms) { return {Step::Listen, {}, ms}; }
    // Sends the bytes one at a time, every ms, over and over until the client closes or the
    // server is destroyed: a server that keeps a reply alive without ever finishing it.
    static Step Trickle(std::string bytes, int ms) { return {Step::Trickle, std::move(bytes), ms}; }

    explicit ScriptedServer(std::vector<Step> script);
    ~ScriptedServer();
    std::uint16_t Port() const { return port_; }
    // Command lines received, without CR LF.
    std::vector<std::string> Received();
    // Empty when every Expect matched.
    std::string Mismatch();
    // Waits (bounded) until the script has run.
    void Finish();

private:
    void Run();
    std::vector<Step> script_;
    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> received_;
    std::string mismatch_;
    std::thread thread_;
};

} // namespace poptest
