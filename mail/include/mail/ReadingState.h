// What the mail check and the reading controller know, shared with the bar and the tray menu:
// the message list, the reading flags and counters, and the shell's own start-up flags. One
// record for the running program; the widgets read it, the mail side writes it.
#pragma once

#include <string>
#include <vector>

namespace brevon {

struct ReadingState {
    // The message list: unique ids and list lines (sender name, TAB, subject), in reading
    // order, one entry per message. CurrentIndex (0-based) points into both and stays within
    // [0, max(0, count - 1)].
    std::vector<std::string> KnownIds;
    std::vector<std::string> KnownHeaders;
    int CurrentIndex = 0;
    // The ".id" and ".he" files of the current user have not been read yet.
    bool LoadPending = true;

    // Reading flags.
    bool ReadingHeaders = false;
    bool InHeaderSequence = false;
    bool ReadingBody = false;
    bool Paused = false;
    bool ReadWithHeader = true;

    // Counters of the last check and of the run.
    int NewCount = 0;
    int NewTotal = 0;
    int MessageCount = 0;
    // The list positions (0-based, in reading order) the last check found new: the header
    // sequence speaks these.
    std::vector<int> NewPositions;
    // Ids that checks found new while a reading was paused, not yet announced: the announcement
    // comes when the reading ends or is stopped.
    std::vector<std::string> PendingNewIds;
    // Ids announced as new and not read since (by play or in a run of "Alles voorlezen"), in the
    // order they were found.
    std::vector<std::string> UnheardIds;

    // The mail check's switches.
    bool Online = true;
    bool SayNoNewMail = false;
    bool SettingsPromptSpoken = false;
    bool ConnectFailSpoken = false;
    // After a passing connection failure: the mail timer tries again after this many minutes
    // (never more than the interval) instead of the interval; 0 when checking runs as usual.
    int RetryMinutes = 0;
    // The sentence last said for a failed check that checking rides out (the try-again-later
    // one, a dropped connection ...) since the last check that reached the server: a check
    // that fails the same way again says nothing.
    std::string FailureSpoken;

    // Set while the greeting plays: timed mail checks are ignored meanwhile.
    bool SplashActive = false;

    // Brings CurrentIndex back inside the list after the list or the index changed.
    void ClampCurrentIndex();
    // Minutes from starting the mail timer to its tick, for a check interval of that many
    // minutes: sooner while a retry is due.
    int MailTimerMinutes(int interval) const {
        return RetryMinutes > 0 && RetryMinutes < interval ? RetryMinutes : interval;
    }
};

// The one record of the running program.
ReadingState& AppReadingState();

} // namespace brevon
