// The arrival time said in the header sentence of a reading.
#include <mail/ArrivalTime.h>

#include <string>

#include <gtest/gtest.h>

#include <mail/SpokenText.h>

#include "MailRig.h"

namespace brevon {
namespace {

// Thursday 10 December 2026, 13:00 UTC.
constexpr std::int64_t kNow = 1796907600;

struct FixedClock final : Clock {
    std::int64_t now = kNow;
    std::int32_t offset = 3600; // Amsterdam in winter
    std::int64_t Now() const override { return now; }
    std::int32_t UtcOffset(std::int64_t) const override { return offset; }
};

TEST(ArrivalPhrase, SaysWhenRelativeToNowInTheUsersZone) {
    const struct {
        const char* date;
        std::int32_t offset; // the user's zone
        const char* phrase;  // Windows-1252
    } cases[] = {
        {"Thu, 10 Dec 2026 09:10:00 +0100", 3600, "vandaag om tien over negen"},
        {"Thu, 10 Dec 2026 09:58:00 +0100", 3600, "vandaag om tien uur"},
        {"Thu, 10 Dec 2026 12:44:00 +0100", 3600, "vandaag om kwart voor \xE9\xE9n"},
        {"Thu, 10 Dec 2026 00:23:00 +0100", 3600, "vandaag om vijf voor half \xE9\xE9n"},
        {"Wed, 9 Dec 2026 15:30:00 +0100", 3600, "gisteren om half vier"},
        {"Wed, 9 Dec 2026 20:40:00 +0100", 3600, "gisteren om tien over half negen"},
        {"Mon, 7 Dec 2026 08:00:00 +0100", 3600, "op maandag"},
        {"Fri, 4 Dec 2026 08:00:00 +0100", 3600, "op vrijdag"},
        {"Thu, 3 Dec 2026 08:00:00 +0100", 3600, "op 3 december"}, // a week ago: a date
        {"Tue, 3 Mar 2026 10:00:00 +0100", 3600, "op 3 maart"},
        {"Mon, 3 Mar 2025 10:00:00 +0100", 3600, "op 3 maart 2025"},
        // The sender's zone and the user's.
        {"Thu, 10 Dec 2026 03:10:00 -0500", 3600, "vandaag om tien over negen"},
        {"Thu, 10 Dec 2026 03:10:00 EST", 3600, "vandaag om tien over negen"},
        {"Wed, 9 Dec 2026 23:30:00 +0000", 3600, "vandaag om half \xE9\xE9n"},
        {"Thu, 10 Dec 2026 09:10:00 +0100", -5 * 3600, "vandaag om tien over drie"},
        {"Thu, 10 Dec 2026 00:30:00 +0100", -5 * 3600, "gisteren om half zeven"},
        // Old forms: a comment, a two-digit year, no seconds, no day name.
        {"10 Dec 26 09:10 +0100 (CET)", 3600, "vandaag om tien over negen"},
        // A sender's clock a little ahead is now; far ahead is wrong.
        {"Thu, 10 Dec 2026 14:05:00 +0100", 3600, "vandaag om twee uur"},
        {"Fri, 11 Dec 2026 10:00:00 +0100", 3600, ""},
        // Missing or absurd.
        {"", 3600, ""},
        {"gisteren", 3600, ""},
        {"Thu, 31 Feb 2026 10:00:00 +0100", 3600, ""},
        {"Thu, 29 Feb 2026 10:00:00 +0100", 3600, ""},
        {"Mon, 1 Jan 1900 10:00:00 +0000", 3600, ""},
        {"Thu, 10 Dec 2026 25:10:00 +0100", 3600, ""},
        {"Thu, 10 Foo 2026 09:10:00 +0100", 3600, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.date);
        FixedClock clock;
        clock.offset = c.offset;
        EXPECT_EQ(ArrivalPhrase(c.date, clock), c.phrase);
    }
}

TEST(ArrivalPhrase, ComesAfterTheSenderInTheHeaderSentenceOfAReading) {
    FixedClock clock;
    for (const bool option : {true, false}) {
        SCOPED_TRACE(option ? "on" : "off");
        fakes::MailRig rig(nullptr, {}, &clock);
        rig.settings.SayArrivalTime = option;
        rig.box.Add("u1", "From: Jan <jan@voorbeeld.nl>\nSubject: Koffie\n"
                          "Date: Wed, 9 Dec 2026 15:30:00 +0100\n\nZullen we?\n");
        rig.box.Add("u2", "From: Piet <piet@voorbeeld.nl>\nSubject: Zonder datum\n\nHoi\n");
        rig.CheckAndListen();
        rig.shell.StopHeaderTimer();
        rig.state.CurrentIndex = 1; // u1
        rig.mail.PlayMessage();
        EXPECT_EQ(rig.LastSaid().substr(0, rig.LastSaid().find('\r')),
                  option ? "2. Van Jan, gisteren om half vier. Onderwerp: Koffie"
                         : "2. Van Jan. Onderwerp: Koffie");
        rig.SpeakAll();
        rig.shell.StopHeaderTimer();
        rig.state.CurrentIndex = 0; // u2: no date, nothing said of it
        rig.mail.PlayMessage();
        EXPECT_EQ(rig.LastSaid().substr(0, rig.LastSaid().find('\r')),
                  "1. Van Piet. Onderwerp: Zonder datum");
    }
}

} // namespace
} // namespace brevon
