// Fuzzes what the reader makes of a fetched message: its list line (the sender from From, Sender
// or Reply-To, and the subject) and the rewrite of a calendar invitation in its body. The list
// line must stay one line with one TAB whatever the headers hold; nothing may read out of range.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <korp/KorpErrors.h>
#include <korp/KorpMsg.h>
#include <mail/SenderSubject.h>
#include <mail/SpokenText.h>

#include "../PrivateTempDir.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::UsePrivateTempDir("mailfuzz");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    korp::TKorpMsg msg;
    msg.ClearRawMailAfterParse = false;
    msg.RawMail.SetText(raw);
    try {
        msg.ParseRawMail();
    } catch (const korp::EKorpDecodeError&) {
        // What was parsed up to a malformed uuencoded line is still read.
    }

    const brevon::SenderParts sender = brevon::MessageSender(msg.From, msg.Sender, msg.ReplyTo);
    const std::string line = brevon::ListLine(sender.name, brevon::CleanSubject(msg.Subject));
    if (line.find_first_of("\r\n") != std::string::npos || line.find('\t') != line.rfind('\t') ||
        line.find('\t') == std::string::npos) {
        std::fprintf(stderr, "the list line is not one line with one TAB\n");
        std::abort();
    }
    (void)brevon::HeaderSentence(1, line);
    // The raw text as body lines too, so the rewrite sees whatever layout the input has.
    std::string sentence;
    (void)brevon::RewriteInvitation(msg.Text.Lines(), sentence);
    (void)brevon::RewriteInvitation(msg.RawMail.Lines(), sentence);
    (void)brevon::SplitSender(raw);
    (void)brevon::MessageSender({}, raw, raw);
    (void)brevon::CleanSubject(raw);
    fuzzing::RequireEmptyTempDir();
    return 0;
}
