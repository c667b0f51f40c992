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

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from brevon_gui import SOURCE, GuiTest, main  # noqa: E402
from xsession import SCREEN_HEIGHT, SCREEN_WIDTH, Image, poll  # noqa: E402
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


class LargeText(GuiTest):
    prefix = "brevon-large-"
    stubs = 1

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
        b = self.stage.brevon(name, root, env=env, settings={
            **self.stage.stubs[0].account("jansen", "geheim12"), "ShowWindow": True,
            "X": BAR_X, "Y": BAR_Y, "XI": 10, "YI": 100})
        b.start()
        first = b.wait_trace("CheckMail", timeout=WAIT)[0]
        b.wait_trace(r"SetMailTimer on \d+", first, timeout=WAIT)
        return b

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
                shown = self.shots.around(f"{name}-bar", bar)
                self.assertEqual(shown.crop(bar.x, bar.y, panel, bar.height).rgb, want)

                # The options through keys: the bar's global key, its menu, "&Instellingen".
                dialog = b.options_by_keys(timeout=WAIT)
                self.assertLessEqual(dialog.x + dialog.width, SCREEN_WIDTH, "whole on screen")
                self.assertLessEqual(dialog.y + dialog.height, SCREEN_HEIGHT, "whole on screen")
                for page in PAGES:
                    # Ctrl+Tab goes to the next page; the first is shown as the dialog opens.
                    if page != PAGES[0]:
                        self.session.key("ctrl+Tab")
                    poll(f"the page {page}", lambda: dialog.wid in {
                        w.wid for w in b.windows(name="Instellingen")}, WAIT)
                    self.shots.around(f"{name}-options-{page}", dialog)
                self.session.key("Escape")
                b.wait_gone(dialog.wid, "the options dialog", timeout=WAIT)
                self.session.end_process(b.proc)


if __name__ == "__main__":
    main(__doc__)
