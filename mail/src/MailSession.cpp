#include <mail/MailSession.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

#include <korp/KorpMsg.h>
#include <korp/KorpPOP3.h>
#include <korp/korp_util.h>
#include <platform/Transport.h>

namespace brevon {

namespace {

// Up to this many ids still unknown are asked one by one; more are listed at once.
constexpr int kAskOneByOne = 16;

constexpr const char* kConnectFailedStatus =
    "Connect failed. Maybe the server is down or not responding.";

// What to say when securing the connection failed; null for any other failure.
const char* SecureConnectionSentence(int code) {
    switch (code) {
    case platform::kTlsCertExpired:
    case platform::kTlsUnknownIssuer:
    case platform::kTlsNameMismatch:
    case platform::kTlsCertInvalid:
        return kUntrustedCertificateSentence;
    case platform::kTlsNotOffered:
        return kNoSecurityOfferedSentence;
    case platform::kTlsHandshakeFailed:
        return kCannotConnectSecurelySentence;
    default:
        return nullptr;
    }
}

// A failure that is not the settings' fault, though the mailbox was not reached before: what
// to say for it; null for any other failure. A connection that went, or a server that stopped
// answering, may come back; a temporary file that cannot be written is this computer's trouble.
const char* RideOutSentence(int code) {
    switch (code) {
    case platform::kTransportReset:
    case platform::kTransportClosedByPeer:
    case platform::kTransportNotConnected:
        return kConnectionLostSentence;
    case platform::kTransportTimedOut:
        return kServerSilentSentence;
    case korp::kErrSpoolFile:
        return kNoTemporarySpaceSentence;
    default:
        return nullptr;
    }
}

// The socket's own failures (platform/Transport.h): the way to the server, not the settings
// or the server's answers. Securing the connection has codes of its own, from 12000.
bool IsNetworkFailure(int code) {
    return code >= platform::kTransportSystem && code < platform::kTlsHandshakeFailed;
}

// A refusal that says the trouble is the server's and passes (RFC 3206, 4): the credentials
// were not judged.
bool IsPassingRefusal(const std::string& replyText) {
    return replyText.rfind("[SYS/TEMP]", 0) == 0 || replyText.rfind("[IN-USE]", 0) == 0;
}

// A server's answer as the status panel may show it: printable, and not endless.
std::string Shown(const std::string& reply) {
    std::string out;
    for (const char c : reply.substr(0, 60))
        out += static_cast<unsigned char>(c) < ' ' ? '?' : c;
    return out;
}

} // namespace

MailSession::MailSession(MailContext& context) : ctx_(context) {}

MailSession::ConnectionKey MailSession::KeyOf(const MailSettings& settings) {
    return {ResolveServer(settings.Host, settings.Port, settings.Security), settings.User,
            settings.Password, settings.SaslMechanism};
}

void MailSession::ReachedBefore(const MailSettings& settings) {
    reached_ = KeyOf(settings);
}

bool MailSession::Open(const MailSettings& settings, SessionPurpose purpose) {
    if (open_) return false;
    broken_ = aborted_ = tooLarge_ = listed_ = passing_ = false;
    failureStatus_.clear();
    garbled_.clear();
    purpose_ = purpose;
    key_ = KeyOf(settings);
    count_ = range_ = 0;
    uidls_.clear();
    reverse_ = settings.Reverse;

    korp::TKorpPOP& client = ctx_.client;
    const MailServer& server = key_.server;
    client.Host = server.host;
    client.UseTLS = server.security == ConnectionSecurity::Tls;
    client.StartTLS = server.security == ConnectionSecurity::StartTls;
    client.Port = std::to_string(server.port);
    client.UserId = settings.User;
    client.UserPasswd = settings.Password;
    client.SaslMechanism.clear();
    client.AccessToken.clear();
    // Reading while offline turns checking back on.
    if (!ctx_.state.Online) MarkOnline();

    if (server.host.empty()) {
        if (ctx_.state.Paused) return false; // said once the pause is over
        GoOffline();
        if (!ctx_.state.SettingsPromptSpoken) {
            ctx_.state.SettingsPromptSpoken = true;
            ctx_.speech.Say(nullptr, kFillInTheFormSentence);
            ctx_.shell.ShowOptions();
            ctx_.shell.FocusConnectionField(false);
        }
        return false;
    }

    open_ = true;
    const bool withToken = !settings.SaslMechanism.empty();
    std::string provider;
    if (withToken) {
        // Asked before connecting: renewing may take the provider a while, and a server does
        // not wait that long between greeting and login.
        AccessTokenAnswer answer;
        if (ctx_.tokens)
            answer = ctx_.tokens->CurrentToken();
        else
            answer.trouble = TokenTrouble::NotSignedIn;
        if (aborted_ || !answer.token) return FailToken(answer);
        provider = answer.provider;
        client.SaslMechanism = settings.SaslMechanism;
        client.AccessToken = std::move(*answer.token);
    }
    client.Connect();
    if (aborted_ || client.ErrorFlag) return FailOpen(Failure::Connect);
    if (!client.Login()) {
        const bool refused = client.LastErrorCode == korp::kErrLogin;
        client.AccessToken.clear();
        if (refused && withToken) {
            // A refused token is not used again. For a mailbox it opened before, a renewed one
            // may well do at the next check; for one never reached the sign-in itself is wrong.
            ctx_.tokens->Rejected();
            AccessTokenAnswer why;
            why.provider = provider;
            why.error = "the server refused the access token: " + Shown(client.ReplyText);
            why.trouble = reached_ == key_ ? TokenTrouble::Passing : TokenTrouble::SignInAgain;
            return FailToken(why);
        }
        return FailOpen(refused ? Failure::Login : Failure::Connect);
    }
    client.AccessToken.clear();
    ctx_.state.ConnectFailSpoken = false;
    client.GetMailCount();
    // A refused STAT, or a connection that went meanwhile, would read as an empty mailbox; a
    // count beyond what a list position holds, as a smaller one.
    if (aborted_ || client.ErrorFlag || !client.IsConnected ||
        client.MailCount > static_cast<std::uint32_t>(INT_MAX)) {
        // Only "-ERR" refuses STAT (RFC 1939, 5); any other answer without a count is line
        // noise or another command's answer: out of step, as a garbled id is.
        if (!aborted_ && client.LastErrorCode == korp::kErrStatOrUidl &&
            client.ReplyStatus != "-ERR")
            garbled_ = client.ReplyStatus + " " + client.ReplyText;
        return FailOpen(Failure::Connect);
    }
    count_ = static_cast<int>(client.MailCount);
    range_ = settings.UseNumSaveMails && count_ > settings.NumSaveMails
                 ? std::max(0, settings.NumSaveMails)
                 : count_;
    reached_ = key_;
    return true;
}

bool MailSession::IsPassing(Failure failure) const {
    if (reached_ != key_) return false;
    const korp::TKorpPOP& client = ctx_.client;
    if (failure == Failure::Login) return IsPassingRefusal(client.ReplyText);
    // An answer out of step (the client found it did not fit its command) is the line's or the
    // server's hiccup; a server that does not speak POP3 at all (kErrNotPop3) is the settings'
    // and has a sentence of its own.
    return !garbled_.empty() || client.LastErrorCode == korp::kErrProtocol ||
           IsNetworkFailure(client.LastErrorCode);
}

bool MailSession::FailInPassing(const std::string& status, const char* sentence) {
    passing_ = true;
    failureStatus_ = status.empty() ? kConnectFailedStatus : status;
    ReadingState& state = ctx_.state;
    if (purpose_ == SessionPurpose::Reading) {
        ctx_.window.SetStatusText(failureStatus_);
        ctx_.speech.Say(nullptr, sentence);
    } else if (state.FailureSpoken != sentence) {
        state.FailureSpoken = sentence;
        ctx_.speech.Say(nullptr, sentence);
    }
    return false;
}

bool MailSession::FailOpen(Failure failure, const std::string& status) {
    korp::TKorpPOP& client = ctx_.client;
    client.Abort();
    open_ = false;
    if (aborted_) return false;
    if (ctx_.state.Paused) {
        // A check while speech is paused: a word now would cut the paused speech off, and the
        // dialog would hold the bar that resumes it. The next check meets the failure again.
        ctx_.window.SetStatusText(status.empty() ? kConnectFailedStatus : status);
        return false;
    }
    if (IsPassing(failure)) return FailInPassing(status, kRetryLaterSentence);
    if (const char* sentence = RideOutSentence(client.LastErrorCode))
        return FailInPassing(status, sentence);
    GoOffline();
    if (failure == Failure::Connect) {
        ctx_.window.SetStatusText(status.empty() ? kConnectFailedStatus : status);
        if (const char* secure = SecureConnectionSentence(client.LastErrorCode)) {
            // Encryption was the trouble, not the server's reach: say that instead.
            ctx_.speech.Say(nullptr, secure);
        } else if (client.LastErrorCode == korp::kErrNotPop3) {
            // Something answered, but not a mail server: most likely the wrong port or host.
            ctx_.speech.Say(nullptr, kNotAMailServerSentence);
        } else if (!ctx_.state.ConnectFailSpoken) {
            ctx_.state.ConnectFailSpoken = true;
            ctx_.speech.Say(nullptr, kCannotConnectSentence);
        } else {
            ctx_.speech.Say(nullptr, kStillCannotConnectSentence);
        }
    } else {
        ctx_.speech.Say(nullptr, kCannotLogInSentence);
    }
    ctx_.shell.ShowOptions();
    ctx_.shell.FocusConnectionField(failure == Failure::Login);
    return false;
}

bool MailSession::FailToken(const AccessTokenAnswer& answer) {
    ctx_.client.Abort();
    open_ = false;
    if (aborted_) return false;
    const std::string status = "Sign-in failed: " + answer.error;
    if (ctx_.state.Paused) {
        ctx_.window.SetStatusText(status);
        return false;
    }
    // The provider out of reach is the network's trouble, as a server out of reach is: checking
    // goes on and tries again.
    if (answer.trouble == TokenTrouble::Passing) return FailInPassing(status, kRetryLaterSentence);
    GoOffline();
    ctx_.window.SetStatusText(status);
    ctx_.speech.Say(nullptr, answer.trouble == TokenTrouble::NotSignedIn
                                 ? SignInFirstSentence(answer.provider)
                                 : SignInExpiredSentence(answer.provider));
    ctx_.shell.ShowOptions();
    ctx_.shell.FocusSignIn();
    return false;
}

void MailSession::Fail() {
    uidls_.clear();
    ctx_.window.SetConnected(false);
    if (!open_) return;
    broken_ = true;
    const korp::TKorpPOP& client = ctx_.client;
    FailOpen(Failure::Connect, !garbled_.empty() ? "Unexpected answer: " + Shown(garbled_)
                               : client.LastErrorCode == korp::kErrSpoolFile
                                   ? "No room for the message: " + client.LastError
                               : client.LastErrorCode == korp::kErrProtocol
                                   ? "Unexpected answer: " + client.LastError
                                   : "Connection lost. " + client.LastError);
}

void MailSession::Close() {
    if (!open_) return;
    // Still open while QUIT is under way: the client lets events run meanwhile.
    if (ctx_.client.IsConnected) ctx_.client.Quit();
    open_ = false;
    uidls_.clear();
    ctx_.window.SetConnected(false);
}

void MailSession::Abort() {
    if (!open_) return;
    aborted_ = true;
    ctx_.client.Abort();
}

int MailSession::NumberAt(int position) const {
    if (position < 1 || position > range_) return 0;
    return reverse_ ? count_ - range_ + position : count_ + 1 - position;
}

void MailSession::NoteBroken() {
    broken_ = true;
}

std::optional<std::string> MailSession::Uidl(int number) {
    if (broken_ || !open_ || number < 1 || number > count_) {
        NoteBroken();
        return std::nullopt;
    }
    if (const auto known = uidls_.find(number); known != uidls_.end()) return known->second;
    korp::TKorpPOP& client = ctx_.client;
    std::string id = client.GetUIDL(static_cast<std::uint32_t>(number));
    if (aborted_ || client.ErrorFlag || !client.IsConnected) {
        NoteBroken();
        return std::nullopt;
    }
    // Only "+OK n id" answers this command (RFC 1939, 7). Anything else is line noise or the
    // answer to another command, and an id read from it would make a listed message new.
    if (client.ReplyStatus != "+OK" || korp::TKorpPOP::ReplyWord(client.ReplyText, 1, 0) != number)
        garbled_ = client.ReplyStatus + " " + client.ReplyText;
    if (!garbled_.empty() || id.empty()) {
        NoteBroken();
        return std::nullopt;
    }
    uidls_.emplace(number, id);
    return id;
}

std::optional<int> MailSession::FindOnServer(const std::string& id) {
    // Many ids still unknown (a message that is gone makes the search run through the whole
    // mailbox): one listing of them all costs one round trip instead of one each.
    if (!listed_ && count_ - static_cast<int>(uidls_.size()) > kAskOneByOne && open_ && !broken_) {
        listed_ = true;
        korp::TKorpPOP& client = ctx_.client;
        std::vector<std::string> ids;
        if (client.GetUIDLs(ids)) {
            for (std::size_t i = 0; i < ids.size(); ++i)
                if (!ids[i].empty()) uidls_.emplace(static_cast<int>(i) + 1, std::move(ids[i]));
        } else if (aborted_ || client.ErrorFlag || !client.IsConnected) {
            NoteBroken();
            return std::nullopt;
        }
    }
    // Newest first: a listed message that moved did so because newer mail arrived above it.
    for (int number = count_; number >= 1; --number) {
        const std::optional<std::string> uidl = Uidl(number);
        if (!uidl) return std::nullopt;
        if (*uidl == id) return number;
    }
    return 0;
}

std::unique_ptr<korp::TKorpMsg> MailSession::Take(korp::TKorpMsg* message) {
    korp::TKorpPOP& client = ctx_.client;
    tooLarge_ = false;
    if (!message) {
        tooLarge_ = !aborted_ && client.LastErrorCode == korp::kErrTooLarge;
        // Refused before it was fetched, the conversation goes on; given up half-way, the
        // connection is gone.
        if (aborted_ || !client.IsConnected || (client.ErrorFlag && !tooLarge_)) NoteBroken();
        return nullptr;
    }
    // Released at once, so each record lives only as long as its user needs it.
    return client.ReleaseMessage(message);
}

std::unique_ptr<korp::TKorpMsg> MailSession::RetrieveHeader(int number) {
    if (broken_ || !open_ || number < 1 || number > count_) return nullptr;
    return Take(ctx_.client.RetrieveHeader(static_cast<std::uint32_t>(number)));
}

std::unique_ptr<korp::TKorpMsg> MailSession::Retrieve(int number) {
    if (broken_ || !open_ || number < 1 || number > count_) return nullptr;
    return Take(ctx_.client.Retrieve(static_cast<std::uint32_t>(number)));
}

void MailSession::GoOffline() {
    korp::TKorpPOP& client = ctx_.client;
    if (client.IsConnected && !client.Busy()) client.Quit();
    ctx_.state.Online = false;
    // Checking starts afresh when it is switched on again.
    ctx_.state.RetryMinutes = 0;
    ctx_.state.FailureSpoken.clear();
    ctx_.shell.SetMailTimer(false);
    ctx_.shell.ToggleOnline(false);
}

void MailSession::MarkOnline() {
    ctx_.state.Online = true;
    ctx_.shell.ToggleOnline(true);
}

} // namespace brevon
