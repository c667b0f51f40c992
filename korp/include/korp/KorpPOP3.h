#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class Transport;
}

namespace korp {

class TKorpMsg;
class TKorpPOP;
class TKorpTempFile;
class TLineStarts;

// Error codes handed to OnError besides the transport's own codes (platform/Transport.h).
enum TKorpPOPError : int {
    kErrLogin = 2001,      // USER or PASS answered "-ERR"
    kErrQuit = 2002,       // QUIT answered "-ERR"
    kErrRetrieve = 2004,   // RETR or TOP answered "-ERR"
    kErrSpoolFile = 2005,  // the temporary file of a retrieve could not be created or written
    kErrStatOrUidl = 2006, // STAT or UIDL answered "-ERR"
    kErrTooLarge = 2007,   // the message is larger than MaxMessageSize, or far beyond its size
    kErrNotPop3 = 2008,    // the greeting is neither "+OK" nor "-ERR": no POP3 server listens there
    kErrProtocol = 2009,   // a reply that does not answer its command, or bytes nobody asked for
};

using TSocketEvent = std::function<void(TKorpPOP& Sender, platform::Transport& Socket)>;
using TTransportNotify = std::function<void(platform::Transport& Sender)>;
using TKorpNotify = std::function<void(TKorpPOP& Sender)>;
using TOnError = std::function<void(TKorpPOP& Sender, int Error, const std::string& Msg)>;
using TOnBeforeRetrieve = std::function<void(TKorpPOP& Sender, std::uint32_t MsgIndex)>;
using TOnDeleteEvent = std::function<void(TKorpPOP& Sender, std::uint32_t MsgIndex)>;
using TOnCodeProgressEvent = std::function<void(TKorpPOP& Sender, std::uint16_t Percent)>;
using TToFromSocketEvent = std::function<void(TKorpPOP& Sender, const std::string& s)>;

// A POP3 client (RFC 1939) over one blocking connection. It reads a mailbox and never deletes:
// there is no DELE. Operations report through ErrorFlag, results and OnError; nothing throws.
// Message numbers and counts are 32-bit: a mailbox that is only ever added to outgrows 16 bits.
class TKorpPOP {
public:
    TKorpPOP();
    ~TKorpPOP();
    TKorpPOP(const TKorpPOP&) = delete;
    TKorpPOP& operator=(const TKorpPOP&) = delete;

    // Published properties.
    std::string Host;
    std::string Port = "110"; // a text that is not a port number means 110
    std::string UserId;
    std::string UserPasswd;
    std::string StrErrorInFormatOfMsg = "Error en el formato del mensaje.";
    std::uint16_t RetrieveProgressStep = 10;
    bool GetUIDLsOnRetrieve = false;
    // Implicit TLS from the first byte (POP3S, usually port 995).
    bool UseTLS = false;
    // STLS (RFC 2595) before USER; without it being offered the password is never sent.
    bool StartTLS = false;
    // Signing in with an OAuth2 access token instead of USER and PASS: "XOAUTH2" or
    // "OAUTHBEARER" (RFC 5034 AUTH); empty: USER and PASS. The token is never traced or reported.
    std::string SaslMechanism;
    std::string AccessToken;
    // Certificates (PEM) trusted besides the system's store.
    std::string CAFile;
    // A message larger than this (by LIST) is not fetched; one that grows beyond it, or far
    // beyond its LIST size, while it arrives is given up and the connection closed.
    std::uint64_t MaxMessageSize = 50 * 1024 * 1024;
    std::chrono::milliseconds LookupTimeout{10000};  // longest wait for the name lookup
    std::chrono::milliseconds ConnectTimeout{15000}; // for each address tried, and the handshake
    std::chrono::milliseconds ReceiveTimeout{60000}; // longest silence of the server
    // Longest wait for the whole connect (lookup, connect, TLS) and for each command's status
    // line, however slowly its bytes trickle in.
    std::chrono::milliseconds CommandTimeout{60000};
    // A multi-line reply (a message, the id listing) has CommandTimeout and one second more for
    // every MinTransferRate bytes that came: a slow but real download goes on, a trickle ends.
    std::uint32_t MinTransferRate = 512;
    // The longest the client goes without ProcessMessages while it waits for the server.
    std::chrono::milliseconds PumpInterval{50};

    // Run-time state.
    bool IsConnected = false;
    bool LoggedIn = false;
    bool ErrorFlag = false;
    std::string ReplyStatus;
    std::string ReplyText;
    // STAT's count; a reply without a count in 32 bits is a failed STAT (kErrStatOrUidl).
    std::uint32_t MailCount = 0;
    // MailCount minus LAST's number; 0 when LAST is refused or answers no number it could be.
    std::uint32_t NewMailCount = 0;
    // Why the last failing operation failed, in words (transport reason, refusal, parse error).
    std::string LastError;
    // The code handed to OnError with it (TKorpPOPError or a transport code); 0 after Connect.
    int LastErrorCode = 0;
    std::uint16_t LastPercent() const { return lastPercent_; }
    std::uint32_t NextThreshold() const { return nextThreshold_; }

    // Events; each fires only when assigned.
    TSocketEvent OnLookup;
    TSocketEvent OnConnecting;
    TTransportNotify OnConnect;
    TTransportNotify OnQuit;
    TOnError OnError;
    TOnBeforeRetrieve OnBeforeRetrieve;
    TOnCodeProgressEvent OnRetrieveProgress;
    TKorpNotify OnAfterRetrieve;
    TToFromSocketEvent OnSendTextToSocket;
    TToFromSocketEvent OnReceiveTextFromSocket;
    TOnDeleteEvent OnDelete; // never fired: the client does not delete

