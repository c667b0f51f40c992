#include <korp/KorpPOP3.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include <korp/KorpErrors.h>
#include <korp/KorpMsg.h>
#include <korp/KorpSasl.h>
#include <korp/KorpStreams.h>
#include <korp/korp_util.h>
#include <platform/TcpTransport.h>
#include <platform/TlsTransport.h>

namespace korp {

namespace {

// What one receive may take: a large message then crosses in few system calls.
constexpr std::size_t kChunk = 64 * 1024;
// Progress is told as if the message came in pieces of this size, whatever one receive brings,
// so that every step is reported near its own percentage.
constexpr std::uint64_t kProgressPiece = 1024;
constexpr std::size_t kMaxReplyLine = 65536;
// Beyond twice the stated size a message may still grow by this much (a header the server
// adds, line ends it rewrites) before it counts as endless.
constexpr std::uint64_t kSizeSlack = 1024 * 1024;
// One line of a UIDL listing at most: a message number, a blank, an id of up to 70 characters
// (RFC 1939, 7), CR LF; with room to spare for servers that pad.
constexpr std::uint64_t kMaxUidlLine = 128;
// A whole listing at most, whatever count the server claims: half a million messages and more.
constexpr std::uint64_t kMaxUidlListing = std::uint64_t{16} << 20;
constexpr std::string_view kTerminator = "\r\n.\r\n";
constexpr std::string_view kNotConnectedLogin = "Invalid Op. Not connected.";
constexpr std::string_view kNotConnectedRetrieve = "Not connected.";

// Whether text can be the start of a status line (RFC 1939, 3): "+OK" or "-ERR", then a blank
// or the end of the line; with continuation also a SASL challenge, "+" alone or with a blank
// (RFC 5034, 4). Text that cannot is known as soon as its first bytes are in.
bool MayBeStatusLine(std::string_view text, bool continuation = false) {
    for (const std::string_view indicator :
         {std::string_view("+OK"), std::string_view("-ERR"),
          continuation ? std::string_view("+") : std::string_view("-ERR")}) {
        const std::size_t n = std::min(text.size(), indicator.size());
        if (text.substr(0, n) != indicator.substr(0, n)) continue;
        if (text.size() <= indicator.size()) return true;
        const char next = text[indicator.size()];
        if (next == ' ' || next == '\t' || next == '\r') return true;
    }
    return false;
}

// The start of a server's text as a reason may quote it: printable, and not endless.
std::string Quoted(std::string_view text) {
    std::string out;
    for (const char c : text.substr(0, std::min(text.find("\r\n"), std::size_t{60})))
        out += static_cast<unsigned char>(c) < ' ' || c == 0x7f ? '?' : c;
    return "\"" + out + "\"";
}

// Rounds num / den to the nearest whole number, halves to even.
std::uint64_t RoundHalfEven(std::uint64_t num, std::uint64_t den) {
    std::uint64_t q = num / den;
    std::uint64_t r2 = (num % den) * 2;
    if (r2 > den || (r2 == den && (q & 1))) ++q;
    return q;
}

} // namespace

// Refuses calls made from inside ProcessMessages while an operation runs: the application's
// event loop must not start a second conversation over the same connection.
class TKorpPOP::Guard {
public:
    explicit Guard(TKorpPOP& pop) : pop_(pop), entered_(!pop.busy_) {
        if (entered_) {
            pop_.busy_ = true;
            pop_.failed_ = false;
        }
    }
    ~Guard() {
        if (entered_) pop_.busy_ = false;
    }
    bool Entered() const { return entered_; }

private:
    TKorpPOP& pop_;
    bool entered_;
};

TKorpPOP::TKorpPOP() = default;

TKorpPOP::~TKorpPOP() {
    if (transport_) {
        // Closing on destruction is no event for a client that is going away.
        transport_->OnDisconnected = nullptr;
        transport_->OnError = nullptr;
        transport_->Close();
    }
}

bool TKorpPOP::Refuse(const char* operation) {
    LastError = std::string(operation) + " refused: another POP3 operation is in progress";
    return false;
}

void TKorpPOP::LetMessagesRun() {
    if (ProcessMessages) ProcessMessages();
}

std::unique_ptr<platform::Transport> TKorpPOP::MakeTransport() {
    if (TransportFactory) return TransportFactory(*this);
    if (UseTLS || StartTLS) {
        auto tls = std::make_unique<platform::TlsTransport>(UseTLS);
        tls->CaFile = CAFile;
        return tls;
    }
    return std::make_unique<platform::TcpTransport>();
}

namespace {

// The k-th blank-separated word (from 1) of the trimmed text, without a leading "+"; nothing
// when the text has fewer words.
std::optional<std::string_view> WordAt(std::string_view text, int k) {
    text = Trim(text);
    int index = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ')
            ++i;
        std::size_t start = i;
        while (i < text.size() && text[i] != ' ')
            ++i;
        if (start == i) break;
        if (++index == k) {
            std::string_view word = text.substr(start, i - start);
            if (!word.empty() && word.front() == '+') word.remove_prefix(1);
            return word;
        }
    }
    return std::nullopt;
}

// The whole word as a number of type T, or nothing.
template <typename T> std::optional<T> WholeNumber(std::string_view word) {
    T value = 0;
    auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (ec != std::errc() || end != word.data() + word.size() || word.empty()) return std::nullopt;
    return value;
}

// One line of a UIDL reply or listing (RFC 1939, 7): a message number, one blank, and an id of
// characters from 0x21 to 0x7E.
struct UidlLine {
    std::uint32_t number;
    std::string_view id;
};
std::optional<UidlLine> ParseUidlLine(std::string_view line) {
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos) return std::nullopt;
    const std::string_view digits = line.substr(0, blank);
    const std::string_view id = line.substr(blank + 1);
    const std::optional<std::uint32_t> number = WholeNumber<std::uint32_t>(digits);
    if (!number || id.empty()) return std::nullopt;
    for (const char c : id)
        if (c < 0x21 || c > 0x7e) return std::nullopt;
    return UidlLine{*number, id};
}

} // namespace

