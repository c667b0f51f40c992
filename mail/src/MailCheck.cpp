#include <mail/MailCheck.h>

#include <algorithm>
#include <chrono>
#include <unordered_map>

#include <encoding/Cp1252.h>
#include <encoding/Utf8.h>
#include <korp/KorpMsg.h>
#include <mail/MailSession.h>
#include <mail/MessageList.h>
#include <mail/ReadingController.h>
#include <mail/SenderSubject.h>

namespace brevon {

namespace {

std::int64_t Now() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A folder as the program's text: the system's name (UTF-8) in Windows-1252, '?' for what the
// code page lacks.
std::string FolderText(const std::filesystem::path& folder) {
    const std::u8string name = folder.u8string();
    const std::string_view utf8(reinterpret_cast<const char*>(name.data()), name.size());
    std::string text;
    for (std::size_t at = 0; at < utf8.size();) {
        char32_t cp = 0;
        const std::size_t length = encoding::DecodeUtf8(utf8, at, cp);
        const int byte = length > 0 ? encoding::UnicodeToCp1252(cp) : -1;
        text += byte >= 0 ? static_cast<char>(byte) : '?';
        at += length > 0 ? length : 1;
    }
    return text;
}

} // namespace

MailCheck::MailCheck(MailContext& context, MailSession& session, ReadingController& reading,
                     std::filesystem::path dataFolder)
    : ctx_(context), session_(session), reading_(reading), dataFolder_(std::move(dataFolder)) {
    reading_.OnSpeakingEnded([this] { AnnouncePendingNewMail(); });
}

void MailCheck::CheckMail() {
    ReadingState& state = ctx_.state;
    if (session_.IsOpen()) return;
    if (state.Paused) {
        CheckWhilePaused();
        return;
    }
    if (state.ReadingHeaders || state.ReadingBody) return;
    const MailSettings settings = ctx_.settings();
    ctx_.shell.SetButtonState("all", false);
    ctx_.window.SetBusyCursor(true);
    const bool refreshed = RefreshMailbox(settings);
    ctx_.window.SetBusyCursor(false);
    if (!refreshed) {
        // A failed check has gone offline and said why; the buttons stay off until checking is
        // on. Only a mailbox out of reach for a while keeps checking, sooner than usual.
        if (session_.FailedInPassing()) ScheduleRetry(settings);
        return;
    }
    state.RetryMinutes = 0;
    state.FailureSpoken.clear();
    state.NewTotal += state.NewCount;
    TakePendingNewMail();
    if (state.NewCount <= 0) {
        if (state.SayNoNewMail) ctx_.speech.Say(nullptr, kNoNewMailSentence);
        reading_.GoActiveState();
    } else {
        AnnounceNewMail(settings);
    }
    state.SayNoNewMail = false;
}

// A reading or an announcement paused and forgotten must not stop mail from being announced.
// The check must not disturb it either: the paused speech would be cut off by anything said,
// and the user must be able to resume or stop it afterwards. A failure is met again by the
// next check (MailSession says nothing while speech is paused).
void MailCheck::CheckWhilePaused() {
    ReadingState& state = ctx_.state;
    const MailSettings settings = ctx_.settings();
    bool buttons[5];
    const char* const names[5] = {"play", "pauze", "stop", "back", "forw"};
    for (int i = 0; i < 5; ++i)
        buttons[i] = ctx_.shell.ButtonEnabled(names[i]);
    const std::vector<std::string> listed = state.KnownIds;
    const int current = state.CurrentIndex;
    // A paused announcement goes on with its own messages.
    const int sequenceCount = state.NewCount;
    std::vector<int> sequence = state.NewPositions;

    ctx_.shell.SetButtonState("all", false);
    const bool refreshed = RefreshMailbox(settings);
    if (refreshed) {
        state.RetryMinutes = 0;
        state.FailureSpoken.clear();
        state.NewTotal += state.NewCount;
        std::vector<std::string>& pending = state.PendingNewIds;
        for (const int position : state.NewPositions) {
            const std::string& id = state.KnownIds[static_cast<std::size_t>(position)];
            if (std::find(pending.begin(), pending.end(), id) == pending.end())
                pending.push_back(id);
        }
        state.NewCount = sequenceCount;
        state.NewPositions = std::move(sequence);
    }
    for (int i = 0; i < 5; ++i)
        ctx_.shell.SetButtonState(names[i], buttons[i]);
    if (refreshed) reading_.ListChanged(listed, current);
    ctx_.shell.UpdateHints();
    ctx_.shell.SetMailTimer(state.Online);
}

void MailCheck::TakePendingNewMail() {
    ReadingState& state = ctx_.state;
    if (state.PendingNewIds.empty()) return;
    std::vector<int>& positions = state.NewPositions;
    for (const std::string& id : state.PendingNewIds) {
        const auto at = std::find(state.KnownIds.begin(), state.KnownIds.end(), id);
        if (at != state.KnownIds.end())
            positions.push_back(static_cast<int>(at - state.KnownIds.begin()));
    }
    state.PendingNewIds.clear();
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    state.NewCount = static_cast<int>(positions.size());
    // Counted when they were found; a press of play or stop since then must not hide them.
    state.NewTotal = std::max(state.NewTotal, state.NewCount);
}

void MailCheck::AnnouncePendingNewMail() {
    ReadingState& state = ctx_.state;
    if (state.PendingNewIds.empty() || state.Paused || state.ReadingHeaders || state.ReadingBody ||
        session_.IsOpen())
        return;
    state.NewPositions.clear();
    TakePendingNewMail();
    if (state.NewCount > 0) AnnounceNewMail(ctx_.settings());
}

bool MailCheck::RefreshMailbox(const MailSettings& settings) {
    ReadingState& state = ctx_.state;
    ctx_.shell.SetMailTimer(false);
    LoadKnownMessages(settings);
    if (!session_.Open(settings, SessionPurpose::Check)) {
        if (saveOwed_) SaveLists(settings);
        return false;
    }
    ctx_.window.SetConnected(true);

    // Worked out aside and taken over only when the whole check succeeded: a session that
    // breaks half-way leaves the lists, the files and the counts as they were.
    const int count = session_.Count();
    std::vector<std::string> ids, lines;
    std::vector<int> newPositions;
    if (count > 0 &&
        (!CollectServerIds(ids) || !UpdateMessageList(settings, ids, lines, newPositions))) {
        session_.Fail();
        if (saveOwed_) SaveLists(settings);
        return false;
    }
    session_.Close();

    state.MessageCount = count;
    // An empty mailbox leaves the list as it was.
    bool changed = false;
    if (count > 0) {
        changed = ids != state.KnownIds || lines != state.KnownHeaders;
        state.KnownIds = std::move(ids);
        state.KnownHeaders = std::move(lines);
        changed = recent_.Note(state.KnownIds, Now()) || changed;
        quietListing_ = false;
    }
    state.NewCount = static_cast<int>(newPositions.size());
    state.NewPositions = std::move(newPositions);
    state.ClampCurrentIndex();
    // Saved whenever the files would say something else than the lists, so that a restart
    // knows what this run knew.
    if (changed || saveOwed_ || state.NewCount > 0) SaveLists(settings);
    ctx_.shell.UpdateHints();
    return true;
}

void MailCheck::LoadKnownMessages(const MailSettings& settings) {
    ReadingState& state = ctx_.state;
    if (!state.LoadPending) return;
    state.LoadPending = false;
    // Another user's files: what was owed to the last one's is no longer wanted.
    saveOwed_ = saveFailSpoken_ = quietListing_ = false;
    StoredList stored = ReadMessageList(ListFilesFor(dataFolder_, settings.User));
    recent_ = std::move(stored.recent);
    const bool loaded = stored.idState == StoredList::Ids::Read;
    // What was repaired or skipped is traced; a list lost is also said, below.
    if (stored.idState != StoredList::Ids::Damaged && !stored.problem.empty())
        ctx_.window.SetStatusText("Message list: " + stored.problem);
    if (loaded) {
        state.KnownIds = std::move(stored.ids);
        state.KnownHeaders = std::move(stored.headers);
        state.ClampCurrentIndex();
    } else if (stored.idState == StoredList::Ids::Damaged) {
        // Every message would look new. The recent ids, when they were read whole, still tell
        // which were listed (they are saved before the list); without them the next listing
        // announces nothing.
        quietListing_ = recent_.Empty() || stored.recentDamaged;
        ctx_.window.SetStatusText("Message list unreadable (" + stored.problem +
                                  "); starting a new one.");
        ctx_.speech.Say(nullptr, kCannotReadListSentence);
    }
    // The files are written only after this mailbox was reached, so at start-up a list in them
    // says so: a network that comes up late is then retried. Files read after the settings
    // changed in this run say nothing about the new ones.
    if (firstLoad_ && loaded && !state.KnownIds.empty()) session_.ReachedBefore(settings);
    firstLoad_ = false;
}

void MailCheck::SaveLists(const MailSettings& settings) {
    const ReadingState& state = ctx_.state;
    const std::error_code error = SaveMessageList(ListFilesFor(dataFolder_, settings.User),
                                                  state.KnownIds, state.KnownHeaders, recent_);
    if (!error) {
        if (saveOwed_) ctx_.window.SetStatusText("Message list saved.");
        saveOwed_ = saveFailSpoken_ = false;
        return;
    }
    saveOwed_ = true;
    const std::string folder = FolderText(dataFolder_);
    ctx_.window.SetStatusText("Cannot save the message list in " + folder + ": " + error.message());
    if (saveFailSpoken_) return;
    saveFailSpoken_ = true;
    ctx_.speech.Say(nullptr, kCannotSaveListSentence + folder);
}

void MailCheck::ScheduleRetry(const MailSettings& settings) {
    ReadingState& state = ctx_.state;
    // 1, 2, 4 ... minutes, never longer than a check would wait anyway.
    const int interval = std::max(1, settings.Interval);
    state.RetryMinutes =
        state.RetryMinutes <= 0
            ? 1
            : static_cast<int>(std::min<long long>(2LL * state.RetryMinutes, interval));
    ctx_.window.SetStatusText(session_.FailureStatus() + " Next try in " +
                              std::to_string(state.RetryMinutes) + " min.");
    // Buttons as the list allows, and the mail timer set to the retry.
    reading_.GoActiveState();
}

bool MailCheck::CollectServerIds(std::vector<std::string>& ids) {
    ctx_.window.SetGettingMails(true);
    const int range = session_.RangeSize();
    ids.reserve(static_cast<std::size_t>(range));
    bool complete = true;
    for (int position = 1; position <= range && complete; ++position) {
        const std::optional<std::string> id = session_.Uidl(session_.NumberAt(position));
        if (id)
            ids.push_back(*id);
        else
            complete = false;
    }
    ctx_.window.SetGettingMails(false);
    return complete;
}

std::optional<std::string> MailCheck::FetchListLine(int number) {
    const std::unique_ptr<korp::TKorpMsg> message = session_.RetrieveHeader(number);
    if (!message) {
        if (session_.Broken()) return std::nullopt;
        return ListLine("", "");
    }
    const SenderParts sender = MessageSender(message->From, message->Sender, message->ReplyTo);
    return ListLine(sender.name, CleanSubject(message->Subject));
}

bool MailCheck::UpdateMessageList(const MailSettings& settings, const std::vector<std::string>& ids,
                                  std::vector<std::string>& lines, std::vector<int>& newPositions) {
    const ReadingState& state = ctx_.state;
    const std::vector<std::string>& knownIds = state.KnownIds;
    const std::vector<std::string>& knownLines = state.KnownHeaders;
    const int range = static_cast<int>(ids.size());
    lines.assign(ids.size(), std::string());
    std::vector<bool> fresh(ids.size(), false);

    // The last listed position of each id, made when the first id is not where it was.
    std::unordered_map<std::string, std::size_t> listedAt;
    bool indexed = false;
    const auto indexOfKnownId = [&](const std::string& id) -> std::optional<std::size_t> {
        if (!indexed) {
            for (std::size_t k = 0; k < knownIds.size(); ++k)
                listedAt[knownIds[k]] = k;
            indexed = true;
        }
        const auto found = listedAt.find(id);
        if (found == listedAt.end()) return std::nullopt;
        return found->second;
    };

    // Newest first, whatever the reading order: a message never listed that comes before any
    // listed one is new; one that comes after is an older message that came into range.
    bool seenListed = false;
    for (int step = 0; step < range; ++step) {
        const int i = settings.Reverse ? range - 1 - step : step;
        const std::string& id = ids[i];
        std::optional<std::size_t> listed;
        if (static_cast<std::size_t>(i) < knownIds.size() && knownIds[i] == id)
            listed = static_cast<std::size_t>(i);
        else
            listed = indexOfKnownId(id);
        if (listed) {
            seenListed = true;
            // A line lost from the files is fetched again; the message is not new for that.
            if (*listed < knownLines.size() && !knownLines[*listed].empty()) {
                lines[i] = knownLines[*listed];
                continue;
            }
        } else if (recent_.Contains(id)) {
            // Listed lately and back again (a server's hiccup, moved out and back): not new.
            seenListed = true;
        } else if (!quietListing_) {
            // Found at position i + 1 of the range, so there is nothing more to ask the server.
            const int position = i + 1;
            if (!settings.UseNumSaveMails || (position <= settings.NumSaveMails && !seenListed))
                fresh[i] = true;
        }
        const std::optional<std::string> line = FetchListLine(session_.NumberAt(i + 1));
        if (!line) return false;
        lines[i] = *line;
    }
    for (int i = 0; i < range; ++i)
        if (fresh[i]) newPositions.push_back(i);
    return true;
}

void MailCheck::AnnounceNewMail(const MailSettings& settings) {
    ReadingState& state = ctx_.state;
    ctx_.shell.SetMailTimer(false);
    std::string announcement = state.NewCount == 1
                                   ? std::string("Er is een nieuw bericht")
                                   : ReplaceNum("Er zijn %NUM nieuwe berichten", state.NewCount);
    announcement += '\r';
    if (settings.ShowWindow) ctx_.window.BringBarToFront();
    reading_.StartHeaderSequence(std::move(announcement));
}

void MailCheck::SetOnline(bool on) {
    ReadingState& state = ctx_.state;
    if (session_.IsOpen()) {
        // Not in the middle of a conversation with the server: the mark shows what still is.
        ctx_.shell.ToggleOnline(state.Online);
        return;
    }
    if (!on) {
        session_.GoOffline();
        return;
    }
    state.Online = true;
    ctx_.shell.SetMailTimer(true);
    ctx_.shell.ToggleOnline(true);
    reading_.GoActiveState();
}

} // namespace brevon
