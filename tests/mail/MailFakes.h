// Recording fakes of what the mail side talks to (the bar and tray, speech, the connection
// window, the preprocessor, the language gate), and an in-memory POP3 server behind the real
// client's transport, so the check cycle and the reading controller run as in the program.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <korp/KorpPOP3.h>
#include <mail/ReadingState.h>
#include <mail/Seams.h>
#include <platform/Transport.h>

namespace brevon::fakes {

using CallLog = std::vector<std::string>;

// The bar and the tray menu: button states, timers and the options dialog, as the control bar
// keeps them (the header timer sets and clears ReadWithHeader).
class FakeShell final : public ShellOps {
public:
    FakeShell(CallLog& log, ReadingState& state) : log_(log), state_(state) {}

    std::map<std::string, bool, std::less<>> buttons{
        {"play", false}, {"pauze", false}, {"stop", false}, {"back", false}, {"forw", false}};
    bool mailTimer = false;
    bool headerTimer = false;
    int optionsShown = 0;
    bool online = true; // the tray's "Offline werken" mark shows the opposite

    void SetButtonState(std::string_view name, bool enabled) override {
        for (auto& [button, on] : buttons)
            if (name == "all" || name == button) on = enabled;
    }
    bool ButtonEnabled(std::string_view name) const override {
        bool all = true;
        for (const auto& [button, on] : buttons) {
            if (name == button) return on;
            all = all && on;
        }
        return name == "all" && all;
    }
    void UpdateHints() override {}
    void SetMailTimer(bool on) override { mailTimer = on; }
    void StartHeaderTimer() override {
        headerTimer = true;
        state_.ReadWithHeader = false;
    }
    void StopHeaderTimer() override {
        headerTimer = false;
        state_.ReadWithHeader = true;
    }
    void ShowOptions() override {
        ++optionsShown;
        log_.push_back("ShowOptions");
    }
    void FocusConnectionField(bool focusUser) override {
        log_.push_back(focusUser ? "Focus user" : "Focus host");
    }
    void ToggleOnline(bool on) override { online = on; }

    // "play pauze stop back forw" with the enabled ones in upper case, for compact checks.
    std::string Buttons() const {
        std::string out;
        for (const char* name : {"play", "pauze", "stop", "back", "forw"}) {
            if (!out.empty()) out += ' ';
            std::string word = name;
            if (buttons.find(name)->second)
                std::transform(word.begin(), word.end(), word.begin(), ::toupper);
            out += word;
        }
        return out;
    }

private:
    CallLog& log_;
    ReadingState& state_;
};

// Speech as the engine behaves: every text said with a window gets one end report, in order,
// also when Stop cut it off. The test delivers the reports (Deliver), as the event loop would.
class FakeSpeech final : public SpeechOps {
public:
    struct Said {
        void* window;
        std::string text;
        std::string language = "nl"; // what SetLanguage last chose when the text was said
    };
    std::vector<Said> said;
    std::string language = "nl";
    std::deque<void*> pendingEnds;
    bool paused = false;
    int stops = 0;

    void Say(void* window, const std::string& text) override {
        said.push_back({window, text, language});
        if (window) pendingEnds.push_back(window);
    }
    void Pause() override { paused = !paused; }
    void Stop() override {
        ++stops;
        paused = false;
    }
    void SetTempo(std::int32_t) override {}
    void SetPitch(std::int32_t) override {}
    void SetVolume(std::int32_t) override {}
    void SetVoice(std::int32_t) override {}
    void SetLanguage(const std::string& code) override { language = code; }
    void GetDefaultSettings(std::int32_t& voice, std::int32_t& tempo, std::int32_t& pitch,
                            std::int32_t& volume) override {
        voice = tempo = pitch = volume = 0;
    }
    void Lexicon(void*) override {}

    // The texts said, in order.
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const Said& s : said)
            out.push_back(s.text);
        return out;
    }
};

// The hidden window's controls, noted in the log as the program's trace notes them.
class FakeWindow final : public ConnectionWindow {
public:
    explicit FakeWindow(CallLog& log) : log_(log) {}
    bool connected = false;
    bool gettingMails = false;
    int busy = 0;
    std::string status;
    int broughtToFront = 0;

    void SetConnected(bool ticked) override { connected = ticked; }
    void SetGettingMails(bool ticked) override { gettingMails = ticked; }
    void SetStatusText(const std::string& text) override {
        status = text;
        log_.push_back("Status " + text);
    }
    void SetProgressLabel(const std::string& text) override { log_.push_back(text); }
    void SetProgress(int) override {}
    void SetBusyCursor(bool on) override { busy += on ? 1 : -1; }
    void BringBarToFront() override { ++broughtToFront; }

private:
    CallLog& log_;
};