int TKorpPOP::ReplyWord(std::string_view text, int k, int def) {
    const std::optional<std::string_view> word = WordAt(text, k);
    return word ? WholeNumber<int>(*word).value_or(def) : def;
}

std::optional<std::uint32_t> TKorpPOP::ReplyNumber(std::string_view text, int k) {
    // from_chars of an unsigned type takes no "-" and reports a value beyond its range, so
    // neither wraps round.
    const std::optional<std::string_view> word = WordAt(text, k);
    return word ? WholeNumber<std::uint32_t>(*word) : std::nullopt;
}

bool TKorpPOP::IsIPAddress(std::string_view text) {
    int parts = 0;
    std::size_t i = 0;
    for (;;) {
        std::size_t start = i;
        int value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 3)
            value = value * 10 + (text[i++] - '0');
        if (i == start || value > 255) return false;
        ++parts;
        if (i == text.size()) return parts == 4;
        if (text[i] != '.' || parts == 4) return false;
        ++i;
    }
}

std::uint16_t TKorpPOP::PortNumber(std::string_view text) {
    text = Trim(text);
    unsigned value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535)
        return 110;
    return static_cast<std::uint16_t>(value);
}

void TKorpPOP::RaiseError(int code) {
    ErrorFlag = true;
    LastErrorCode = code;
    if (transport_) transport_->Close();
    inbox_.clear();
    IsConnected = false;
    if (OnError) OnError(*this, code, ReplyText);
}

void TKorpPOP::EndSession(int code, const std::string& reason) {
    failed_ = true;
    LastError = reason;
    LastErrorCode = code;
    ErrorFlag = true;
    if (transport_) transport_->Close();
    inbox_.clear();
    IsConnected = false;
    // The reason says more than the text of some earlier reply would.
    if (OnError) OnError(*this, code, reason);
}

bool TKorpPOP::SendCommand(const std::string& text, std::string_view shown) {
    LetMessagesRun();
    if (!transport_) return false;
    command_ = !shown.empty() ? std::string(shown) : text.rfind("PASS ", 0) == 0 ? "PASS" : text;
    // Whatever is already there came before the command was sent, so it cannot answer it: an
    // extra line after the last reply, or a server out of step. Either way, what would be read
    // as this command's reply is not.
    if (transport_->IsOpen() && (!inbox_.empty() || transport_->HasUnreadData())) {
        EndSession(kErrProtocol, "the server sent " +
                                     (inbox_.empty() ? std::string("data") : Quoted(inbox_)) +
                                     " before " + command_ + " was sent");
        return false;
    }
    StartDeadline(command_);
    bool sent = transport_->Send(text + "\r\n");
    if (sent && OnSendTextToSocket) OnSendTextToSocket(*this, shown.empty() ? text : command_);
    return sent;
}

