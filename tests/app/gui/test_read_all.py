#!/usr/bin/env python3
""""Alles voorlezen" from end to end: the real program under its own Xvfb with trayer as the tray
host, a real Dovecot over TLS holding three new messages (one with two attachments), the
silent speech sink and its transcript.

After the announcement the tray item reads the three messages one after the other, each
fetched from the server when its turn comes, with "Volgende bericht." between them and the
closing sentence after the last; the attachments of the second are named after its text. What
is heard is compared exactly.

    test_read_all.py --brevon build/app/brevon [--shots DIR] [unittest options]
"""

import base64
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from brevon_gui import USER_SETTINGS, GuiTest, main  # noqa: E402
from xsession import poll  # noqa: E402
WAIT = 20
SPEECH_WAIT = 60
CR = "\\r"  # how the transcript writes a carriage return
CRLF = "\\r\\n"


def plain(number, sender, subject, text):
    return (f"From: {sender}\r\nTo: Sanne Visser <sanne@example.nl>\r\nSubject: {subject}\r\n"
            f"Date: Mon, 9 Mar 2026 1{number}:00:00 +0100\r\n"
            f"Message-ID: <lees-alles-{number}@example.nl>\r\nMIME-Version: 1.0\r\n"
            "Content-Type: text/plain; charset=us-ascii\r\n\r\n" + text)


def base64_part(content_type, name, size):
    data = base64.encodebytes(bytes(range(256)) * (size // 256)).decode().replace("\n", "\r\n")
    return (f"--grens\r\nContent-Type: {content_type}; name=\"{name}\"\r\n"
            f"Content-Disposition: attachment; filename=\"{name}\"\r\n"
            "Content-Transfer-Encoding: base64\r\n\r\n" + data)


MAILBOX = {
    "01-koffie.eml": plain(1, "Anna de Vries <anna@example.nl>", "Koffie",
                           "Hoi Sanne,\r\n\r\nZullen we koffie drinken?\r\n"),
    "02-stukken.eml": (
        "From: Jan Bakker <jan@example.nl>\r\nTo: Sanne Visser <sanne@example.nl>\r\n"
        "Subject: Stukken voor de vergadering\r\nDate: Mon, 9 Mar 2026 12:00:00 +0100\r\n"
        "Message-ID: <lees-alles-2@example.nl>\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"grens\"\r\n\r\n"
        "--grens\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n"
        "Hoi Sanne,\r\n\r\nHierbij de stukken.\r\n" +
        base64_part("application/pdf", "agenda_maart.pdf", 4096) +
        base64_part("image/jpeg", "plattegrond.jpg", 40960) +
        "--grens--\r\n"),
    "03-fietsen.eml": plain(3, "Piet Jansen <piet@example.nl>", "Fietsen",
                            "Hoi Sanne,\r\n\r\nFietsen we zaterdag?\r\n"),
}


class ReadAll(GuiTest):
    prefix = "brevon-read-all-"
    dovecot = True
    mailbox = MAILBOX

    def test_alles_voorlezen_reads_the_three_new_messages_in_a_row(self):
        b = self.stage.brevon(settings={**USER_SETTINGS, **self.stage.account(),
                                        "BijlagenNoemen": True})
        b.start()

        # The greeting, then the announcement of the three, newest first.
        texts = b.wait_spoken(4, timeout=SPEECH_WAIT)
        self.assertEqual(texts[1:4], [
            "Er zijn 3 nieuwe berichten" + CR + "1. Van Piet Jansen. Onderwerp: Fietsen",
            "2. Van Jan Bakker. Onderwerp: Stukken voor de vergadering",
            "3. Van Anna de Vries. Onderwerp: Koffie",
        ])
        poll("the end of the third header sentence",
             lambda: b.trace().count("Header spoken") >= 3, SPEECH_WAIT)

        after = len(b.trace())
        states, _ = b.tray_menu(WAIT)
        self.assertTrue(states["Allesvoorlezen1"].startswith("on"), states)
        self.shots.take("tray-menu")
        self.session.key("a")  # "&Alles voorlezen"
        b.wait_trace("ReadAll", after=after, timeout=WAIT)

        texts = b.wait_spoken(8, timeout=SPEECH_WAIT)
        b.wait_trace("Body spoken", after=after, timeout=SPEECH_WAIT)
        poll("the run to end", lambda: b.trace().count("Body spoken") >= 4, SPEECH_WAIT)
        self.assertEqual(texts[4:], [
            "1. Van Piet Jansen. Onderwerp: Fietsen" + CR +
            "Hoi Sanne," + CRLF + CRLF + "Fietsen we zaterdag?" + CRLF,
            "Volgende bericht." + CR + "2. Van Jan Bakker. Onderwerp: Stukken voor de vergadering" +
            CR + "Hoi Sanne," + CRLF + CRLF + "Hierbij de stukken." + CRLF +
            "Met twee bijlagen: agenda maart, een PDF-bestand; plattegrond, een foto." + CRLF,
            "Volgende bericht." + CR + "3. Van Anna de Vries. Onderwerp: Koffie" + CR +
            "Hoi Sanne," + CRLF + CRLF + "Zullen we koffie drinken?" + CRLF,
            "Dat waren alle nieuwe berichten.",
        ])
        # Each message fetched in its turn, in a session of its own.
        lines = b.trace()[after:]
        fetches = [line for line in lines if line.startswith(("POP3 RETR", "POP3 QUIT"))]
        self.assertEqual(fetches, ["POP3 RETR 3", "POP3 QUIT", "POP3 RETR 2", "POP3 QUIT",
                                   "POP3 RETR 1", "POP3 QUIT"])

        # A second run has nothing left to read.
        b.tray_menu(WAIT)
        self.session.key("a")
        self.assertEqual(b.wait_spoken(9, timeout=SPEECH_WAIT)[8],
                         "Er zijn \\+geen \\-nieuwe berichten")

        b.close_from_tray(WAIT)


if __name__ == "__main__":
    main(__doc__)
