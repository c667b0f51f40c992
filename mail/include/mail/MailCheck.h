// The mail check cycle: on the timer, after the greeting and when checking is switched on,
// count the mailbox, collect the unique ids of the messages in range, fetch the headers of the
// ones not yet listed, keep the list and its two files, and hand new mail to the reading
// controller, which announces it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <mail/MailContext.h>
#include <mail/MessageList.h>

namespace brevon {

class MailSession;
class ReadingController;

inline constexpr const char* kNoNewMailSentence = "Er zijn \\+geen \\-nieuwe berichten";

class MailCheck {
public:
    // dataFolder holds the list files ("<user>.id", "<user>.he", "<user>.seen").
    MailCheck(MailContext& context, MailSession& session, ReadingController& reading,
              std::filesystem::path dataFolder);

    // One check; nothing happens while something is spoken or a session is open. When a
    // mailbox reached before with the same settings is out of reach, checking stays on and the
    // mail timer tries again after 1, 2, 4 ... minutes, up to the interval, until a check gets
    // through (ReadingState::RetryMinutes). While speech is paused the check runs silently:
    // nothing is said, the buttons come back as they were and new mail waits
    // (ReadingState::PendingNewIds) until speaking ends, when it is announced.
    void CheckMail();
    // Checking on (mail timer running, buttons as the list allows) or off (timer off).
    void SetOnline(bool on);

private:
    void CheckWhilePaused();
    // Adds the places of the waiting new mail to what the announcement speaks (NewPositions).
    void TakePendingNewMail();
    // The announcement of mail that checks found during a pause, once nothing is spoken.
    void AnnouncePendingNewMail();
    bool RefreshMailbox(const MailSettings& settings);
    // Reads the user's list files once (again after the user changed). A list that cannot be
    // read is said once and counts as no list: the check that follows lists the mailbox
    // without announcing it, unless the recent ids tell what is new.
    void LoadKnownMessages(const MailSettings& settings);
    bool CollectServerIds(std::vector<std::string>& ids);
    // The new list lines for the ids in range and which positions are new; false when the
    // session broke while headers were fetched.
    bool UpdateMessageList(const MailSettings& settings, const std::vector<std::string>& ids,
                           std::vector<std::string>& lines, std::vector<int>& newPositions);
    std::optional<std::string> FetchListLine(int number);
    // Saves the lists with the recent ids; a failure is said once (with the folder) and the
    // save is owed, tried again at each check until it goes through.
    void SaveLists(const MailSettings& settings);
    void AnnounceNewMail(const MailSettings& settings);
    // After a passing failure: the next try sooner than the interval, doubling each time.
    void ScheduleRetry(const MailSettings& settings);

    MailContext& ctx_;
    MailSession& session_;
    ReadingController& reading_;
    std::filesystem::path dataFolder_;
    bool firstLoad_ = true;       // the list files have not been read in this run
    RecentIds recent_;            // the ids listed lately: never new again while remembered
    bool quietListing_ = false;   // the stored list was lost: the next listing announces nothing
    bool saveOwed_ = false;       // the lists changed since the last save that went through
    bool saveFailSpoken_ = false; // the failed save has been said
};

} // namespace brevon