void TKorpPOP::NotConnected() {
    // Nothing can come back over a closed connection: that is a failure, never an empty "+OK".
    ErrorFlag = true;
    if (failed_) return; // reported once per operation
    failed_ = true;
    LastError = std::string(kNotConnectedRetrieve);
    LastErrorCode = platform::kTransportNotConnected;
    if (OnError) OnError(*this, LastErrorCode, LastError);
}

void TKorpPOP::Abort() {
    if (transport_) transport_->Close();
    inbox_.clear();
    IsConnected = false;
}

namespace {

// "60 s", "1.5 s": time-outs in reasons a user reads.
std::string Seconds(std::chrono::milliseconds d) {
    const long long ms = d.count() < 0 ? 0 : static_cast<long long>(d.count());
    // Appended piece by piece: GCC 12 warns wrongly about "x" + std::string at -O3.
    std::string text = std::to_string(ms / 1000);
    if (ms % 1000) {
        text += '.';
        text += std::to_string(ms % 1000 / 100);
    }
    text += " s";
    return text;
}

} // namespace

void TKorpPOP::StartDeadline(const std::string& what) {
    if (transport_)
        transport_->SetDeadline(std::chrono::steady_clock::now() + CommandTimeout,
                                "no answer to " + what + " within " + Seconds(CommandTimeout));
}

void TKorpPOP::ExtendDeadline(std::chrono::steady_clock::time_point start, std::uint64_t received) {
    const std::uint64_t rate = std::max<std::uint32_t>(MinTransferRate, 1);
    // Bounded so that the sum cannot overflow the clock: a day is beyond any real reply.
    const std::uint64_t extraMs = std::min<std::uint64_t>(received * 1000 / rate, 86400000);
    if (transport_)
        transport_->SetDeadline(start + CommandTimeout + std::chrono::milliseconds(extraMs),
                                "the answer to " + command_ + " comes too slowly (" +
                                    std::to_string(received) + " bytes, fewer than " +
                                    std::to_string(rate) + " a second)");
}

bool TKorpPOP::Fill() {
    if (!receiveBuffer_) receiveBuffer_ = std::make_unique<char[]>(kChunk);
    const std::size_t got = transport_ ? transport_->Receive(receiveBuffer_.get(), kChunk) : 0;
    inbox_.append(receiveBuffer_.get(), got);
    if (got == 0) NotConnected(); // closed meanwhile (Abort); a transport failure was reported
    return got > 0;
}

std::string TKorpPOP::ReceiveReply(int notAStatus, bool continuation) {
    LetMessagesRun();
    ReplyStatus.clear();
    ReplyText.clear();
    if (!transport_ || !transport_->IsOpen()) {
        // Closed before this reply: by an error of an earlier command, by the server, or by
        // Abort while the application ran.
        NotConnected();
        return {};
    }
    // A status line can arrive in pieces (a slow link, a TLS record boundary); it ends at its
    // CR LF, and what follows is not this reply's. RFC 2449 caps a response line at 512
    // octets; the cap here only bounds a broken server, and noise is known by its first bytes.
    std::size_t eol;
    while ((eol = inbox_.find("\r\n")) == std::string::npos && inbox_.size() < kMaxReplyLine &&
           MayBeStatusLine(inbox_, continuation)) {
        if (!Fill()) return {};
    }
    std::string line;
    if (eol == std::string::npos) {
        line.swap(inbox_);
    } else {
        line = inbox_.substr(0, eol + 2);
        inbox_.erase(0, eol + 2);
    }
    const std::string_view view(line);
    // A challenge's status is its "+" alone; its text is the base64 after it.
    const std::size_t statusEnd =
        continuation && view.size() > 1 && (view[1] == ' ' || view[1] == '\r') ? 1 : 4;
    ReplyStatus = std::string(Trim(view.substr(0, statusEnd)));
    ReplyText = eol != std::string::npos && eol > statusEnd
                    ? std::string(Trim(view.substr(statusEnd, eol - statusEnd)))
                    : std::string();
    if (OnReceiveTextFromSocket) OnReceiveTextFromSocket(*this, line);
    if (eol == std::string::npos || !MayBeStatusLine(line, continuation)) {
        // Neither "+OK" nor "-ERR" is no answer at all, never a success.
        EndSession(notAStatus, notAStatus == kErrNotPop3
                                   ? "no POP3 server answers there; it greeted with " + Quoted(line)
                                   : "the server answered " + Quoted(line) + " to " + command_);
        return line;
    }
    ErrorFlag = ReplyStatus == "-ERR";
    return line;
}

