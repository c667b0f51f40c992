#!/usr/bin/env python3
"""brevon set up without a mouse: the real program under its own Xvfb with trayer, driven only
by key events (xdotool key and type; the pointer is never moved or clicked). A global key gives
the bar the focus, the Menu key opens the tray's menu on it, its "&Instellingen" opens the
options, the connection fields are filled through their Alt+letters and Tab, and Enter accepts:
the settings file holds what was typed, and the next check goes to the server typed in.

Two POP3 stubs on 127.0.0.1 stand for the old and the new mailbox. Usage:

    test_keyboard.py --brevon build/app/brevon [--shots DIR] [unittest options]
"""

import os
import re
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from brevon_gui import (Brevon, Shots, end_session_folder, parse_test_args,  # noqa: E402
                        read_settings, scramble_password, write_settings)
from test_shell import EmptyMailbox  # noqa: E402
from xsession import XSession, poll  # noqa: E402

ARGS = None
WAIT = 20  # seconds for anything the program is asked to do
BAR_X, BAR_Y = 300, 200
OPTIONS_XI, OPTIONS_YI = 40, 300


class KeyboardOnly(unittest.TestCase):
    tmp = session = brevon = None
    mailboxes = []

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="brevon-keys-")
        try:
            cls.old, cls.new = EmptyMailbox(), EmptyMailbox()
            cls.mailboxes = [cls.old, cls.new]
            cls.session = XSession(cls.tmp)
            cls.session.start()
            cls.shots = Shots(cls.session, ARGS.shots)
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        if cls.brevon:
            cls.brevon.report()
        if cls.session:
            cls.session.close()
        for mailbox in cls.mailboxes:
            mailbox.close()
        end_session_folder(cls.tmp, ARGS.keep)

    def keys(self, *keys):
        self.session.key(*keys)

    def test_the_options_are_reached_filled_and_accepted_by_keys_alone(self):
        b = KeyboardOnly.brevon = Brevon(self.session, ARGS.brevon, self.tmp,
                                         speech_speed=ARGS.speech_speed)
        write_settings(b.settings_file, {
            "Host": "127.0.0.1", "Beveiliging": "Geen", "Poort": str(self.old.port),
            "User": "oud", "Password": scramble_password(b"oud"), "ShowWindow": True,
            "X": BAR_X, "Y": BAR_Y, "XI": OPTIONS_XI, "YI": OPTIONS_YI})
        pointer = self.session.mouse_position()
        b.start()
        b.wait_trace("Greeting ended")
        first = b.wait_trace("CheckMail")[0]
        b.wait_trace(r"SetMailTimer on \d+", first, timeout=WAIT)
        self.assertIn("USER", self.old.commands)

        # The global key shows the bar with the focus on it; the Menu key opens the tray's menu
        # below it, and its "&Instellingen" opens the options on the connection page.
        after = len(b.trace())
        self.keys("ctrl+alt+shift+b")
        b.wait_trace(re.escape("Global key Ctrl+Alt+Shift+B"), after, timeout=WAIT)
        bar = b.wait_window("Brevon", timeout=WAIT)
        poll("the bar to hold the keyboard's focus", lambda: self.session._run(
            ["xdotool", "getwindowfocus"]).stdout.decode().strip() == str(bar.wid), WAIT)
        after = len(b.trace())
        self.keys("Menu")
        b.wait_trace(r"Menu .*", after, timeout=WAIT)
        self.keys("i")
        b.wait_trace("ShowOptions", after, timeout=WAIT)
        dialog = b.wait_window("Instellingen", timeout=WAIT)
        poll("the options to hold the keyboard's focus", lambda: self.session._run(
            ["xdotool", "getwindowfocus"]).stdout.decode().strip() == str(dialog.wid), WAIT)

        # Each field by its Alt+letter (Tab from the port to the user name), its old text
        # selected and typed over.
        for keys, text in ((["alt+p"], "127.0.0.1"), (["alt+r"], str(self.new.port)),
                           (["Tab"], "jansen"), (["alt+w"], "geheim12")):
            self.keys(*keys, "ctrl+a")
            self.session.type_text(text)
        self.shots.take("options-filled-by-keys", crop=(dialog.x - 4, dialog.y - 4,
                                                        dialog.width + 8, dialog.height + 8))
        after = len(b.trace())
        self.keys("Return")
        check = b.wait_trace("CheckMail", after, timeout=WAIT)[0]
        b.wait_trace(r"SetMailTimer on \d+", check, timeout=WAIT)
        b.wait_gone(dialog.wid, "the options dialog", timeout=WAIT)

        saved = read_settings(b.settings_file)
        self.assertEqual((saved["Host"], saved["Poort"], saved["User"], saved["Password"]),
                         (b"127.0.0.1", str(self.new.port).encode(), b"jansen",
                          scramble_password(b"geheim12")))
        self.assertIn("USER", self.new.commands, "the check went to the server typed in")
        self.assertEqual(self.session.mouse_position(), pointer, "the pointer never moved")


def main():
    global ARGS
    ARGS, argv = parse_test_args(__doc__)
    unittest.main(argv=argv, verbosity=2)


if __name__ == "__main__":
    main()
