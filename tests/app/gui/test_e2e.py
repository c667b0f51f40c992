#!/usr/bin/env python3
"""brevon from end to end, as a listener meets it: the real program under its own Xvfb with
trayer as the tray host, driven with xdotool, reading the demo mailbox (tools/demo) from a real
Dovecot over TLS, with the silent speech sink and its transcript.

What is spoken is asserted exactly and in order. The expected texts are worked out from the
messages themselves and the program's sentence forms: "N. Van <name>. Onderwerp: <subject>"
with the name and subject cleaned as the list does, the invitation's "Wanneer: ... Plaats: ..."
sentence, and the bodies as the preprocessor cleans, joins and reads them.

Two runs of the program share one X session, one mail server, and the folders of settings and
message lists, as one user's two sessions would:

1. a first start: the greeting and all ten messages announced; play, stop, forward, pause and
   resume from the bar; offline and online from the tray; a shorter interval set in the
   options; a message that arrives meanwhile announced at the next timed check; the server
   gone (said once, tried again a minute later, no dialog); a wrong password typed in the
   options opened by hand (the login sentence, the dialog on the user field), then the right
   one.
2. with "SkipReply" and "UseLid" set: nothing new; the reply without its quoted text, the
   French message as not Dutch, the invitation as one sentence.
3. with mail in other languages read in their own ("EigenTaal") as well: the English and the
   French message each after a Dutch lead-in, in their language's voice.

Each step leaves a screenshot in the shots folder. Usage:

    test_e2e.py --brevon build/app/brevon --shots DIR [--brevon-config TOOL] [unittest options]
"""

import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from brevon_gui import (USER_SETTINGS, GuiTest, main,  # noqa: E402
                        read_settings, scramble_password, write_settings)
from xsession import poll  # noqa: E402

BAR_X, BAR_Y = 300, 200
BAR_W, BAR_H = 401, 41
OPTIONS_XI, OPTIONS_YI = 40, 380  # the dialog whole on the 768-pixel screen

# Centres of the bar's buttons, in bar pixels.
PLAY = (134, 17)
PAUSE = (165, 17)
STOP = (196, 17)
FORWARD = (258, 17)

WAIT = 20  # seconds for anything the program is asked to do
SPEECH_WAIT = 60  # seconds for a spoken text to end
TIMED_CHECK_WAIT = 100  # the interval is one minute

# -- what a listener hears ----------------------------------------------------------------------

CR = "\\r"  # how the transcript writes a carriage return
CRLF = "\\r\\n"

GREETINGS = {h: "Goedemorgen" for h in range(12)}
GREETINGS.update({h: "Goedemiddag" for h in range(12, 18)})
GREETINGS.update({h: "Goedenavond" for h in range(18, 24)})

# The list line of each message, as sender name and cleaned subject, in the order the server
# numbers them (tools/demo/mailbox, in name order). Names: "Mulder, Lotte" loses its quotes
# and its comma turns into a blank; a bare address gives the part before "@" with its dot as
# a blank. Subjects: "Re:" goes, encoded words are decoded.
LISTED = [
    ("Wim de Boer", "Verjaardag van oma op zondag"),
    ("Eline Smit", "Idee\u00ebn voor het voorjaarsconcert"),
    ("Tuincentrum De Groene Vinger", "Nieuwsbrief maart: tijd om te zaaien"),
    ("Pieter Hendriks", "Uitnodiging: Bouwoverleg verbouwing Parkstraat"),
    ("Rachel Thompson", "Conference in Rotterdam: travel details"),
    ("Camille Dubois", "R\u00e9union du comit\u00e9 \u00e0 Lille"),
    ("Installatiebedrijf Vos", "Factuur 2025-0142"),
    ("oma jansen", ""),
    ("Jeroen Bakker", "Fietstocht zaterdag"),
    ("Mulder  Lotte", "Bezichtiging Lindelaan 14"),
]