std::string TKorpPOP::ReceiveData() {
    if (inbox_.empty()) {
        if (!transport_ || !transport_->IsOpen()) {
            NotConnected();
            return {};
        }
        if (!Fill()) return {};
    }
    std::string data;
    data.swap(inbox_);
    if (OnReceiveTextFromSocket) OnReceiveTextFromSocket(*this, data);
    return data;
}

void TKorpPOP::Connect() {
    Guard guard(*this);
    if (!guard.Entered()) {
        Refuse("Connect");
        return;
    }
    LastError.clear();
    LastErrorCode = 0;
    MailCount = 0;
    std::uint16_t port = PortNumber(Port);
    if (transport_) {
        transport_->OnDisconnected = nullptr;
        transport_->Close();
    }
    IsConnected = false;
    inbox_.clear();
    transport_ = MakeTransport();
    platform::Transport& t = *transport_;
    t.LookupTimeout = LookupTimeout;
    t.ConnectTimeout = ConnectTimeout;
    t.ReceiveTimeout = ReceiveTimeout;
    t.PumpInterval = PumpInterval;
    t.Pump = [this] { LetMessagesRun(); };
    t.SetDeadline(std::chrono::steady_clock::now() + CommandTimeout,
                  "no connection to " + Host + " within " + Seconds(CommandTimeout));
    t.OnLookup = [this, &t] {
        if (OnLookup) OnLookup(*this, t);
    };
    t.OnConnecting = [this, &t] {
        if (OnConnecting) OnConnecting(*this, t);
    };
    t.OnConnected = [this, &t] {
        IsConnected = true;
        if (OnConnect) OnConnect(t);
    };
    t.OnDisconnected = [this, &t] {
        IsConnected = false;
        if (OnQuit) OnQuit(t);
    };
    t.OnError = [this](int code, const std::string& reason) { EndSession(code, reason); };
    // A dotted IPv4 address is used as it is; anything else, 10.0.0.256 included, is resolved.
    ErrorFlag = false;
    if (!t.Open(Host, port)) {
        ErrorFlag = true;
        return;
    }
    if (!IsConnected) return;
    command_ = "the connection";
    StartDeadline("the connection");
    // An SMTP or HTTP server, or anything else on the wrong port, is no mailbox: nothing of the
    // user's (no name, no password, no STLS) goes to it.
    ReceiveReply(kErrNotPop3);
    LoggedIn = false;
    if (ErrorFlag || !IsConnected || UseTLS || !StartTLS) return;
    SendCommand("STLS");
    ReceiveReply();
    if (failed_) return;
    if (ErrorFlag) {
        EndSession(platform::kTlsNotOffered,
                   "the server does not offer STLS; the password is not sent in plain text");
        return;
    }
    // Bytes after the "+OK" line arrived before the handshake, unprotected, yet would be read as
    // if they came through TLS (the STARTTLS injection of CVE-2011-0411): refuse them.
    if (!inbox_.empty() || transport_->HasUnreadData()) {
        EndSession(platform::kTlsHandshakeFailed, "the server sent data before the TLS handshake");
        return;
    }
    auto* tls = dynamic_cast<platform::TlsTransport*>(transport_.get());
    if (!tls || !tls->StartTls()) ErrorFlag = true;
}

bool TKorpPOP::Login() {
    Guard guard(*this);
    if (!guard.Entered()) return Refuse("Login");
    if (!IsConnected) {
        LastError = std::string(kNotConnectedLogin);
        return false;
    }
    if (UseTLS || StartTLS) {
        auto* tls = dynamic_cast<platform::TlsTransport*>(transport_.get());
        if (!tls || !tls->Secured()) {
            LastError = "the connection is not encrypted; the password is not sent";
            return false;
        }
    }
    if (!SaslMechanism.empty()) return LoginWithToken();
    SendCommand("USER " + UserId);
    ReceiveReply();
    if (!ErrorFlag) {
        SendCommand("PASS " + UserPasswd);
        ReceiveReply();
        if (!ErrorFlag) {
            LoggedIn = true;
            return true;
        }
    }
    if (!failed_) {
        LastError = "login refused: " + ReplyText;
        RaiseError(kErrLogin);
    }
    return false;
}