// Marks each step so a test sees what went through which engine.
class FakePreprocessor final : public PreprocessorOps {
public:
    Result clean{0, ""}; // length < 0: fail; otherwise "[clean]" + text when length > 0
    bool useCleanAnswer = false;
    bool failParagraphs = false;
    bool failNumbers = false;
    std::vector<std::string> calls;

    Result Clean(const std::string& text, bool skipQuoted) override {
        calls.push_back(std::string("Clean") + (skipQuoted ? " skip" : ""));
        if (useCleanAnswer) return clean;
        return {static_cast<std::int32_t>(text.size()), "[clean]" + text};
    }
    Result RestoreParagraphs(const std::string& text) override {
        calls.push_back("RestoreParagraphs");
        if (failParagraphs) return {-1, ""};
        return {static_cast<std::int32_t>(text.size()), "[para]" + text};
    }
    Result SolveNumbers(const std::string& text) override {
        calls.push_back("SolveNumbers");
        if (failNumbers) return {-1, ""};
        return {static_cast<std::int32_t>(text.size()), "[num]" + text};
    }
};

class FakeLanguageCheck final : public LanguageCheckOps {
public:
    bool dutch = true;
    std::string answer; // ClassifyLanguage's
    int asked = 0;
    void EnableLanguageCheck() override {}
    void DisableLanguageCheck() override {}
    void ApplyLanguageCheckSetting() override {}
    bool LanguageCheckLoaded() const override { return true; }
    bool IsDutchText(const std::string&) const override {
        ++const_cast<FakeLanguageCheck*>(this)->asked;
        return dutch;
    }
    std::string ClassifyLanguage(const std::string&) const override {
        ++const_cast<FakeLanguageCheck*>(this)->asked;
        return answer;
    }
};

// A POP3 mailbox in memory, served over the client's transport seam. It answers as Dovecot
// does (LAST is unknown) and can be told to misbehave.
struct FakeMailbox {
    struct Message {
        std::string uidl;
        std::string raw; // LF or CR LF line ends
    };
    std::vector<Message> messages;
    std::string user = "jan";
    std::string password = "geheim";

    // Faults.
    bool refuseConnect = false;
    std::set<int> refuseUidl; // message numbers answered "-ERR"
    std::set<int> refuseTop;
    std::set<int> refuseRetr;
    int dropAfterCommands = -1; // the connection goes after that many commands
    bool refuseStat = false;
    bool refuseUidlListing = false; // "UIDL" without a number
    // Runs before each command is answered (the client's event pump is elsewhere).
    std::function<void(const std::string& command)> onCommand;

    std::vector<std::string> commands; // every command line received, PASS masked
    std::string lastHost;              // where the client connected last
    std::uint16_t lastPort = 0;
    int connections = 0;

    void Add(std::string uidl, std::string raw) {
        messages.push_back({std::move(uidl), std::move(raw)});
    }
    int Count(std::string_view verb) const {
        return static_cast<int>(
            std::count_if(commands.begin(), commands.end(),
                          [verb](const std::string& c) { return c.rfind(verb, 0) == 0; }));
    }
    // Commands of the last connection.
    std::vector<std::string> lastSession;
};

class FakePopTransport final : public platform::Transport {
public:
    explicit FakePopTransport(FakeMailbox& box) : box_(box) {}