# The message that arrives while the program runs.
ARRIVING = (b"From: Anna de Vries <anna.devries@example.nl>\r\n"
            b"To: Sanne Visser <sanne@example.nl>\r\n"
            b"Subject: Re: Koffie morgen\r\n"
            b"Date: Sat, 22 Mar 2025 08:00:00 +0100\r\n"
            b"Message-ID: <koffie-morgen@example.nl>\r\n"
            b"MIME-Version: 1.0\r\n"
            b"Content-Type: text/plain; charset=us-ascii\r\n"
            b"\r\n"
            b"Hoi Sanne,\r\n\r\nZie ik je morgen bij de bakker?\r\n\r\nAnna\r\n")
ARRIVING_LISTED = ("Anna de Vries", "Koffie morgen")


def header(position, listed):
    name, subject = listed
    return (f"{position}. Van {name}. " +
            (f"Onderwerp: {subject}" if subject else "\\+Geen onderwerp"))


def body(*lines):
    """A reading as the program hands it over: each line ended by CR LF."""
    return "".join(line + CRLF for line in lines)


# The reply (09) as the preprocessor leaves it: the signature after "-- " is not read, the
# wrapped paragraphs are joined, a name alone on its line gets a full stop, the address in the
# introduction of the quote is spoken, and its date and time are read in words.
REPLY_OWN_TEXT = (
    "Hoi Sanne,",
    "",
    "Goed plan! Ik fiets mee, maar ik ben er pas om half tien. Zullen we elkaar bij de molen "
    "in Haastrecht treffen? Dan eet ik onderweg een broodje.",
    "",
    "Groet,",
    "Jeroen.",
)
REPLY_QUOTED_TEXT = (
    "",
    "Op donderdag twintig maart tweeduizend vijfentwintig om eenentwintig uur vier schreef "
    "Sanne Visser sanne apenstaartje example punt n l:",
    "Hoi allemaal,",
    "",
    "Zaterdag fietsen we naar Gouda. We vertrekken om negen uur bij het station. Neem een "
    "regenjas mee, het wordt wisselvallig.",
    "",
    "Groetjes,",
    "Sanne.",
)

# Message 1 (10, multipart/alternative) as read: the plain part (the HTML part says the same),
# its wrapped paragraph joined (the date at the start of a line goes on with the sentence), its
# numbers in words, its link as where it goes, the name under the closing, and not the address
# block and the disclaimer under it.
MESSAGE_1_TEXT = (
    "Beste mevrouw Visser,",
    "",
    "Dank u voor uw belangstelling voor de woning aan de Lindelaan veertien in Amersfoort. U bent "
    "van harte welkom voor een bezichtiging op woensdag zesentwintig maart om half vijf. De "
    "huidige bewoners zijn dan niet thuis, dus u kunt rustig rondkijken.",
    "",
    "De brochure met de plattegronden vindt u op onze website:",
    "mulder makelaars punt example punt n l.",
    "",
    "Kunt u laten weten of dit tijdstip u schikt?",
    "",
    "Met vriendelijke groet,",
    "",
    "Lotte Mulder.",
)

# The invitation (04): its "When:" line, wrapped onto a second line, and its "Where:" line.
INVITATION = ("Wanneer: Donderdag 13 Maart 2025 van 10:00 tot 11:00. "
              "Plaats: Bouwkeet Parkstraat 8, Utrecht")

# The English (05) and French (06) messages as read in their own language: cleaned and their
# paragraphs joined, their numbers left to the voice of their language.
ENGLISH_TEXT = (
    "Hi Sanne,",
    "",
    "Thanks again for agreeing to speak at the logistics conference in Rotterdam. Your train "
    "from Utrecht arrives at 8:40, and a colleague will meet you at the main entrance of the "
    "venue. Your talk is scheduled right after the coffee break, so there is plenty of time to "
    "set up your slides.",
    "",
    "Could you send me a short biography by the end of the week?",
    "",
    "Best wishes,",
    "Rachel.",
)
FRENCH_TEXT = (
    "Bonjour Sanne,",
    "",
    "Je vous confirme la r\u00e9union du comit\u00e9 de jumelage \u00e0 Lille le mardi 25 mars, "
    "\u00e0 quatorze heures, dans la salle du conseil de la mairie. Nous parlerons du programme "
    "de l'\u00e9t\u00e9 et de la visite de la chorale n\u00e9erlandaise.",
    "",
    "N'h\u00e9sitez pas \u00e0 m'appeler si vous avez des questions.",
    "",
    "Bien cordialement,",
    "Camille Dubois.",
)