bool TKorpPOP::LoginWithToken() {
    const std::optional<TSaslMechanism> mechanism = SaslMechanismFromName(SaslMechanism);
    const auto refused = [this](const std::string& why) {
        if (!failed_) {
            LastError = "login refused: " + why;
            ErrorFlag = true;
            RaiseError(kErrLogin);
        }
        return false;
    };
    if (!mechanism) return refused("no such sign-in mechanism: " + Quoted(SaslMechanism));
    if (AccessToken.empty()) return refused("there is no access token");
    const std::string command = "AUTH " + std::string(SaslMechanismName(*mechanism));
    const std::string response = Base64Encode(SaslInitialResponse(
        *mechanism, UserId, Host, std::to_string(PortNumber(Port)), AccessToken));
    const std::string shown = command + " (token)";
    // RFC 5034, 4: an initial response that would make the command longer than 255 octets is
    // sent on a line of its own, after the server's empty challenge. Real tokens always are.
    if (command.size() + 1 + response.size() + 2 <= 255) {
        SendCommand(command + " " + response, shown);
    } else {
        SendCommand(command);
        ReceiveReply(kErrProtocol, true);
        if (failed_) return false;
        if (ReplyStatus != "+") return refused(command + " answered " + ReplyText);
        SendCommand(response, shown);
    }
    ReceiveReply(kErrProtocol, true);
    if (failed_) return false;
    if (ReplyStatus == "+") {
        // The token was not taken: the server says why in a challenge and ends the exchange
        // with "-ERR" once the client has acknowledged it (RFC 7628, 3.2.3).
        const std::string why = SaslChallengeText(ReplyText);
        SendCommand(SaslErrorAcknowledgement(*mechanism), command + " (acknowledgement)");
        ReceiveReply(kErrProtocol, true);
        if (failed_) return false;
        if (ReplyStatus != "-ERR") {
            // An exchange the server goes on with after its own error is out of step.
            EndSession(kErrProtocol, "the server answered " +
                                         Quoted(ReplyStatus + " " + ReplyText) + " to " + command_);
            return false;
        }
        return refused(ReplyText.empty() ? why : ReplyText + " (" + why + ")");
    }
    if (ErrorFlag) return refused(ReplyText);
    LoggedIn = true;
    return true;
}

void TKorpPOP::GetMailCount() {
    Guard guard(*this);
    if (!guard.Entered()) {
        Refuse("GetMailCount");
        return;
    }
    SendCommand("STAT");
    ReceiveReply();
    if (ErrorFlag) {
        if (!failed_) RaiseError(kErrStatOrUidl);
        return;
    }
    const std::optional<std::uint32_t> count = ReplyNumber(ReplyText, 1);
    if (!count || !WordAt(ReplyText, 2) || !WholeNumber<std::uint64_t>(*WordAt(ReplyText, 2))) {
        // No count, a negative one or one beyond 32 bits, or no size after it (RFC 1939, 5): a
        // broken reply, which must neither read as an empty mailbox nor wrap round to a
        // smaller one.
        LastError = "STAT answered no message count: " + ReplyText;
        RaiseError(kErrStatOrUidl);
        return;
    }
    MailCount = *count;
    NewMailCount = 0;
    SendCommand("LAST");
    ReceiveReply();
    // Many servers (RFC 1939 dropped LAST) answer "-ERR": then nothing counts as new.
    if (ErrorFlag) {
        if (!failed_) ErrorFlag = false;
        return;
    }
    // LAST is the highest message number accessed ("+OK" alone: none). A number that cannot be
    // one (no number, negative, beyond the count) is a broken reply: nothing counts as new.
    if (!WordAt(ReplyText, 1)) {
        NewMailCount = MailCount;
        return;
    }
    const std::optional<std::uint32_t> last = ReplyNumber(ReplyText, 1);
    if (last && *last <= MailCount) NewMailCount = MailCount - *last;
}

std::string TKorpPOP::GetUIDL(std::uint32_t n) {
    Guard guard(*this);
    if (!guard.Entered()) {
        Refuse("GetUIDL");
        return {};
    }
    return UidlOf(n);
}

std::string TKorpPOP::UidlOf(std::uint32_t n) {
    SendCommand("UIDL " + std::to_string(n));
    ReceiveReply();
    if (ErrorFlag) {
        if (!failed_) RaiseError(kErrStatOrUidl);
        return {};
    }
    // Only "+OK n id" answers this command (RFC 1939, 7); the id of another message, or line
    // noise, would make a listed message new.
    const std::optional<UidlLine> line = ParseUidlLine(ReplyText);
    if (!line || line->number != n) {
        EndSession(kErrProtocol, "the server answered " + Quoted(ReplyStatus + " " + ReplyText) +
                                     " to UIDL " + std::to_string(n));
        return {};
    }
    return std::string(line->id);
}