    // Lets the application handle its pending window messages while the client waits; called
    // before every send and receive, in every pass of a retrieve, and every PumpInterval while
    // the server keeps the client waiting. Calls into this client from inside it are refused
    // (see Busy); Abort from inside it ends the wait at once.
    std::function<void()> ProcessMessages;

    // Makes the transport for a connection; tests put a scripted transport here.
    std::function<std::unique_ptr<platform::Transport>(const TKorpPOP&)> TransportFactory;

    void Connect();
    bool Login();
    void GetMailCount();
    std::string GetUIDL(std::uint32_t n);
    // "UIDL" without a number: the ids of all MailCount messages in one reply, ids[n - 1] for
    // message n (empty where the listing has none). The vector holds no more entries than the
    // listing has lines, so a count the server only claims costs nothing. False when the
    // server refused it (the connection stays usable, ErrorFlag clear) or the connection failed
    // (ErrorFlag set).
    bool GetUIDLs(std::vector<std::string>& ids);
    // The message, owned by this client until FreeMessage or ReleaseMessage; nullptr with
    // ErrorFlag set when it could not be fetched. A message that could not be parsed whole comes
    // back as far as it was parsed, with its ParseError set.
    TKorpMsg* Retrieve(std::uint32_t n);
    TKorpMsg* RetrieveHeader(std::uint32_t n);
    void Quit();
    // Closes the connection at once without QUIT, also from inside ProcessMessages while an
    // operation waits: that operation and every later one fail with ErrorFlag set.
    void Abort();

    void FreeMessage(TKorpMsg* msg);
    std::unique_ptr<TKorpMsg> ReleaseMessage(TKorpMsg* msg);
    std::size_t OwnedMessageCount() const { return messages_.size(); }
    // True while an operation runs (ProcessMessages may be running the application meanwhile).
    bool Busy() const { return busy_; }

    // The k-th blank-separated word (from 1) of the trimmed text as a decimal integer, or def.
    static int ReplyWord(std::string_view text, int k, int def);
    // The k-th word as a count or message number: decimal digits (after an optional "+") whose
    // value fits 32 bits. Nothing when the word is missing, is no such number, is negative or
    // is larger.
    static std::optional<std::uint32_t> ReplyNumber(std::string_view text, int k);
    // Four decimal numbers from 0 to 255 joined by three dots.
    static bool IsIPAddress(std::string_view text);
    // Port text as used for connecting: a whole number from 1 to 65535, otherwise 110.
    static std::uint16_t PortNumber(std::string_view text);

private:
    class Guard;
    TKorpMsg* RetrieveMessage(std::uint32_t n, bool headersOnly);
    // Asks the size, then reads the RETR (or TOP) reply whole into the spool, raising the
    // progress events; the LIST size, or nothing when it failed (the error has been raised).
    std::optional<int> SpoolReply(std::uint32_t n, bool headersOnly, TKorpTempFile& spool,
                                  TLineStarts& lines);
    // The spooled reply as a message this client owns; nullptr when the spool cannot be read.
    TKorpMsg* LoadSpooledMessage(std::unique_ptr<TKorpTempFile> spool, int size,
                                 const TLineStarts& lines);
    // The spool could not be written or read back: kErrSpoolFile, the connection closed.
    void SpoolFileFailed(const char* what);
    std::string UidlOf(std::uint32_t n);
    // Sends one command line; refused (the session ends) while bytes that no command asked for
    // wait to be read.
    // shown: what the events and reasons name instead of a line that carries a secret.
    bool SendCommand(const std::string& text, std::string_view shown = {});
    // One status line, CR LF included; what came after it stays for the next read. A line that
    // is neither "+OK" nor "-ERR" ends the session with the code notAStatus. With continuation
    // a SASL server challenge ("+" and base64, RFC 5034, 4) is a reply too: ReplyStatus "+".
    std::string ReceiveReply(int notAStatus = kErrProtocol, bool continuation = false);
    // AUTH with the access token; Login's part once the connection may carry it.
    bool LoginWithToken();
    // The next bytes of a multi-line reply: those read already, else one receive. Empty when
    // the connection failed (reported).
    std::string ReceiveData();
    // One receive into inbox_; false when nothing came (a failure, or the connection closed).
    bool Fill();
    // The whole of a command's status line is due CommandTimeout from now.
    void StartDeadline(const std::string& what);
    // A multi-line reply begun at start, with received bytes in so far: CommandTimeout, plus a
    // second per MinTransferRate bytes.
    void ExtendDeadline(std::chrono::steady_clock::time_point start, std::uint64_t received);
    void RaiseError(int code);
    void NotConnected();
    // A failure that leaves the conversation out of step (the transport's, or a reply that does
    // not fit): reported once, and the connection closed.
    void EndSession(int code, const std::string& reason);
    void LetMessagesRun();
    bool Refuse(const char* operation);
    std::unique_ptr<platform::Transport> MakeTransport();

    std::unique_ptr<platform::Transport> transport_;
    std::vector<std::unique_ptr<TKorpMsg>> messages_;
    std::uint16_t lastPercent_ = 0;
    std::uint32_t nextThreshold_ = 0;
    std::string inbox_;                     // received and not yet read as a reply
    std::unique_ptr<char[]> receiveBuffer_; // Fill's, made on its first use
    std::string command_; // the command in hand, as a reason names it (PASS without password)
    bool busy_ = false;
    bool failed_ = false; // a failure that ended the session was reported during this operation
};

} // namespace korp
