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
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from brevon_gui import GuiTest, main, read_settings, scramble_password  # noqa: E402

WAIT = 20  # seconds for anything the program is asked to do
BAR_X, BAR_Y = 300, 200
OPTIONS_XI, OPTIONS_YI = 40, 300


class KeyboardOnly(GuiTest):
    prefix = "brevon-keys-"
    stubs = 2  # the old and the new mailbox

    def test_the_options_are_reached_filled_and_accepted_by_keys_alone(self):
        old, new = self.stage.stubs
        b = self.stage.brevon(settings={**old.account("oud", "oud"), "ShowWindow": True,
                                        "X": BAR_X, "Y": BAR_Y, "XI": OPTIONS_XI,
                                        "YI": OPTIONS_YI})
        pointer = self.session.mouse_position()
        b.start()
        b.wait_trace("Greeting ended")
        first = b.wait_trace("CheckMail")[0]
        b.wait_trace(r"SetMailTimer on \d+", first, timeout=WAIT)
        self.assertIn("USER", old.commands)

        # The global key shows the bar with the focus on it; the Menu key opens the tray's menu
        # below it, and its "&Instellingen" opens the options on the connection page.
        dialog = b.options_by_keys(timeout=WAIT)

        # Each field by its Alt+letter (Tab from the port to the user name), its old text
        # selected and typed over.
        for keys, text in ((["alt+p"], "127.0.0.1"), (["alt+r"], str(new.port)),
                           (["Tab"], "jansen"), (["alt+w"], "geheim12")):
            self.session.key(*keys, "ctrl+a")
            self.session.type_text(text)
        self.shots.around("options-filled-by-keys", dialog)
        after = len(b.trace())
        self.session.key("Return")
        check = b.wait_trace("CheckMail", after, timeout=WAIT)[0]
        b.wait_trace(r"SetMailTimer on \d+", check, timeout=WAIT)
        b.wait_gone(dialog.wid, "the options dialog", timeout=WAIT)

        saved = read_settings(b.settings_file)
        self.assertEqual((saved["Host"], saved["Poort"], saved["User"], saved["Password"]),
                         (b"127.0.0.1", str(new.port).encode(), b"jansen",
                          scramble_password(b"geheim12")))
        self.assertIn("USER", new.commands, "the check went to the server typed in")
        self.assertEqual(self.session.mouse_position(), pointer, "the pointer never moved")


if __name__ == "__main__":
    main(__doc__)