bool TKorpPOP::GetUIDLs(std::vector<std::string>& ids) {
    Guard guard(*this);
    if (!guard.Entered()) return Refuse("GetUIDLs");
    ids.clear();
    const auto start = std::chrono::steady_clock::now();
    SendCommand("UIDL");
    std::string text = ReceiveReply();
    if (ErrorFlag) {
        // A refusal is no failure of the connection: the ids can still be asked one by one.
        if (!failed_) ErrorFlag = false;
        return false;
    }
    // The listing: one "n id" line per message, then a line of one dot (RFC 1939, 7). What it
    // may take is bounded by the count, and by a fixed cap: the count is only the server's word.
    const std::uint64_t cap =
        std::min((static_cast<std::uint64_t>(MailCount) + 1) * kMaxUidlLine, kMaxUidlListing);
    // Each pass looks at the new text only (and the four bytes before it, for a terminator cut
    // in two): a long listing arrives in many chunks.
    std::size_t searchFrom = 0;
    std::size_t end;
    while ((end = text.find(kTerminator, searchFrom)) == std::string::npos) {
        searchFrom = text.size() > 4 ? text.size() - 4 : 0;
        if (text.size() > cap) {
            EndSession(kErrStatOrUidl,
                       "the id listing goes on beyond " + std::to_string(cap) + " bytes");
            return false;
        }
        const std::string chunk = ReceiveData();
        if (chunk.empty()) return false;
        text += chunk;
        ExtendDeadline(start, text.size());
    }
    // What follows the listing answers nothing: it stays to be found before the next command.
    inbox_ = text.substr(end + kTerminator.size());
    text.resize(end + 2);
    // One "n id" line per message, numbers rising within the count; anything else is not this
    // mailbox's listing, and none of it is used.
    std::size_t lines = 0;
    std::uint32_t previous = 0;
    for (std::size_t at = text.find("\r\n") + 2; at < text.size();) {
        const std::size_t eol = text.find("\r\n", at);
        const std::string_view line(text.data() + at, eol - at);
        at = eol + 2;
        const std::optional<UidlLine> entry = ParseUidlLine(line);
        if (!entry || entry->number <= previous || entry->number > MailCount) {
            EndSession(kErrProtocol, "the id listing has the line " + Quoted(line) + " for " +
                                         std::to_string(MailCount) + " messages");
            return false;
        }
        previous = entry->number;
        ++lines;
    }
    // As many entries as the listing has lines: a whole listing names every message once, and a
    // number beyond that names none a listing of this length can hold.
    ids.resize(lines);
    for (std::size_t at = text.find("\r\n") + 2; at < text.size();) {
        const std::size_t eol = text.find("\r\n", at);
        const std::optional<UidlLine> entry =
            ParseUidlLine(std::string_view(text.data() + at, eol - at));
        at = eol + 2;
        if (entry->number <= ids.size()) ids[entry->number - 1] = std::string(entry->id);
    }
    return true;
}

TKorpMsg* TKorpPOP::Retrieve(std::uint32_t n) {
    return RetrieveMessage(n, false);
}

TKorpMsg* TKorpPOP::RetrieveHeader(std::uint32_t n) {
    return RetrieveMessage(n, true);
}

TKorpMsg* TKorpPOP::RetrieveMessage(std::uint32_t n, bool headersOnly) {
    Guard guard(*this);
    if (!guard.Entered()) {
        Refuse("Retrieve");
        return nullptr;
    }
    if (!IsConnected) {
        NotConnected();
        return nullptr;
    }
    if (OnBeforeRetrieve) OnBeforeRetrieve(*this, n);

    // The spool file is private to the user and deleted on every path out of here.
    std::unique_ptr<TKorpTempFile> spool;
    try {
        spool = std::make_unique<TKorpTempFile>();
    } catch (const EKorpError& e) {
        LastError = std::string("cannot create a temporary file for the message: ") + e.what();
        ErrorFlag = true;
        LastErrorCode = kErrSpoolFile;
        if (OnError) OnError(*this, kErrSpoolFile, LastError);
        return nullptr;
    }
    // The lines are found as the reply arrives, while the server is still sending.
    TLineStarts lines;
    const std::optional<int> size = SpoolReply(n, headersOnly, *spool, lines);
    if (!size) return nullptr;
    TKorpMsg* result = LoadSpooledMessage(std::move(spool), *size, lines);
    if (!result) return nullptr;
    if (GetUIDLsOnRetrieve) result->UIDL = UidlOf(n);
    if (OnAfterRetrieve) OnAfterRetrieve(*this);
    return result;
}

