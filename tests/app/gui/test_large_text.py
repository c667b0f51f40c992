#!/usr/bin/env python3
"""brevon for people who see poorly: the real program under its own Xvfb with trayer, once with
24 pt fonts (the desktop's font setting, as a KDE session hands it to Qt) and once on a screen
scaled by 2 (QT_SCALE_FACTOR). The bar keeps its design (401 x 41, twice that when scaled) and is
drawn sharp from its fine pictures; the options dialog opens whole on the screen, each page of it
shown. Every step leaves a screenshot for a person to look at.

Usage:

    test_large_text.py --brevon build/app/brevon --shots DIR [unittest options]
"""

import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(HERE)))
sys.path.insert(0, HERE)

from brevon_gui import (Brevon, Shots, end_session_folder, parse_test_args,  # noqa: E402
                        scramble_password, write_settings)
from test_shell import EmptyMailbox  # noqa: E402
from xsession import SCREEN_HEIGHT, SCREEN_WIDTH, Image, XSession, poll  # noqa: E402

ARGS = None
WAIT = 20
BAR_X, BAR_Y = 40, 40
PAGES = ["Verbinding", "Uitspraak", "Algemeen", "Sneltoetsen"]

# name, extra environment, the desktop's font setting (None: the default), scale
SETUPS = [
    ("24pt", {}, "DejaVu Sans,24,-1,5,50,0,0,0,0,0", 1),
    ("scale2", {"QT_SCALE_FACTOR": "2"}, None, 2),
]


def design_picture(name):
    """A picture of the bar as drawn for the program, read with ImageMagick."""
    data = subprocess.run(["convert", os.path.join(SOURCE, "resources", "images", name),
                           "-background", "#ff00ff", "-flatten", "-depth", "8", "ppm:-"],
                          capture_output=True, check=True, timeout=20).stdout
    return Image.from_ppm(data)


class LargeText(unittest.TestCase):
    tmp = session = mailbox = None
    runs = []

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="brevon-large-")
        try:
            cls.mailbox = EmptyMailbox()
            cls.session = XSession(cls.tmp)
            cls.session.start()
            cls.shots = Shots(cls.session, ARGS.shots)
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        for run in cls.runs:
            run.report()
        if cls.session:
            cls.session.close()
        if cls.mailbox:
            cls.mailbox.close()
        end_session_folder(cls.tmp, ARGS.keep)

    def start(self, name, env, font):
        root = os.path.join(self.tmp, name)
        env = dict(env)
        if font:
            # Qt reads a KDE session's font from kdeglobals in the configuration folder.
            env.update({"XDG_CURRENT_DESKTOP": "KDE", "KDE_SESSION_VERSION": "5",
                        "KDE_FULL_SESSION": "true"})
            os.makedirs(os.path.join(root, "config"), exist_ok=True)
            with open(os.path.join(root, "config", "kdeglobals"), "w", encoding="ascii") as f:
                f.write(f"[General]\nfont={font}\nmenuFont={font}\nsmallestReadableFont={font}\n"
                        f"toolBarFont={font}\n")
        b = Brevon(self.session, ARGS.brevon, root, name=name, speech_speed=ARGS.speech_speed,
                   env=env)
        write_settings(b.settings_file, {
            "Host": "127.0.0.1", "Beveiliging": "Geen", "Poort": str(self.mailbox.port),
            "User": "jansen", "Password": scramble_password(b"geheim12"), "ShowWindow": True,
            "X": BAR_X, "Y": BAR_Y, "XI": 10, "YI": 100})
        self.runs.append(b)
        b.start()
        first = b.wait_trace("CheckMail", timeout=WAIT)[0]
        b.wait_trace(r"SetMailTimer on \d+", first, timeout=WAIT)
        return b

    def focused(self):
        return self.session._run(["xdotool", "getwindowfocus"]).stdout.decode().strip()

    def open_options(self, b, bar):
        """The options through keys: the bar's global key, its menu, "&Instellingen"."""
        after = len(b.trace())
        self.session.key("ctrl+alt+shift+b")
        poll("the bar to hold the focus", lambda: self.focused() == str(bar.wid), WAIT)
        self.session.key("Menu")
        b.wait_trace(r"Menu .*", after, timeout=WAIT)
        self.session.key("i")
        b.wait_trace("ShowOptions", after, timeout=WAIT)
        dialog = b.wait_window("Instellingen", timeout=WAIT)
        poll("the options to hold the focus", lambda: self.focused() == str(dialog.wid), WAIT)
        return dialog

    def test_the_bar_and_the_options_at_large_text_and_on_a_scaled_screen(self):
        for name, env, font, scale in SETUPS:
            with self.subTest(setup=name):
                b = self.start(name, env, font)
                bar = b.wait_window("Brevon", timeout=WAIT)
                self.assertEqual((bar.x, bar.y, bar.width, bar.height),
                                 (BAR_X * scale, BAR_Y * scale, 401 * scale, 41 * scale))
                # Sharp: the left panel (logo and name, no button on it) is the picture drawn
                # for this density, pixel for pixel, not a small one stretched. On a busy
                # machine the window can be mapped before its first paint: looked at until
                # it shows the picture, or until the wait is over.
                drawn = design_picture("bar@2x.png" if scale == 2 else "bar.png")
                panel = 104 * scale
                want = drawn.crop(0, 0, panel, bar.height).rgb
                try:
                    poll("the bar's panel drawn", lambda: self.session.screenshot().crop(
                        bar.x, bar.y, panel, bar.height).rgb == want, WAIT, interval=0.2)
                except TimeoutError:
                    pass  # the comparison below says what differs
                shown = self.shots.take(f"{name}-bar", crop=(bar.x - 4, bar.y - 4,
                                                             bar.width + 8, bar.height + 8))
                self.assertEqual(shown.crop(bar.x, bar.y, panel, bar.height).rgb, want)

                dialog = self.open_options(b, bar)
                self.assertLessEqual(dialog.x + dialog.width, SCREEN_WIDTH, "whole on screen")
                self.assertLessEqual(dialog.y + dialog.height, SCREEN_HEIGHT, "whole on screen")
                for page in PAGES:
                    # Ctrl+Tab goes to the next page; the first is shown as the dialog opens.
                    if page != PAGES[0]:
                        self.session.key("ctrl+Tab")
                    poll(f"the page {page}", lambda: dialog.wid in {
                        w.wid for w in b.windows(name="Instellingen")}, WAIT)
                    self.shots.take(f"{name}-options-{page}",
                                    crop=(dialog.x - 4, dialog.y - 4, dialog.width + 8,
                                          dialog.height + 8))
                self.session.key("Escape")
                b.wait_gone(dialog.wid, "the options dialog", timeout=WAIT)
                self.session.end_process(b.proc)


def main():
    global ARGS
    ARGS, argv = parse_test_args(__doc__)
    unittest.main(argv=argv, verbosity=2)


if __name__ == "__main__":
    main()
