// korp-pop3: runs one POP3 session with the mail component's client and prints every command,
// reply and event, for finding out why a user's server and brevon do not get along.
// The password and the access token are never printed.

#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

#include <korp/KorpMsg.h>
#include <korp/KorpPOP3.h>
#include <platform/Transport.h>

namespace {

const char* const kUsage =
    "usage: korp-pop3 --host H [--port P] [--tls | --starttls] [--ca FILE] --user U\n"
    "                 [--password-file F | --sasl MECH --token-file F]\n"
    "                 (check | top N | retr N [--out FILE])\n"
    "  --tls            implicit TLS (POP3S, port 995 unless --port)\n"
    "  --starttls       STLS before logging in; the password is not sent without it\n"
    "  --ca FILE        trust the certificates in FILE besides the system's\n"
    "  --password-file  first line of F is the password; otherwise it is asked for\n"
    "  --sasl MECH      sign in with an OAuth2 access token: XOAUTH2 or OAUTHBEARER\n"
    "  --token-file F   first line of F is the access token; - reads standard input\n"
    "  check            log in, count the messages and list their unique ids\n"
    "  top N            fetch the header of message N\n"
    "  retr N           fetch message N; --out FILE writes its body text to FILE\n";

int Usage(const char* problem) {
    std::fprintf(stderr, "korp-pop3: %s\n%s", problem, kUsage);
    return 2;
}

// The first line of the file, or of standard input for "-", without its line end.
bool ReadFirstLine(const std::string& file, std::string& line) {
    bool ok = false;
    if (file == "-") {
        ok = static_cast<bool>(std::getline(std::cin, line));
    } else {
        std::ifstream in(file, std::ios::binary);
        ok = in && std::getline(in, line);
    }
    if (ok && !line.empty() && line.back() == '\r') line.pop_back();
    return ok && !line.empty();
}

bool ReadPassword(const std::string& file, std::string& password) {
    if (!file.empty()) {
        std::ifstream in(file, std::ios::binary);
        if (!in || !std::getline(in, password)) return false;
    } else {
        std::fprintf(stderr, "password: ");
#ifdef _WIN32
        const HANDLE console = ::GetStdHandle(STD_INPUT_HANDLE);
        DWORD old = 0;
        bool tty = ::GetConsoleMode(console, &old) != 0;
        if (tty) ::SetConsoleMode(console, old & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
#else
        termios old{};
        bool tty = ::isatty(0) && ::tcgetattr(0, &old) == 0;
        if (tty) {
            termios quiet = old;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            ::tcsetattr(0, TCSANOW, &quiet);
        }
#endif
        bool ok = static_cast<bool>(std::getline(std::cin, password));
        if (tty) {
#ifdef _WIN32
            ::SetConsoleMode(console, old);
#else
            ::tcsetattr(0, TCSANOW, &old);
#endif
            std::fprintf(stderr, "\n");
        }
        if (!ok) return false;
    }
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return true;
}

// Prints a reply's first line; the body of a message is shown as progress instead.
void PrintReply(const std::string& chunk) {
    std::string_view line(chunk);
    std::size_t eol = line.find("\r\n");
    bool more = eol != std::string_view::npos && eol + 2 < line.size();
    line = line.substr(0, eol);
    std::printf("S: %.*s%s\n", static_cast<int>(line.size()), line.data(), more ? "  [...]" : "");
}

// A message number: 1 to 4294967295 in plain digits (strtoul would take a sign and wrap it).
bool ParseNumber(const char* text, std::uint32_t& n) {
    const std::string_view digits(text);
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    return ec == std::errc() && end == digits.data() + digits.size() && n != 0;
}

} // namespace

int main(int argc, char** argv) {
    korp::TKorpPOP pop;
    std::string passwordFile, tokenFile, out, command;
    std::uint32_t number = 0;
    bool portGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view a = argv[i];
        auto value = [&](std::string& target) {
            if (i + 1 >= argc) return false;
            target = argv[++i];
            return true;
        };
        if (a == "--host") {
            if (!value(pop.Host)) return Usage("--host needs a value");
        } else if (a == "--port") {
            if (!value(pop.Port)) return Usage("--port needs a value");
            portGiven = true;
        } else if (a == "--tls") {
            pop.UseTLS = true;
        } else if (a == "--starttls") {
            pop.StartTLS = true;
        } else if (a == "--ca") {
            if (!value(pop.CAFile)) return Usage("--ca needs a file");
        } else if (a == "--user") {
            if (!value(pop.UserId)) return Usage("--user needs a value");
        } else if (a == "--password-file") {
            if (!value(passwordFile)) return Usage("--password-file needs a file");
        } else if (a == "--sasl") {
            if (!value(pop.SaslMechanism)) return Usage("--sasl needs XOAUTH2 or OAUTHBEARER");
        } else if (a == "--token-file") {
            if (!value(tokenFile)) return Usage("--token-file needs a file, or - for stdin");
        } else if (a == "--out") {
            if (!value(out)) return Usage("--out needs a file");
        } else if (a == "check" && command.empty()) {
            command = "check";
        } else if ((a == "top" || a == "retr") && command.empty()) {
            command = std::string(a);
            if (i + 1 >= argc || !ParseNumber(argv[++i], number))
                return Usage("top and retr need a message number from 1 to 4294967295");
        } else if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            return Usage(("unexpected argument: " + std::string(a)).c_str());
        }
    }
    if (pop.Host.empty() || pop.UserId.empty() || command.empty())
        return Usage("--host, --user and a command are needed");
    if (pop.UseTLS && pop.StartTLS) return Usage("--tls and --starttls exclude each other");
    if (!out.empty() && command != "retr") return Usage("--out goes with retr");
    if (pop.UseTLS && !portGiven) pop.Port = "995";
    if (pop.SaslMechanism.empty() != tokenFile.empty())
        return Usage("--sasl and --token-file go together");
    if (!pop.SaslMechanism.empty() && !passwordFile.empty())
        return Usage("--password-file and --sasl exclude each other");
    if (!tokenFile.empty()) {
        if (!ReadFirstLine(tokenFile, pop.AccessToken)) {
            std::fprintf(stderr, "korp-pop3: cannot read the access token\n");
            return 1;
        }
    } else if (!ReadPassword(passwordFile, pop.UserPasswd)) {
        std::fprintf(stderr, "korp-pop3: cannot read the password\n");
        return 1;
    }

    bool awaitingReply = true; // the greeting
    pop.OnLookup = [](korp::TKorpPOP&, platform::Transport&) { std::printf("* lookup\n"); };
    pop.OnConnecting = [&](korp::TKorpPOP& p, platform::Transport&) {
        std::printf("* connecting to %s port %u%s\n", p.Host.c_str(),
                    korp::TKorpPOP::PortNumber(p.Port),
                    p.UseTLS ? " with TLS" : (p.StartTLS ? " (STLS)" : ""));
    };
    pop.OnConnect = [](platform::Transport&) { std::printf("* connected\n"); };
    pop.OnQuit = [](platform::Transport&) { std::printf("* disconnected\n"); };
    pop.OnError = [](korp::TKorpPOP&, int code, const std::string& msg) {
        std::printf("* error %d: %s\n", code, msg.c_str());
    };
    pop.OnBeforeRetrieve = [](korp::TKorpPOP&, std::uint32_t n) {
        std::printf("* retrieving message %u\n", n);
    };
    pop.OnRetrieveProgress = [](korp::TKorpPOP&, std::uint16_t p) {
        std::printf("* progress %u%%\n", p);
    };
    pop.OnAfterRetrieve = [](korp::TKorpPOP&) { std::printf("* retrieved\n"); };
    pop.OnSendTextToSocket = [&](korp::TKorpPOP&, const std::string& s) {
        if (s.rfind("PASS ", 0) == 0)
            std::printf("C: PASS ********\n");
        else
            std::printf("C: %s\n", s.c_str());
        awaitingReply = true;
    };
    pop.OnReceiveTextFromSocket = [&](korp::TKorpPOP&, const std::string& chunk) {
        if (awaitingReply) PrintReply(chunk);
        awaitingReply = false;
    };

    pop.Connect();
    if (pop.ErrorFlag || !pop.IsConnected) {
        std::printf("result: cannot connect%s%s\n", pop.LastError.empty() ? "" : ": ",
                    pop.LastError.c_str());
        return 1;
    }
    if (!pop.Login()) {
        std::printf("result: login failed%s%s\n", pop.LastError.empty() ? "" : ": ",
                    pop.LastError.c_str());
        return 1;
    }
    int status = 0;
    if (command == "check") {
        pop.GetMailCount();
        std::printf("result: %u messages, %u new\n", pop.MailCount, pop.NewMailCount);
        for (std::uint32_t n = 1; n <= pop.MailCount && pop.IsConnected; ++n)
            std::printf("uidl %u: %s\n", n, pop.GetUIDL(n).c_str());
        if (!pop.IsConnected) status = 1;
    } else {
        korp::TKorpMsg* msg = command == "top" ? pop.RetrieveHeader(number) : pop.Retrieve(number);
        if (!msg) {
            std::printf("result: message %u not fetched%s%s\n", number,
                        pop.LastError.empty() ? "" : ": ", pop.LastError.c_str());
            status = 1;
        } else {
            std::printf("From: %s\nSubject: %s\nDate: %s\nSize: %d\nText: %zu lines\n"
                        "Attachments: %zu\n",
                        msg->From.c_str(), msg->Subject.c_str(), msg->Date.c_str(), msg->Size,
                        msg->Text.Count(), msg->AttachedFiles.Count());
            for (std::size_t i = 0; i < msg->AttachedFiles.Count(); ++i)
                std::printf("  %s (%s, %lld bytes)\n", msg->AttachedFiles[i].FileName.c_str(),
                            msg->AttachedFiles[i].MimeType.c_str(),
                            static_cast<long long>(msg->AttachedFiles[i].Data.Bytes().size()));
            if (!out.empty()) {
                std::ofstream file(out, std::ios::binary);
                file << msg->Text.Text();
                if (!file.flush()) {
                    std::fprintf(stderr, "korp-pop3: cannot write %s\n", out.c_str());
                    status = 1;
                }
            }
        }
    }
    pop.Quit();
    return status;
}
