// One POP3 session of the mail side, for a check or for reading one message: connect, log in
// and count (OpenSession), unique ids asked at most once per message number, the mapping from
// list positions to message numbers, FindOnServer, and the ways a session fails. Part of the
// mail check cycle; the reading composition opens its sessions here too.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include <mail/MailContext.h>

namespace korp {
class TKorpMsg;
}

namespace brevon {

// What a session is opened for: it decides how often a passing failure is said.
enum class SessionPurpose {
    Reading, // the user asked: said every time
    Check,   // said once until a check reaches the server again
};

class MailSession {
public:
    explicit MailSession(MailContext& context);

    // OpenSession: connect, log in and count. On failure the reason has been spoken, checking
    // is off and the options dialog is open on the faulty field (empty host after the first
    // time: silently offline) -- unless the failure was passing (see FailedInPassing). While
    // speech is paused (ReadingState::Paused) a failure is neither said nor shown and changes
    // nothing: the paused speech and the bar that resumes it stay as they are.
    bool Open(const MailSettings& settings, SessionPurpose purpose = SessionPurpose::Reading);
    // The last session failed in a way that is not the settings' fault: on the way to a
    // mailbox that was reached before with the same connection settings (no route, refused,
    // timed out, name lookup, the connection gone, an answer out of step: the retry sentence),
    // or on the way to any mailbox when the connection went, the server stopped answering or
    // the message's temporary file could not be written (each with its own sentence). Checking
    // stays on and no dialog opens. Said for a reading; for a check, said once (again when the
    // failure changes), and the caller retries.
    bool FailedInPassing() const { return passing_; }
    // The status panel's text for that failure, for the caller to complete.
    const std::string& FailureStatus() const { return failureStatus_; }
    // A list kept from an earlier run says this mailbox was reached with these settings.
    void ReachedBefore(const MailSettings& settings);
    // QUIT when still connected; clears "Connected". Harmless when nothing is open.
    void Close();
    // Between Open and Close. The client lets window events run while it waits, so the shell
    // can call in meanwhile: nothing may start a second conversation then.
    bool IsOpen() const { return open_; }

    // The connection broke, or the server refused a command the session needs (UIDL, TOP,
    // RETR), so nothing it answers from now on can be trusted.
    bool Broken() const { return broken_; }
    // Ends a broken session as a failed connection ends (spoken, offline, options on
    // "Verbinding"), or silently when it was aborted.
    void Fail();

    // Closes the connection at once (shutdown); the operation in progress fails, and the
    // session ends without a word.
    void Abort();
    bool Aborted() const { return aborted_; }

    // Messages on the server in this session, and how many of them the list holds (the
    // fetch limit). Both 0 before Open.
    int Count() const { return count_; }
    int RangeSize() const { return range_; }
    // The message number of list position p (1-based): the range is the newest RangeSize()
    // messages, read newest first, or oldest first with "Reverse". 0 when p is outside.
    int NumberAt(int position) const;

    // The unique id of message number n, asked once per session; nullopt when the session
    // broke (the server refused, the connection went, or it answered an empty id).
    std::optional<std::string> Uidl(int number);
    // The number of the message with that id, newest first over the whole mailbox, 0 when it
    // is not there; nullopt when the session broke meanwhile. With many ids still unknown it
    // asks for the listing of all of them at once.
    std::optional<int> FindOnServer(const std::string& id);
    // The message (headers only, or whole) of message number n, or null; null with Broken()
    // when the session broke. A message that failed to parse comes back as far as it parsed.
    std::unique_ptr<korp::TKorpMsg> RetrieveHeader(int number);
    std::unique_ptr<korp::TKorpMsg> Retrieve(int number);
    // The last retrieve gave nothing because the message is too large to fetch (when it was
    // given up half-way the session is broken as well).
    bool TooLarge() const { return tooLarge_; }

    // SetOnline(false): QUIT when connected, checking off, the tray's mark set.
    void GoOffline();
    // Checking on again without touching the buttons or the mail timer: what OpenSession does
    // when asked to read while offline, in the middle of the flow that set them.
    void MarkOnline();

private:
    enum class Failure { Connect, Login };
    // What a mailbox is reached with; any change makes it a mailbox never reached.
    struct ConnectionKey {
        MailServer server;
        std::string user;
        std::string password;
        std::string mechanism;
        bool operator==(const ConnectionKey&) const = default;
    };
    static ConnectionKey KeyOf(const MailSettings& settings);
    // status: the status panel's text for a connection failure (empty: the failed-connect one).
    bool FailOpen(Failure failure, const std::string& status = {});
    bool IsPassing(Failure failure) const;
    // No access token for a mailbox that signs in at its provider.
    bool FailToken(const AccessTokenAnswer& answer);
    bool FailInPassing(const std::string& status, const char* sentence);
    void NoteBroken();
    std::unique_ptr<korp::TKorpMsg> Take(korp::TKorpMsg* message);

    MailContext& ctx_;
    bool open_ = false;
    bool broken_ = false;
    bool aborted_ = false;
    bool tooLarge_ = false;
    bool listed_ = false; // the whole id listing was asked in this session
    bool passing_ = false;
    std::string failureStatus_;
    std::string garbled_; // an answer that did not fit the command, when one came
    SessionPurpose purpose_ = SessionPurpose::Reading;
    ConnectionKey key_;                    // of the session in hand
    std::optional<ConnectionKey> reached_; // of the last mailbox reached
    int count_ = 0;
    int range_ = 0;
    bool reverse_ = false;
    std::unordered_map<int, std::string> uidls_;
};

} // namespace brevon