std::optional<int> TKorpPOP::SpoolReply(std::uint32_t n, bool headersOnly, TKorpTempFile& spool,
                                        TLineStarts& lines) {
    const std::string number = std::to_string(n);
    SendCommand("LIST " + number);
    ReceiveReply();
    if (failed_) return std::nullopt;
    // "+OK n size" (RFC 1939, 5) for this n; a refusal leaves the size unknown.
    const std::optional<std::string_view> sizeWord = WordAt(ReplyText, 2);
    if (!ErrorFlag &&
        (ReplyNumber(ReplyText, 1) != n || !sizeWord || !WholeNumber<std::uint64_t>(*sizeWord))) {
        EndSession(kErrProtocol, "the server answered " + Quoted(ReplyStatus + " " + ReplyText) +
                                     " to LIST " + number);
        return std::nullopt;
    }
    const int size = ReplyWord(ReplyText, 2, 100);
    // A size the server stated; a refused LIST leaves only the fixed cap to go by.
    const bool sizeStated = !ErrorFlag && ReplyWord(ReplyText, 2, -1) >= 0;
    if (!headersOnly && sizeStated && static_cast<std::uint64_t>(size) > MaxMessageSize) {
        // Not fetched at all: the connection stays usable.
        ErrorFlag = true;
        LastErrorCode = kErrTooLarge;
        LastError = "message " + number + " is " + std::to_string(size) + " bytes, more than the " +
                    std::to_string(MaxMessageSize) + " allowed";
        if (OnError) OnError(*this, LastErrorCode, LastError);
        return std::nullopt;
    }
    // What may arrive before the retrieve is given up: the cap, and for a stated size not far
    // beyond it (a server must not feed an endless message to a reader left alone for months).
    const std::uint64_t limit =
        sizeStated ? std::min<std::uint64_t>(MaxMessageSize,
                                             2 * static_cast<std::uint64_t>(size) + kSizeSlack)
                   : MaxMessageSize;

    const auto start = std::chrono::steady_clock::now();
    SendCommand(headersOnly ? "TOP " + number + " 0" : "RETR " + number);
    std::string first = ReceiveReply();
    if (failed_) return std::nullopt;
    if (ErrorFlag) {
        LastError = (headersOnly ? "TOP refused: " : "RETR refused: ") + ReplyText;
        RaiseError(kErrRetrieve);
        return std::nullopt;
    }

    lastPercent_ = 0;
    nextThreshold_ = RetrieveProgressStep;
    bool percentComputed = false;
    std::uint64_t written = 0;
    // The last four bytes already seen, so that a terminator split over two chunks is still
    // found. The status line ends in CR LF: an empty message's terminator begins there.
    std::string hand;
    bool complete = false;
    // Spools a chunk up to the terminator; what follows it is no part of this reply and stays
    // to be found before the next command.
    auto take = [&](std::string chunk) {
        // Where the terminator ends in chunk: across the seam (the four bytes before and the
        // first four of chunk), else within chunk itself; the seam's would end first.
        const std::size_t kept = hand.size();
        hand.append(chunk, 0, kTerminator.size() - 1);
        std::size_t used = hand.find(kTerminator);
        if (used != std::string::npos) {
            used += kTerminator.size() - kept;
        } else if ((used = chunk.find(kTerminator)) != std::string::npos) {
            used += kTerminator.size();
        }
        if (used != std::string::npos) {
            inbox_ = chunk.substr(used);
            chunk.resize(used);
            complete = true;
        } else if (chunk.size() >= 4) {
            // The last four bytes seen, for the next seam.
            hand.assign(chunk, chunk.size() - 4, 4);
        } else {
            hand.resize(kept);
            hand += chunk;
            hand.erase(0, hand.size() > 4 ? hand.size() - 4 : 0);
        }
        try {
            spool.WriteBuffer(chunk);
        } catch (const EKorpError& e) {
            SpoolFileFailed(e.what());
            return false;
        }
        lines.Add(chunk);
        written += chunk.size();
        return true;
    };
    auto tellAt = [&](std::uint64_t at) {
        // A size of 0 or less (a broken LIST answer) cannot scale anything: call it done.
        std::uint64_t percent =
            size > 0 ? RoundHalfEven(at * 100, static_cast<std::uint64_t>(size)) : 100;
        lastPercent_ = static_cast<std::uint16_t>(std::min<std::uint64_t>(percent, 65535));
        percentComputed = true;
        if (lastPercent_ >= nextThreshold_) {
            if (OnRetrieveProgress) OnRetrieveProgress(*this, lastPercent_);
            nextThreshold_ += RetrieveProgressStep;
        }
    };
    // Progress at the end of every chunk after the first receive, and within a chunk at every
    // kProgressPiece bytes, as receives of that size would give it.
    std::uint64_t nextPiece = 2 * kProgressPiece;
    auto tell = [&] {
        for (; nextPiece < written; nextPiece += kProgressPiece)
            tellAt(nextPiece);
        tellAt(written);
        if (nextPiece == written) nextPiece += kProgressPiece;
    };
    // The status line, and what came with it in the same receive, are the first chunk.
    std::string rest;
    rest.swap(inbox_);
    if (!take(first) || !take(rest)) return std::nullopt;
    // The first receive counts as one piece; beyond that its bytes are told as later ones are.
    if (written > kProgressPiece) tell();
    while (!complete) {
        LetMessagesRun();
        std::string chunk = ReceiveData();
        // Time-out, a closed connection or any failure ends the retrieve; the error has been
        // raised and the connection is closed.
        if (chunk.empty() || !take(std::move(chunk))) return std::nullopt;
        ExtendDeadline(start, written);
        if (!complete && written > limit) {
            // The rest is still on its way: the conversation cannot go on over this connection.
            EndSession(kErrTooLarge, "message " + number + " goes on beyond " +
                                         std::to_string(limit) + " bytes; not read further");
            return std::nullopt;
        }
        tell();
    }
    if ((!percentComputed || lastPercent_ < 100) && OnRetrieveProgress)
        OnRetrieveProgress(*this, 100);
    return size;
}