NO_NEW_MAIL = "Er zijn \\+geen \\-nieuwe berichten"
NOT_DUTCH = "dit \\-bericht is \\-waarschijnlijk \\+niet in het Nederlands \\-gesteld"
TRY_AGAIN_LATER = "Ik kan de e-mailserver nu niet bereiken, ik probeer het straks opnieuw"
CANNOT_LOG_IN = "Ik kan niet \\+in \\-loggen op de e-mailserver. Controleer naam en wachtwoord"

POP3_FETCH = re.compile(r"POP3 (RETR|TOP|USER|PASS|STAT)\b.*")


def greeting_of(stamp):
    """The greeting for a transcript time stamp ("YYYY-MM-DD HH:MM:SS...")."""
    hour = int(stamp[11:13])
    allowed = {GREETINGS[hour]}
    # The hour is read a moment before the text is stamped.
    if stamp[14:19] == "00:00":
        allowed.add(GREETINGS[(hour - 1) % 24])
    return {f"{g}!{CR}Hier spreekt Tolvani!" for g in allowed}


# -- the test ---------------------------------------------------------------------------------

class EndToEnd(GuiTest):
    """The steps run in name order and build on each other; a step whose predecessor failed
    fails too."""

    prefix = "brevon-e2e-"
    dovecot = True
    brevon = None  # the program run of the current steps

    def setUp(self):
        if EndToEnd.failed:
            self.fail(f"an earlier step failed ({EndToEnd.failed}), so this one cannot run")

    # -- helpers

    @classmethod
    def start_brevon(cls, name, settings):
        """Starts one run of the program after changing the settings as the user's own tool
        would; the folders of an earlier run, and so its settings and message lists, stay."""
        if cls.brevon and cls.brevon.proc.poll() is None:
            raise AssertionError(f"{cls.brevon.name} still runs")
        cls.brevon = cls.stage.brevon(name)
        cls.change_settings(cls.brevon, settings)
        cls.brevon.start()
        return cls.brevon

    @classmethod
    def change_settings(cls, b, values):
        if not cls.args.brevon_config:
            stored = read_settings(b.settings_file) if os.path.exists(b.settings_file) else {}
            for name, value in values.items():
                stored[name] = (scramble_password(value.encode("cp1252"))
                                if name == "Password" else value)
            write_settings(b.settings_file, stored)
            return
        for name, value in values.items():
            if isinstance(value, bool):
                value = int(value)
            # The password goes in on standard input, never on the command line.
            secret = name == "Password"
            result = subprocess.run(
                [cls.args.brevon_config, "--config-dir", b.config_dir, "set", name,
                 "-" if secret else str(value)],
                input=(value + "\n").encode() if secret else b"", capture_output=True,
                timeout=20)
            if result.returncode != 0:
                raise AssertionError(f"brevon-config set {name} ended with status "
                                     f"{result.returncode}: {result.stderr.decode()}")

    def shot(self, label):
        return self.shots.take(label)

    def bar_shot(self, label):
        return self.shots.take(label, crop=(BAR_X - 6, BAR_Y - 6, BAR_W + 12, BAR_H + 12),
                               zoom=2)

    def window_shot(self, label, window):
        return self.shots.around(label, window, zoom=2)

    def click_bar(self, point):
        self.session.click(BAR_X + point[0], BAR_Y + point[1])

    def expect_spoken(self, before, expected, timeout=SPEECH_WAIT):
        """Waits until len(expected) more texts have been spoken and asserts them exactly."""
        b = self.brevon
        texts = b.wait_spoken(before + len(expected), timeout=timeout)
        self.assertEqual(texts[before:], list(expected))
        return texts

    def wait_trace(self, pattern, after, timeout=WAIT):
        return self.brevon.wait_trace(pattern, after=after, timeout=timeout)

    def trace_len(self):
        return len(self.brevon.trace())

    def tray_menu(self):
        """Opens the tray menu; returns the states of its items."""
        return self.brevon.tray_menu(WAIT)[0]

    def toggle_offline(self):
        """Clicks "Offline werken" in the tray menu; returns the item states the menu showed
        and the trace length before the click."""
        states = self.tray_menu()
        after = self.trace_len()
        # The second item; it has no accelerator.
        self.session.key("Down", "Down", "Return")
        return states, after

    def options(self):
        """The options opened by a click on the settings word."""
        return self.brevon.options_from_bar((BAR_X, BAR_Y), WAIT)

    def wait_idle_after(self, after):
        """Waits for the end of a mail check that started after trace line after: the mail
        timer on again, whatever the check said."""
        return self.wait_trace(r"SetMailTimer on \d+", after)

    def header_spoken_count(self):
        return self.brevon.trace().count("Header spoken")

    def forward_and_hear(self, position, listed):
        """Forward on the bar: the next message's header sentence, spoken to its end. Returns
        when that end was seen (monotonic time)."""
        b = self.brevon
        before = len(b.texts())
        after = self.trace_len()
        self.click_bar(FORWARD)
        self.wait_trace("NextMessage", after)
        self.expect_spoken(before, [header(position, listed)])
        self.wait_trace("Header spoken", after, timeout=SPEECH_WAIT)
        return time.monotonic()

    def play_and_hear(self, expected, header_ended=None, to_the_end=True):
        """Play on the bar: expected is what is read (a list: the texts said in turn). When a
        header sentence ended at header_ended, play comes within its ten seconds, so no header
        is read again."""
        b = self.brevon
        before = len(b.texts())
        after = self.trace_len()
        self.click_bar(PLAY)
        if header_ended is not None:
            self.assertLess(time.monotonic() - header_ended, 8,
                            "play came too late for the ten seconds after a header sentence")
        self.wait_trace("PlayMessage", after)
        self.expect_spoken(before, expected if isinstance(expected, list) else [expected])
        if to_the_end:
            self.wait_trace("Body spoken", after, timeout=SPEECH_WAIT)
        return after

    # -- the first run: everything is new

    def test_01_greeting_then_every_message_announced(self):
        server = EndToEnd.server
        b = self.start_brevon("run1", {
            **USER_SETTINGS, "X": BAR_X, "Y": BAR_Y, "XI": OPTIONS_XI, "YI": OPTIONS_YI,
            "Host": server.host, "User": server.user, "Password": server.password,
            "Beveiliging": "SSL/TLS", "Poort": str(server.tls_port),
        })
        texts = b.wait_spoken(1 + len(LISTED), timeout=SPEECH_WAIT)
        self.assertIn(texts[0], greeting_of(b.spoken()[0][0]), "the greeting comes first")
        # Highest message numbers first: position 1 is the message delivered last.
        newest_first = list(reversed(LISTED))
        expected = ["Er zijn 10 nieuwe berichten" + CR + header(1, newest_first[0])]
        expected += [header(k, listed) for k, listed in enumerate(newest_first[1:], start=2)]
        self.assertEqual(texts[1:], expected)
        poll("the end of the tenth header sentence", lambda: self.header_spoken_count() >= 10,
             SPEECH_WAIT)
        b.wait_window("Brevon")
        self.bar_shot("run1-announced")
        lines = b.trace()
        self.assertEqual([line for line in lines if line.startswith("POP3 TOP")],
                         [f"POP3 TOP {n} 0" for n in range(10, 0, -1)],
                         "every header fetched once, highest number first")
        self.assertNotIn("POP3 RETR", " ".join(lines))
        self.assertEqual(len(b.texts()), 1 + len(LISTED), "nothing more was said")

    def test_02_play_reads_message_1_then_stop(self):
        b = self.brevon
        before = len(b.texts())
        after = self.trace_len()
        self.click_bar(PLAY)
        self.wait_trace("PlayMessage", after)
        texts = b.wait_spoken(before + 1, timeout=SPEECH_WAIT)
        self.bar_shot("run1-reading-message-1")
        self.click_bar(STOP)
        stop = self.wait_trace("StopReading", after)[0]
        self.wait_trace("Body spoken", stop)
        self.bar_shot("run1-stopped")
        self.assertEqual([line for line in b.trace()[after:] if line.startswith("POP3 RETR")],
                         ["POP3 RETR 10"], "message 1 is number 10 on the server")
        # Read with its header sentence: after a sequence of several, the header comes again.
        self.assertEqual(texts[before], header(1, LISTED[9]) + CR + body(*MESSAGE_1_TEXT))

    def test_03_forward_then_pause_and_play_resume_without_a_new_fetch(self):
        b = self.brevon
        ended = self.forward_and_hear(2, LISTED[8])
        # Within the ten seconds after a header sentence, play reads without it.
        played = self.play_and_hear(body(*REPLY_OWN_TEXT, *REPLY_QUOTED_TEXT),
                                    header_ended=ended, to_the_end=False)
        self.assertEqual([line for line in b.trace()[played:] if line.startswith("POP3 RETR")],
                         ["POP3 RETR 9"])
        self.click_bar(PAUSE)
        paused = self.wait_trace("PauseReading", played)[0]
        self.assertNotIn("Body spoken", b.trace()[played:paused],
                         "the reading is still going when pause is pressed")
        self.bar_shot("run1-paused")
        states = self.tray_menu()
        self.shot("run1-paused-tray-menu")
        self.session.key("Escape")
        self.assertEqual((states["Leesvoor1"], states["Pauzeervoorlezen1"], states["stop1"]),
                         ("on", "off", "on"), states)
        spoken = len(b.texts())
        resume = self.trace_len()
        self.assertNotIn("Body spoken", b.trace()[paused:], "paused speech does not end")
        self.click_bar(PLAY)
        self.wait_trace("PlayMessage", resume)
        self.wait_trace("Body spoken", resume, timeout=SPEECH_WAIT)
        self.assertFalse([line for line in b.trace()[paused:] if POP3_FETCH.fullmatch(line)],
                         "play resumed the paused reading: no new connection, no new fetch")
        self.assertEqual(len(b.texts()), spoken, "nothing was said anew")
        self.bar_shot("run1-resumed-and-ended")

    def test_04_offline_and_online_again_from_the_tray_a_silent_check(self):
        b = self.brevon
        spoken = len(b.texts())
        states, after = self.toggle_offline()
        self.assertNotIn("checked", states["offline1"], "online: no check mark")
        self.wait_trace("SetOnline off", after)
        self.wait_trace("SetMailTimer off", after)
        states = self.tray_menu()
        self.shot("run1-offline-tray-menu")
        self.assertIn("checked", states["offline1"], "offline: the check mark")
        after = self.trace_len()
        self.session.key("Down", "Down", "Return")
        self.wait_trace("SetOnline on", after)
        check = self.wait_trace("CheckMail", after)[0]
        self.wait_trace("POP3 QUIT", check)
        self.wait_idle_after(check)
        lines = b.trace()[check:]
        self.assertIn("POP3 STAT", lines)
        self.assertFalse([line for line in lines if re.match(r"POP3 (TOP|RETR)", line)], lines)
        self.assertEqual(len(b.texts()), spoken, "a check with nothing new says nothing")
        self.bar_shot("run1-online-again")

    def test_05_options_set_a_one_minute_interval(self):
        b = self.brevon
        after = self.trace_len()
        dialog = self.options()
        self.window_shot("run1-options", dialog)
        self.assertEqual((dialog.x, dialog.y), (OPTIONS_XI, OPTIONS_YI))
        # Into the host field, then past security, port, user and password to the interval.
        b.options_field(dialog, 5)
        self.session.type_text("1")
        self.window_shot("run1-options-interval-1", dialog)
        ok = self.trace_len()
        self.session.key("Return")
        b.wait_gone(dialog.wid, "the options dialog")
        self.wait_trace("SetMailTimer on 60000", ok)
        self.assertNotIn("CheckMail", b.trace()[after:], "only the interval changed: no check")

    def test_06_a_message_that_arrives_is_announced_at_the_next_timed_check(self):
        b = self.brevon
        spoken = len(b.texts())
        after = self.trace_len()
        EndToEnd.server.add_message(ARRIVING)
        check = self.wait_trace("CheckMail", after, timeout=TIMED_CHECK_WAIT)[0]
        self.assertNotIn("SetOnline on", b.trace()[after:check], "the timer started it")
        self.expect_spoken(spoken, ["Er is een nieuw bericht" + CR + header(1, ARRIVING_LISTED)])
        self.wait_trace("Header spoken", check, timeout=SPEECH_WAIT)
        self.bar_shot("run1-new-message-announced")
        self.assertEqual([line for line in b.trace()[check:] if line.startswith("POP3 TOP")],
                         ["POP3 TOP 11 0"], "only the new message's header is fetched")

    def test_07_server_gone_said_once_and_tried_again_without_the_dialog(self):
        b = self.brevon
        EndToEnd.server.stop()
        spoken = len(b.texts())
        _, after = self.toggle_offline()
        self.wait_trace("SetOnline off", after)
        _, after = self.toggle_offline()
        self.wait_trace("SetOnline on", after)
        check = self.wait_trace("CheckMail", after)[0]
        # The mailbox was reached with these settings: a passing failure, tried again soon.
        self.expect_spoken(spoken, [TRY_AGAIN_LATER])
        self.wait_trace(r"Status .* Next try in 1 min\.", check)
        self.wait_trace("SetMailTimer on 60000", check)
        self.assertNotIn("ShowOptions", b.trace()[check:], "a mailbox reached before: no dialog")
        self.bar_shot("run1-server-gone-tried-again-soon")
        # The options, opened by hand, for the next step.
        after = self.trace_len()
        dialog = self.options()
        self.window_shot("run1-options-while-the-server-is-gone", dialog)
        EndToEnd.dialog = dialog

    def test_08_a_wrong_password_typed_in_the_options_then_the_right_one(self):
        b = self.brevon
        server = EndToEnd.server
        server.start()
        dialog = EndToEnd.dialog
        spoken = len(b.texts())
        # From the host field past security, port and user to the password.
        b.options_field(dialog, 4)
        self.session.type_text("verkeerd")
        ok = self.trace_len()
        self.session.key("Return")
        self.wait_trace("POP3 PASS \\*\\*\\*\\*", ok)
        self.expect_spoken(spoken, [CANNOT_LOG_IN])
        self.wait_trace("Options page Verbinding, focus EditUserId", ok)
        self.assertTrue(b.session.is_viewable(dialog.wid), "the dialog stays open")
        self.window_shot("run1-options-after-login-failure", dialog)

        b.options_field(dialog, 4)
        self.session.type_text(server.password)
        ok = self.trace_len()
        self.session.key("Return")
        check = self.wait_trace("CheckMail", ok)[0]
        self.wait_trace("POP3 QUIT", check)
        b.wait_gone(dialog.wid, "the options dialog")
        self.wait_trace("SetMailTimer on 60000", check)
        self.assertEqual(len(b.texts()), spoken + 1, "the check that works says nothing")
        self.bar_shot("run1-online-with-the-right-password")

    def test_09_exit_run_1(self):
        b = self.brevon
        states = self.brevon.close_from_tray(WAIT)
        self.assertNotIn("checked", states["offline1"], "online again after the right password")
        self.shot("run1-ended")
        saved = read_settings(b.settings_file)
        self.assertEqual(saved["Interval in minuten"], 1)
        self.assertEqual(saved["Password"], scramble_password(EndToEnd.server.password.encode()))

    # -- the second run: read only Dutch, without quoted text

    def test_10_nothing_new_said_after_the_greeting(self):
        b = self.start_brevon("run2", {"SkipReply": True, "UseLid": True,
                                       "Interval in minuten": 5})
        texts = b.wait_spoken(2, timeout=SPEECH_WAIT)
        self.assertIn(texts[0], greeting_of(b.spoken()[0][0]))
        self.assertEqual(texts[1:], [NO_NEW_MAIL])
        self.wait_trace("SetMailTimer on 300000", self.brevon.trace().index("CheckMail"))
        b.wait_window("Brevon")
        self.bar_shot("run2-started")
        self.assertFalse([line for line in b.trace() if re.match(r"POP3 (TOP|RETR)", line)],
                         "all eleven were listed before")

    # Positions now: 1 the message that arrived, then the ten of the mailbox, newest first.

    def test_11_the_reply_without_its_quoted_text(self):
        self.forward_and_hear(2, LISTED[9])
        ended = self.forward_and_hear(3, LISTED[8])
        self.play_and_hear(body(*REPLY_OWN_TEXT), header_ended=ended)
        self.bar_shot("run2-reply-read")

    def test_12_the_french_message_is_not_dutch(self):
        self.forward_and_hear(4, LISTED[7])
        self.forward_and_hear(5, LISTED[6])
        ended = self.forward_and_hear(6, LISTED[5])
        self.play_and_hear(body(NOT_DUTCH), header_ended=ended)
        self.bar_shot("run2-french-message-read")

    def test_13_the_invitation_as_one_sentence(self):
        self.forward_and_hear(7, LISTED[4])
        ended = self.forward_and_hear(8, LISTED[3])
        self.play_and_hear(body(INVITATION), header_ended=ended)
        self.bar_shot("run2-invitation-read")

    def test_14_exit_run_2(self):
        self.brevon.close_from_tray(WAIT)
        self.shot("after-exit")
        saved = read_settings(self.brevon.settings_file)
        self.assertEqual(saved.get("EigenTaal"), 0, "off unless chosen")

    # -- the third run: mail in the other five languages read in their own, the gate still on

    def test_15_start_run_3(self):
        b = self.start_brevon("run3", {"EigenTaal": True})
        texts = b.wait_spoken(2, timeout=SPEECH_WAIT)
        self.assertEqual(texts[1:], [NO_NEW_MAIL])
        self.wait_trace("SetMailTimer on 300000", self.brevon.trace().index("CheckMail"))
        b.wait_window("Brevon")

    def play_in_own_language(self, lead_in, text, language, header_ended):
        """Play: the lead-in in Dutch, said to nobody, then the body in its language, its end
        told to the bar."""
        b = self.brevon
        before = len(b.spoken_in())
        self.play_and_hear([lead_in, text], header_ended=header_ended)
        said = b.spoken_in()[before:]
        self.assertEqual([line[3] for line in said], ["nl", language])
        self.assertEqual(said[0][1], "none")
        self.assertNotEqual(said[1][1], "none")

    def test_16_the_french_message_in_french(self):
        for position in range(2, 6):
            self.forward_and_hear(position, LISTED[11 - position])
        ended = self.forward_and_hear(6, LISTED[5])
        self.play_in_own_language("Dit bericht is in het Frans.", body(*FRENCH_TEXT), "fr",
                                  ended)

    def test_17_the_english_message_in_english(self):
        ended = self.forward_and_hear(7, LISTED[4])
        self.play_in_own_language("Dit bericht is in het Engels.", body(*ENGLISH_TEXT), "en",
                                  ended)
        self.bar_shot("run3-english-message-read")

    def test_17b_global_keys_skip_play_pause_and_stop_from_the_keyboard_alone(self):
        # Default keys, grabbed on the root window: no click, no focus on brevon needed.
        b = self.brevon
        after = self.trace_len()
        self.session.key("ctrl+alt+shift+l")
        self.wait_trace("NextMessage", after)
        self.wait_trace("Header spoken", after, timeout=SPEECH_WAIT)
        played = self.trace_len()
        before = len(b.texts())
        self.session.key("ctrl+alt+shift+p")
        self.wait_trace("PlayMessage", played)
        b.wait_spoken(before + 1, timeout=SPEECH_WAIT)
        self.session.key("ctrl+alt+shift+p")  # the same key pauses
        paused = self.wait_trace("PauseReading", played)[0]
        self.session.key("ctrl+alt+shift+p")  # and plays on
        self.wait_trace("PlayMessage", paused + 1)
        self.session.key("ctrl+alt+shift+s")
        self.wait_trace("StopReading", paused + 1)
        keys = [line for line in b.trace()[after:] if line.startswith("Global key")]
        self.assertEqual(keys, ["Global key Ctrl+Alt+Shift+L"] +
                         ["Global key Ctrl+Alt+Shift+P"] * 3 + ["Global key Ctrl+Alt+Shift+S"])

    def test_18_exit_run_3(self):
        self.brevon.close_from_tray(WAIT)
        saved = read_settings(self.brevon.settings_file)
        self.assertEqual((saved["EigenTaal"], saved["UseLid"]), (1, 1))


if __name__ == "__main__":
    main(__doc__, lambda parser: parser.add_argument(
        "--brevon-config", help="the settings tool; without it the test writes the settings "
        "file itself"))