    bool Open(const std::string& host, std::uint16_t port) override {
        box_.lastHost = host;
        box_.lastPort = port;
        if (box_.refuseConnect) {
            ReportError(platform::kTransportRefused, "connection refused");
            return false;
        }
        ++box_.connections;
        box_.lastSession.clear();
        open_ = true;
        Fire(OnConnected);
        out_ = "+OK ready\r\n";
        return true;
    }
    bool Send(std::string_view bytes) override {
        if (!open_) return false;
        in_ += bytes;
        std::size_t eol;
        while ((eol = in_.find("\r\n")) != std::string::npos) {
            const std::string line = in_.substr(0, eol);
            in_.erase(0, eol + 2);
            Answer(line);
        }
        return true;
    }
    std::size_t Receive(char* buffer, std::size_t capacity) override {
        if (!open_) return 0;
        if (out_.empty()) {
            ReportError(platform::kTransportClosedByPeer, "the server closed the connection");
            Close();
            return 0;
        }
        const std::size_t n = std::min(capacity, out_.size());
        out_.copy(buffer, n);
        out_.erase(0, n);
        return n;
    }
    void Close() override {
        if (!open_) return;
        open_ = false;
        Fire(OnDisconnected);
    }
    bool IsOpen() const override { return open_; }

private:
    static std::string Crlf(const std::string& raw) {
        std::string out;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '\n' && (i == 0 || raw[i - 1] != '\r')) out += '\r';
            out += raw[i];
        }
        if (out.size() < 2 || out.compare(out.size() - 2, 2, "\r\n") != 0) out += "\r\n";
        return out;
    }
    static std::string DotStuffed(const std::string& text) {
        std::string out;
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find("\r\n", start);
            const std::string line = text.substr(start, end - start);
            if (!line.empty() && line[0] == '.') out += '.';
            out += line + "\r\n";
            start = end + 2;
        }
        return out;
    }
    const FakeMailbox::Message* At(const std::string& arg) const {
        const int n = std::atoi(arg.c_str());
        if (n < 1 || n > static_cast<int>(box_.messages.size())) return nullptr;
        return &box_.messages[n - 1];
    }

    void Answer(const std::string& line) {
        const std::string noted = line.rfind("PASS ", 0) == 0 ? "PASS ****" : line;
        box_.commands.push_back(noted);
        box_.lastSession.push_back(noted);
        if (box_.onCommand) box_.onCommand(line);
        if (box_.dropAfterCommands >= 0 &&
            static_cast<int>(box_.commands.size()) > box_.dropAfterCommands) {
            out_.clear();
            return; // the next receive finds the connection gone
        }
        const std::size_t blank = line.find(' ');
        const std::string verb = line.substr(0, blank);
        const std::string arg = blank == std::string::npos ? "" : line.substr(blank + 1);
        const int n = std::atoi(arg.c_str());
        const FakeMailbox::Message* m = At(arg);
        if (verb == "USER") {
            out_ += "+OK\r\n";
        } else if (verb == "PASS") {
            out_ += arg == box_.password ? "+OK logged in\r\n" : "-ERR authentication failed\r\n";
        } else if (verb == "STAT") {
            out_ += box_.refuseStat ? "-ERR no\r\n"
                                    : "+OK " + std::to_string(box_.messages.size()) + " 0\r\n";
        } else if (verb == "LAST") {
            out_ += "-ERR unknown command\r\n";
        } else if (verb == "UIDL" && arg.empty()) {
            if (box_.refuseUidlListing) {
                out_ += "-ERR not here\r\n";
            } else {
                out_ += "+OK\r\n";
                for (std::size_t i = 0; i < box_.messages.size(); ++i)
                    out_ += std::to_string(i + 1) + " " + box_.messages[i].uidl + "\r\n";
                out_ += ".\r\n";
            }
        } else if (verb == "UIDL") {
            if (!m || box_.refuseUidl.count(n))
                out_ += "-ERR no such message\r\n";
            else
                out_ += "+OK " + std::to_string(n) + " " + m->uidl + "\r\n";
        } else if (verb == "LIST") {
            out_ +=
                m ? "+OK " + std::to_string(n) + " " + std::to_string(Crlf(m->raw).size()) + "\r\n"
                  : "-ERR no such message\r\n";
        } else if (verb == "TOP") {
            if (!m || box_.refuseTop.count(n)) {
                out_ += "-ERR no such message\r\n";
            } else {
                const std::string whole = Crlf(m->raw);
                const std::size_t end = whole.find("\r\n\r\n");
                const std::string head =
                    end == std::string::npos ? whole : whole.substr(0, end + 2) + "\r\n";
                out_ += "+OK\r\n" + DotStuffed(head) + ".\r\n";
            }
        } else if (verb == "RETR") {
            if (!m || box_.refuseRetr.count(n))
                out_ += "-ERR no such message\r\n";
            else
                out_ += "+OK\r\n" + DotStuffed(Crlf(m->raw)) + ".\r\n";
        } else if (verb == "QUIT") {
            out_ += "+OK bye\r\n";
        } else {
            out_ += "-ERR unknown command\r\n";
        }
    }

    FakeMailbox& box_;
    bool open_ = false;
    std::string in_;
    std::string out_;
};

// Points a client at the mailbox.
inline void ServeFrom(korp::TKorpPOP& client, FakeMailbox& box) {
    client.TransportFactory = [&box](const korp::TKorpPOP&) {
        return std::make_unique<FakePopTransport>(box);
    };
}

} // namespace brevon::fakes
