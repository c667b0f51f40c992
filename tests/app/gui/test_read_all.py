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
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(HERE)))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(SOURCE, "tools", "demo"))

from brevon_gui import (Brevon, Shots, end_session_folder, parse_test_args,  # noqa: E402
                        scramble_password, write_settings)
from demoserver import DemoServer  # noqa: E402
from xsession import XSession, poll  # noqa: E402

ARGS = None
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


class ReadAll(unittest.TestCase):
    tmp = None
    server = None
    session = None
    brevon = None

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="brevon-read-all-")
        if os.geteuid() == 0:
            os.chmod(cls.tmp, 0o711)  # Dovecot's own users pass through, as in test_e2e
        try:
            mailbox = os.path.join(cls.tmp, "mailbox")
            os.makedirs(mailbox)
            for name, text in MAILBOX.items():
                with open(os.path.join(mailbox, name), "w", encoding="ascii", newline="") as f:
                    f.write(text)
            cls.server = DemoServer(os.path.join(cls.tmp, "server"), mailbox=mailbox)
            cls.server.start()
            cls.session = XSession(cls.tmp)
            cls.session.start()
            cls.shots = Shots(cls.session, ARGS.shots) if ARGS.shots else None
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        if cls.session:
            cls.session.close()
        if cls.brevon:
            cls.brevon.report()
        if cls.server:
            cls.server.close()
        end_session_folder(cls.tmp, ARGS.keep)

    def test_alles_voorlezen_reads_the_three_new_messages_in_a_row(self):
        server = ReadAll.server
        b = ReadAll.brevon = Brevon(ReadAll.session, ARGS.brevon, ReadAll.tmp,
                                    speech_speed=ARGS.speech_speed,
                                    env={"SSL_CERT_FILE": server.ca_file})
        os.makedirs(b.config_dir, exist_ok=True)
        write_settings(b.settings_file, {
            "X": 300, "Y": 200, "XI": 40, "YI": 420, "Voice": 7, "Pitch": 5, "Volume": 8,
            "Tempo": 5, "Host": server.host, "User": server.user,
            "Password": scramble_password(server.password.encode()),
            "Interval in minuten": 5, "NumSaveMails": 20, "UseNumSaveMails": True,
            "Reverse": False, "SkipReply": False, "SemiService9X": False, "UseLid": False,
            "ShowWindow": True, "Beveiliging": "SSL/TLS", "Poort": str(server.tls_port),
            "BijlagenNoemen": True,
        })
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

        icon = poll("brevon's icon in the tray", b.tray_icon, WAIT)
        before = {w.wid for w in b.windows()}
        after = len(b.trace())
        ReadAll.session.click(icon.x + icon.width // 2, icon.y + icon.height // 2, 3)
        _, m = b.wait_trace(r"Menu (.*)", after=after, timeout=WAIT)
        states = dict(item.split("=", 1) for item in m.group(1).split(";"))
        self.assertTrue(states["Allesvoorlezen1"].startswith("on"), states)
        poll("the menu to open", lambda: [w for w in b.windows() if w.wid not in before], WAIT)
        if ReadAll.shots:
            ReadAll.shots.take("tray-menu")
        ReadAll.session.key("a")  # "&Alles voorlezen"
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
        after = len(b.trace())
        ReadAll.session.click(icon.x + icon.width // 2, icon.y + icon.height // 2, 3)
        b.wait_trace(r"Menu (.*)", after=after, timeout=WAIT)
        ReadAll.session.key("a")
        self.assertEqual(b.wait_spoken(9, timeout=SPEECH_WAIT)[8],
                         "Er zijn \\+geen \\-nieuwe berichten")

        ReadAll.session.click(icon.x + icon.width // 2, icon.y + icon.height // 2, 3)
        b.wait_trace(r"Menu (.*)", after=after, timeout=WAIT)
        ReadAll.session.key("s")  # "&Sluiten"
        self.assertEqual(b.wait_exit(timeout=WAIT), 0, b.log())
        b.group_gone()


def main():
    global ARGS
    ARGS, argv = parse_test_args(__doc__)
    unittest.main(argv=argv, verbosity=2, failfast=False)


if __name__ == "__main__":
    main()