TKorpMsg* TKorpPOP::LoadSpooledMessage(std::unique_ptr<TKorpTempFile> spool, int size,
                                       const TLineStarts& lines) {
    auto msg = std::make_unique<TKorpMsg>();
    // The spool is read back in one piece and parsed from views into it, at the line starts
    // noted while it was written: the message is in memory once, with no string made per line.
    std::unique_ptr<char[]> bytes;
    std::size_t length = 0;
    try {
        length = static_cast<std::size_t>(spool->Size());
        bytes = std::make_unique_for_overwrite<char[]>(length);
        spool->SetPosition(0);
        spool->ReadBuffer(bytes.get(), length);
    } catch (const EKorpError& e) {
        SpoolFileFailed(e.what());
        return nullptr;
    }
    spool.reset(); // the bytes are in hand: the file need not wait for the parse
    std::vector<std::string_view> views = lines.Lines(std::string_view(bytes.get(), length));
    // The status line and the terminating dot go; then undo the dot-stuffing (RFC 1939, 3).
    std::span<std::string_view> body(views);
    if (!body.empty()) body = body.subspan(1);
    if (!body.empty()) body = body.first(body.size() - 1);
    for (std::string_view& line : body)
        if (line.size() > 1 && line[0] == '.') line.remove_prefix(1);
    msg->Size = size;
    try {
        msg->ParseLines(body);
    } catch (const std::exception& e) {
        // What was parsed before the fault stays usable: the reader gets the sender, the
        // subject and the text up to there instead of nothing.
        msg->ParseError = e.what();
        LastError = std::string("the message could not be parsed whole: ") + e.what();
    }
    messages_.push_back(std::move(msg));
    return messages_.back().get();
}

void TKorpPOP::SpoolFileFailed(const char* what) {
    LastError = std::string("cannot write the temporary file of the message: ") + what;
    RaiseError(kErrSpoolFile);
}

void TKorpPOP::Quit() {
    Guard guard(*this);
    if (!guard.Entered()) {
        Refuse("Quit");
        return;
    }
    if (!IsConnected) return;
    SendCommand("QUIT");
    ReceiveReply();
    if (failed_) return;
    if (ErrorFlag) {
        RaiseError(kErrQuit);
        return;
    }
    // The reply to QUIT has been read, so the session is over on both sides (RFC 1939, 6):
    // closing needs no wait for the server's own close.
    if (transport_) transport_->Close();
    IsConnected = false;
    LetMessagesRun();
}

void TKorpPOP::FreeMessage(TKorpMsg* msg) {
    ReleaseMessage(msg);
}

std::unique_ptr<TKorpMsg> TKorpPOP::ReleaseMessage(TKorpMsg* msg) {
    auto it = std::find_if(messages_.begin(), messages_.end(),
                           [msg](const auto& p) { return p.get() == msg; });
    if (it == messages_.end()) return nullptr;
    std::unique_ptr<TKorpMsg> owned = std::move(*it);
    messages_.erase(it);
    return owned;
}

} // namespace korp
