#!/usr/bin/env python3
"""brevon as the desktop's media controls see it: the real program under its own Xvfb with
trayer, a session bus of the test's own and a real Dovecot with three messages, steered only
through MPRIS 2 with gdbus, as a media key or a media applet would. PlayPause reads and pauses,
Next goes to the next message, PlaybackStatus and Metadata follow, the desktop is told of each
change, a press on a disabled button is refused as a click is, and Quit ends the program as
"Sluiten" does. Usage:

    test_mpris.py --brevon build/app/brevon [unittest options]
"""

import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from brevon_gui import GuiTest, main  # noqa: E402
from xsession import poll  # noqa: E402
WAIT = 20  # seconds for anything the program is asked to do
SPEECH_WAIT = 60

SERVICE = "org.mpris.MediaPlayer2.brevon"
PLAYER = "org.mpris.MediaPlayer2.Player"

# Delivered in this order; announced and read highest number first, so the last one here is
# message 1 of the list.
MAILBOX = ["10-bezichtiging-alternative.eml", "09-antwoord-fietstocht.eml",
           "02-koor-utf8-8bit.eml"]
# Their list lines in reading order: sender name, subject.
LISTED = [("Eline Smit", "Idee\u00ebn voor het voorjaarsconcert"),
          ("Jeroen Bakker", "Fietstocht zaterdag"),
          ("Mulder  Lotte", "Bezichtiging Lindelaan 14")]


def header(position, listed):
    name, subject = listed
    return f"{position}. Van {name}. Onderwerp: {subject}"


class MediaControls(GuiTest):
    prefix = "brevon-mpris-"
    dovecot = True
    mailbox = MAILBOX
    bus = True
    brevon = None

    # -- a desktop applet's view

    def gdbus(self, *args):
        env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=self.stage.bus)
        result = subprocess.run(["gdbus", *args], env=env, capture_output=True, timeout=WAIT)
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        return result.stdout.decode()

    def call(self, method):
        return self.gdbus("call", "--session", "--dest", SERVICE, "--object-path",
                          "/org/mpris/MediaPlayer2", "--method", f"{PLAYER}.{method}")

    def get(self, prop, interface=PLAYER):
        return self.gdbus("call", "--session", "--dest", SERVICE, "--object-path",
                          "/org/mpris/MediaPlayer2", "--method",
                          "org.freedesktop.DBus.Properties.Get", interface, prop)

    def status(self):
        return re.fullmatch(r"\(<'(\w+)'>,\)\s*", self.get("PlaybackStatus")).group(1)

    def wait_status(self, expected):
        poll(f"PlaybackStatus {expected}", lambda: self.status() == expected, WAIT)

    def track(self):
        """(artist, title) of the current message as Metadata gives them."""
        metadata = self.get("Metadata")
        self.assertRegex(metadata, r"'mpris:trackid': <objectpath '/[\w/]+'>")
        artist = re.search(r"'xesam:artist': <\['([^']*)'\]>", metadata)
        title = re.search(r"'xesam:title': <'([^']*)'>", metadata)
        return (artist.group(1), title.group(1))

    def changes_heard(self):
        with open(os.path.join(self.tmp, "monitor.log"), encoding="utf-8") as f:
            return [line for line in f.read().splitlines() if "PropertiesChanged" in line]

    def refused(self, method, operation):
        """Calls method while its button is off: traced as refused, nothing done or said."""
        b = self.brevon
        after, said = len(b.trace()), len(b.texts())
        self.call(method)
        b.wait_trace(f"MPRIS {method} refused", after)
        self.assertNotIn(operation, b.trace()[after:])
        self.assertEqual(len(b.texts()), said)

    # -- the run

    def test_media_controls_steer_the_reading(self):
        b = MediaControls.brevon = self.stage.brevon(
            root=os.path.join(self.tmp, "run"),
            settings={**self.stage.account(), "ShowWindow": True, "X": 300, "Y": 200})
        b.start()
        b.wait_trace("MPRIS on")
        self.assertIn("'Brevon'", self.get("Identity", "org.mpris.MediaPlayer2"))
        self.assertIn("'brevon'", self.get("DesktopEntry", "org.mpris.MediaPlayer2"))
        self.session.spawn("monitor", ["gdbus", "monitor", "--session", "--dest", SERVICE],
                           env=dict(os.environ, DBUS_SESSION_BUS_ADDRESS=self.stage.bus))

        # The three messages announced; message 1 is current, nothing is read.
        poll("three header sentences spoken", lambda: b.trace().count("Header spoken") >= 3,
             SPEECH_WAIT)
        self.wait_status("Stopped")
        self.assertEqual(self.track(), LISTED[0], "UTF-8 at the bus")
        self.assertIn("true", self.get("CanPlay"))
        self.assertIn("false", self.get("CanGoPrevious"))

        # Disabled buttons: back at the first message, pause with nothing spoken.
        self.refused("Previous", "PreviousMessage")
        self.refused("Pause", "PauseReading")

        # PlayPause reads message 1, then pauses it.
        said = len(b.texts())
        after = len(b.trace())
        self.call("PlayPause")
        b.wait_trace("PlayMessage", after)
        texts = b.wait_spoken(said + 1, SPEECH_WAIT)
        self.assertTrue(texts[said].startswith(header(1, LISTED[0])), texts[said])
        self.wait_status("Playing")
        after = len(b.trace())
        self.call("PlayPause")
        b.wait_trace("PauseReading", after)
        self.wait_status("Paused")
        self.assertNotIn("Body spoken", b.trace()[after:], "paused before the reading ended")
        # As on the bar, forward stays off while a reading holds; Stop ends it.
        self.refused("Next", "NextMessage")
        after = len(b.trace())
        self.call("Stop")
        b.wait_trace("StopReading", after)
        b.wait_trace("Body spoken", after)
        self.wait_status("Stopped")

        # Next: the next message's header sentence, and it is the current one.
        said = len(b.texts())
        after = len(b.trace())
        self.call("Next")
        b.wait_trace("NextMessage", after)
        self.assertEqual(b.wait_spoken(said + 1, SPEECH_WAIT)[said], header(2, LISTED[1]))
        b.wait_trace("Header spoken", after, SPEECH_WAIT)
        self.assertEqual(self.track(), LISTED[1])
        self.wait_status("Stopped")

        # The desktop was told of each step without asking.
        changes = "\n".join(self.changes_heard())
        for status in ("Playing", "Paused", "Stopped"):
            self.assertIn(f"'PlaybackStatus': <'{status}'>", changes)
        self.assertIn(f"'xesam:title': <'{LISTED[1][1]}'>", changes)

        # Quit ends the program as "Sluiten" does.
        self.gdbus("call", "--session", "--dest", SERVICE, "--object-path",
                   "/org/mpris/MediaPlayer2", "--method", "org.mpris.MediaPlayer2.Quit")
        self.assertEqual(b.wait_exit(WAIT), 0, b.log())
        self.assertEqual(b.trace()[-1], "Shutdown")


if __name__ == "__main__":
    main(__doc__)
