// Who and what a new message's header sentence names, from the message as the server has it.
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "MailRig.h"

namespace brevon {
namespace {

using fakes::MailRig;
using ::testing::ElementsAre;

std::string Raw(const std::string& headers) {
    return headers + "To: jan@voorbeeld.nl\nDate: Tue, 1 Dec 2026 10:00:00 +0100\n\nHallo\n";
}

TEST(MailCheck, AMessageWithoutAUsableFromIsAnnouncedUnderSenderReplyToOrAsUnknown) {
    MailRig rig;
    rig.settings.Reverse = true;
    rig.box.Add("u1", Raw("From: \nSender: Piet Smit <piet@b.nl>\n"
                          "Reply-To: Kees <kees@c.nl>\nSubject: AW: Re: offerte\n"));
    rig.box.Add("u2", Raw("From: <>\nReply-To: \"Kees de Wit\" <kees.de.wit@c.nl>\n"
                          "Subject: Antw: Fwd[2]: uitje\n"));
    rig.box.Add("u3", Raw("From: \nSubject: [Nieuws] RE (3): Reservering\n"));
    rig.CheckAndListen();

    EXPECT_THAT(rig.Said(),
                ElementsAre("Er zijn 3 nieuwe berichten\r1. Van Piet Smit. Onderwerp: offerte",
                            "2. Van Kees de Wit. Onderwerp: uitje",
                            "3. Van een onbekende afzender. Onderwerp: Nieuws] Reservering"));
    // The list keeps the name as found (a quoted display name of Reply-To whole), empty when
    // there is none.
    EXPECT_THAT(rig.state.KnownHeaders,
                ElementsAre("Piet Smit\tofferte", "Kees de Wit\tuitje", "\tNieuws] Reservering"));
}

} // namespace
} // namespace brevon
