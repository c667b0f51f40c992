#!/usr/bin/env python3
"""Drives brevon's shell from outside, as a user would: the greeting and splash, the control
bar (shape, hover looks, settings and help words, dragging), the tray icon (menu, toggling the
bar, the about window), the options dialog and the exit through the tray menu.

One run of the program serves all checks, in order; each step leaves a screenshot in the shots
folder for a person to look at. Runs under its own Xvfb with trayer as the tray host, so it needs
no desktop. Usage:

    test_shell.py --brevon build/app/brevon --shots DIR [unittest options]
"""

import html
import os
import re
import shutil
import subprocess
import sys
import time
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from brevon_gui import (TIMEOUT, USER_SETTINGS, GuiTest, main, read_settings,  # noqa: E402
                        scramble_password)
from xsession import XSession, poll  # noqa: E402

BAR_X, BAR_Y = 300, 200  # where the settings put the bar
BAR_W, BAR_H = 401, 41
OPTIONS_XI, OPTIONS_YI = 40, 380  # the dialog whole on the 768-pixel screen
MAGENTA = (255, 0, 255)

# Points of the bar, in bar pixels: inside each of the three panels, and outside the shape
# (between the panels and in the corners).
INSIDE_SHAPE = [(50, 17), (60, 28), (195, 30), (160, 20), (330, 25), (300, 10)]
OUTSIDE_SHAPE = [(107, 17), (285, 17), (0, 0), (400, 0), (0, 40), (400, 40), (380, 17),
                 (200, 37)]

# The area of the settings word and of the play button, in bar pixels.
INSTEL_RECT = (297, 4, 77, 11)
HELP_RECT = (334, 17, 40, 11)
PLAY_RECT = (122, 8, 24, 18)
READING_ITEMS = ("Leesvoor1", "Pauzeervoorlezen1", "stop1", "Vorigebericht1",
                 "Volgendebericht1", "Allesvoorlezen1")
ALWAYS_ITEMS = ("view1", "offline1", "Instellingen1", "Help1", "Over1", "exit1")


INITIAL_SETTINGS = {
    **USER_SETTINGS, "X": BAR_X, "Y": BAR_Y, "XI": OPTIONS_XI, "YI": OPTIONS_YI,
    # "Host" is the loopback stub server of the run: no name to resolve, no traffic elsewhere.
    "User": "jansen", "Password": scramble_password(b"geheim12"),
}


def bar_crop(margin=6):
    return (BAR_X - margin, BAR_Y - margin, BAR_W + 2 * margin, BAR_H + 2 * margin)


def region(image, x, y, rect):
    """The part of image at rect (bar pixels) of a bar standing at x, y."""
    rx, ry, rw, rh = rect
    return image.crop(x + rx, y + ry, rw, rh)


# -- the tests ----------------------------------------------------------------------------------

class BrevonShell(GuiTest):
    """The steps run in name order on one program run; a step that needs an earlier one's
    result fails when it is missing."""

    prefix = "brevon-gui-"
    stubs = 1  # a mail server with an empty mailbox
    brevon = None
    settings = None
    bar = None
    bar_pos = (BAR_X, BAR_Y)

    @classmethod
    def set_up(cls):
        cls.settings = dict(INITIAL_SETTINGS, Host=f"127.0.0.1:{cls.stage.stubs[0].port}")
        cls.brevon = cls.stage.brevon(settings=cls.settings)
        cls.brevon.start()

    def need_bar(self):
        if not BrevonShell.bar:
            self.fail("the control bar never appeared, so this step cannot run")
        self.brevon.check_alive()

    def click_bar(self, x, y, button=1):
        bx, by = BrevonShell.bar_pos
        self.session.click(bx + x, by + y, button)

    def move_to_bar(self, x, y):
        bx, by = BrevonShell.bar_pos
        self.session.move_mouse(bx + x, by + y)

    def test_1_startup_greets_then_shows_the_bar_and_checks_mail(self):
        run = self.brevon
        # The splash stands while the greeting is spoken: about 0.7 s at the test's speech speed.
        splash = None
        try:
            splash = poll("the splash", lambda: (run.check_alive() or
                                                 run.windows(name="Welkom bij Brevon")),
                          timeout=TIMEOUT, interval=0.02)[0]
            self.shots.take("splash", crop=(splash.x - 4, splash.y - 4, 408, 308))
        except TimeoutError:
            pass
        greeting_end = run.wait_trace("Greeting ended")[0]
        BrevonShell.bar = run.wait_window("Brevon")
        bar = BrevonShell.bar
        self.shots.take("bar-after-greeting", crop=bar_crop(), zoom=3)

        self.assertIsNotNone(splash, "the splash window never showed")
        # The end of the greeting releases the splash.
        run.wait_gone(splash.wid, "the splash")
        self.assertEqual((splash.width, splash.height), (400, 300), "splash size")
        self.assertEqual((splash.x, splash.y), (1024 // 2 - 200, 768 // 2 - 150),
                         "the splash is centred")

        spoken = run.spoken()
        self.assertTrue(spoken, "nothing was spoken")
        stamp, target, text = spoken[0]
        m = re.fullmatch(r"(Goedemorgen|Goedemiddag|Goedenavond)!\\rHier spreekt Tolvani!", text)
        self.assertTrue(m, f"first spoken text is the greeting with a CR: {text!r}")
        self.assertNotEqual(target, "none", "the greeting names a window to tell its end")
        hour = int(stamp[11:13])
        expected = {h: "Goedemorgen" for h in range(12)}
        expected.update({h: "Goedemiddag" for h in range(12, 18)})
        expected.update({h: "Goedenavond" for h in range(18, 24)})
        # The hour is read a moment before the text is stamped.
        allowed = {expected[hour]}
        if stamp[14:19] == "00:00":
            allowed.add(expected[(hour - 1) % 24])
        self.assertIn(m.group(1), allowed, f"greeting at {stamp}")

        self.assertEqual((bar.x, bar.y, bar.width, bar.height), (BAR_X, BAR_Y, BAR_W, BAR_H),
                         "the bar stands at X, Y with its size")
        # The first check follows the greeting's end, and only one runs.
        check = run.wait_trace("CheckMail")[0]
        self.assertGreater(check, greeting_end, "the first check runs after the greeting")
        # It is a real conversation with the mail server, and it finds nothing new.
        run.wait_trace("POP3 QUIT", after=check)
        spoken = poll("the no-new-mail sentence",
                      lambda: [t for _, _, t in run.spoken()
                               if t == "Er zijn \\+geen \\-nieuwe berichten"], TIMEOUT)
        self.assertEqual(len(spoken), 1)
        self.assertEqual(self.stage.stubs[0].commands[:4], ["USER", "PASS", "STAT", "LAST"])
        self.assertIn("POP3 PASS ****", run.trace(), "the trace never shows the password")
        lines = run.trace()
        self.assertEqual(lines.count("CheckMail"), 1, lines)
        run.wait_trace("SetMailTimer on 300000", after=check)
        self.assertNotIn("ShowOptions", run.trace())

    def test_2_bar_has_its_three_panel_shape(self):
        self.need_bar()
        run = self.brevon
        image = self.shots.take("bar-shape", crop=bar_crop(), zoom=3)
        for x, y in INSIDE_SHAPE:
            with self.subTest(inside=(x, y)):
                self.assertNotEqual(image.pixel(BAR_X + x, BAR_Y + y), MAGENTA,
                                    f"bar pixel {x},{y} belongs to the bar")
        for x, y in OUTSIDE_SHAPE:
            with self.subTest(outside=(x, y)):
                self.assertEqual(image.pixel(BAR_X + x, BAR_Y + y), MAGENTA,
                                 f"bar pixel {x},{y} lies outside the shape")
        # The panels span 1..378 across and 1..33 down; no child sticks out of them.
        extents = run.session.shape_extents(BrevonShell.bar.wid)
        self.assertIsNotNone(extents, "the bar has a window shape")
        x, y, w, h = extents
        self.assertLessEqual(abs(x - 1) + abs(y - 1) + abs(w - 378) + abs(h - 33), 4, extents)

    def test_3_hover_lights_the_settings_word_but_not_disabled_buttons(self):
        self.need_bar()
        run = self.brevon
        bx, by = BrevonShell.bar_pos
        self.move_to_bar(60, 38)  # background of the bar, below the panel (outside: no event)
        self.move_to_bar(50, 20)  # background inside the left panel
        before = self.shots.take("hover-none", crop=bar_crop(), zoom=3)

        self.move_to_bar(320, 9)
        lit = poll("the settings word to light up",
                   lambda: (lambda img: img if region(img, bx, by, INSTEL_RECT).rgb !=
                            region(before, bx, by, INSTEL_RECT).rgb else None)(
                                run.session.screenshot()), TIMEOUT)
        self.shots.take("hover-instellingen", crop=bar_crop(), zoom=3)
        self.assertEqual(region(lit, bx, by, PLAY_RECT).rgb, region(before, bx, by, PLAY_RECT).rgb,
                         "the play button is untouched")

        self.move_to_bar(60, 20)
        poll("the settings word to go back to normal",
             lambda: region(run.session.screenshot(), bx, by, INSTEL_RECT).rgb ==
             region(before, bx, by, INSTEL_RECT).rgb, TIMEOUT)

        # The reading buttons are disabled (nothing to read): play does not light up. The
        # settings word going dark again shows that the move onto play has been handled.
        self.move_to_bar(320, 9)
        poll("the settings word to light up again",
             lambda: region(run.session.screenshot(), bx, by, INSTEL_RECT).rgb !=
             region(before, bx, by, INSTEL_RECT).rgb, TIMEOUT)
        self.move_to_bar(134, 17)
        over_play = poll("the settings word to go back to normal (mouse over play)",
                         lambda: (lambda img: img if region(img, bx, by, INSTEL_RECT).rgb ==
                                  region(before, bx, by, INSTEL_RECT).rgb else None)(
                                      run.session.screenshot()), TIMEOUT)
        self.shots.take("hover-disabled-play", crop=bar_crop(), zoom=3)
        self.assertEqual(region(over_play, bx, by, PLAY_RECT).rgb,
                         region(before, bx, by, PLAY_RECT).rgb,
                         "a disabled button does not light up")
        self.move_to_bar(50, 20)

    def test_4_help_word_opens_help_at_topic_0(self):
        self.need_bar()
        run = self.brevon
        after = len(run.trace())
        viewed_before = len(run.viewed())
        self.click_bar(354, 22)
        run.wait_trace(r"ShowHelp 0", after=after)
        # Traced once the help was found and the desktop's opener took it.
        _, m = run.wait_trace(r"Help (opened|not opened:) (.*)", after=after)
        self.assertEqual(m.group(1), "opened", f"the help did not open: {m.group(2)}")
        url = m.group(2)
        viewed = poll("the opener to be handed the help",
                      lambda: run.viewed()[viewed_before:], TIMEOUT)
        self.assertEqual(viewed, [url])

        # What the opener got leads to the help page's topic 0, and both files are there.
        page = urllib.parse.urlsplit(url)
        self.assertEqual(page.scheme, "file", url)
        with open(urllib.parse.unquote(page.path), encoding="utf-8") as f:
            redirect = f.read()
        m = re.search(r'content="0; url=([^"]*)"', redirect)
        self.assertTrue(m, redirect)
        target = urllib.parse.urlsplit(html.unescape(m.group(1)))
        self.assertEqual(target.fragment, "onderwerp-0")
        with open(urllib.parse.unquote(target.path), encoding="utf-8") as f:
            self.assertIn('id="onderwerp-0"', f.read())

    def test_5_tray_menu_lists_its_items_and_grey_reading_items(self):
        self.need_bar()
        run = self.brevon
        icon = poll("brevon's icon in the tray", run.tray_icon, TIMEOUT)
        BrevonShell.icon = icon
        self.shots.take("tray-icon", crop=(icon.x - 20, 0, icon.width + 40, 30), zoom=4)
        states, menu = run.tray_menu()
        self.shots.around("tray-menu", menu, margin=8, zoom=2)
        attributes = run.session.window_attributes(menu.wid)
        self.assertEqual(attributes.get("Override Redirect State"), "yes", "a popup menu")
        self.assertEqual(list(states), ["view1", "offline1", "Instellingen1", "Help1",
                                        *READING_ITEMS, "Over1", "exit1"], "menu order")
        for item in ALWAYS_ITEMS:
            self.assertTrue(states[item].startswith("on"), f"{item} is enabled: {states}")
        for item in READING_ITEMS:
            self.assertEqual(states[item], "off", f"{item} is greyed with nothing to read")
        self.assertNotIn("checked", states["offline1"], "online: no check mark")
        run.session.key("Escape")
        run.wait_gone(menu.wid, "the popup menu")

    def test_6_left_click_on_the_tray_icon_toggles_the_bar(self):
        self.need_bar()
        run = self.brevon
        icon = getattr(BrevonShell, "icon", None) or poll("the tray icon", run.tray_icon, TIMEOUT)
        cx, cy = icon.x + icon.width // 2, icon.y + icon.height // 2
        bar = BrevonShell.bar

        after = len(run.trace())
        run.session.click(cx, cy)
        run.wait_trace("Bar hidden", after=after)
        run.wait_gone(bar.wid, "the bar")
        hidden = self.shots.take("bar-hidden", crop=bar_crop())
        self.assertEqual(hidden.pixel(BAR_X + 50, BAR_Y + 17), MAGENTA, "no bar on screen")

        # Apart by more than the double-click time, so this is a click of its own.
        time.sleep(0.6)
        after = len(run.trace())
        run.session.click(cx, cy)
        run.wait_trace("Bar shown", after=after)
        poll("the bar to show again", lambda: run.session.is_viewable(bar.wid), TIMEOUT)
        self.shots.take("bar-shown-again", crop=bar_crop())
        lines = run.trace()[after:]
        self.assertEqual(lines.count("Bar shown") + lines.count("Bar hidden"), 1, lines)

        # A double click is a release, a double-click event and a release: three toggles,
        # so a shown bar ends hidden.
        time.sleep(0.6)
        after = len(run.trace())
        run.session.move_mouse(cx, cy)
        run.session.xdotool("click", "--repeat", 2, "--delay", 80, 1)
        toggles = poll("three toggles", lambda: (lambda t: t if len(t) >= 3 else None)(
            [line for line in run.trace()[after:] if line in ("Bar shown", "Bar hidden")]),
            TIMEOUT)
        self.assertEqual(toggles, ["Bar hidden", "Bar shown", "Bar hidden"])
        run.wait_gone(bar.wid, "the bar")
        time.sleep(0.6)
        after = len(run.trace())
        run.session.click(cx, cy)
        run.wait_trace("Bar shown", after=after)
        poll("the bar to show again", lambda: run.session.is_viewable(bar.wid), TIMEOUT)

    def test_7_about_window_and_inert_tray_while_it_is_open(self):
        self.need_bar()
        run = self.brevon
        icon = getattr(BrevonShell, "icon", None) or poll("the tray icon", run.tray_icon, TIMEOUT)
        cx, cy = icon.x + icon.width // 2, icon.y + icon.height // 2
        after = len(run.trace())
        run.tray_menu()
        run.session.key("o")  # "&Over..."
        run.wait_trace("About", after=after)
        about = run.wait_window("Over...")
        spoken_before = len(run.spoken())
        self.shots.around("about", about, zoom=2)
        self.assertEqual((about.width, about.height), (242, 118))
        self.assertIn("SetMailTimer off", run.trace()[after:], "no mail checks while it is open")

        # The tray does nothing while the about window is open. The events are handled in
        # order: once OK has closed the window, a menu would have been asked for already.
        tray_after = len(run.trace())
        run.session.click(cx, cy, 3)
        run.session.click(about.x + 80 + 40, about.y + 88 + 12)  # OK
        run.wait_gone(about.wid, "the about window")
        self.assertFalse([line for line in run.trace()[tray_after:] if line.startswith("Menu")],
                         "no menu while the about window is open")
        self.assertGreaterEqual(spoken_before, 2, "the credits were spoken")
        run.wait_trace("SetMailTimer on 300000", after=tray_after)

    def test_8_options_dialog_changes_only_the_interval(self):
        self.need_bar()
        run = self.brevon
        after = len(run.trace())
        self.click_bar(320, 9)
        run.wait_trace("ShowOptions", after=after)
        try:
            dialog = run.wait_window("Instellingen")
        except TimeoutError:
            self.fail("the settings word was clicked and ShowOptions traced, but no window "
                      "titled \"Instellingen\" appeared")
        self.shots.around("options", dialog, zoom=2)
        self.assertEqual((dialog.x, dialog.y), (OPTIONS_XI, OPTIONS_YI), "placed at XI, YI")
        self.assertIn("SetMailTimer off", run.trace()[after:], "no mail checks while it is open")

        # While the dialog is open the tray and the bar ignore the user. The events are
        # handled in order, so once OK below has closed the dialog these would have shown.
        icon = getattr(BrevonShell, "icon", None) or poll("the tray icon", run.tray_icon, TIMEOUT)
        run.session.click(icon.x + icon.width // 2, icon.y + icon.height // 2, 3)
        self.click_bar(354, 22)  # "Help"

        # Only the interval changes: into the host field, then Tab past security, port, user and
        # password.
        run.options_field(dialog, 5)
        run.session.type_text("7")
        self.shots.around("options-interval-7", dialog, zoom=2)
        ok_at = len(run.trace())
        run.session.key("Return")
        run.wait_gone(dialog.wid, "the options dialog")
        _, m = run.wait_trace(r"SetMailTimer on (\d+)", after=ok_at)
        self.shots.take("options-closed", crop=bar_crop())
        self.assertEqual(m.group(1), "420000", "the mail timer runs at the new 7 minutes")
        lines = run.trace()[after:]
        self.assertEqual(lines.count("ShowOptions"), 1, lines)
        self.assertNotIn("ShowHelp 0", lines, "the bar is inert while the dialog is open")
        self.assertFalse([line for line in lines if line.startswith("Menu")],
                         "the tray is inert while the dialog is open")
        self.assertNotIn("CheckMail", lines, "only the interval changed: no check")

        # OK saved the settings: the new interval, everything else as it was.
        saved = poll("the new interval in the settings file",
                     lambda: (lambda v: v if v.get("Interval in minuten") == 7 else None)(
                         read_settings(run.settings_file)), TIMEOUT)
        for name, value in self.settings.items():
            if name == "Interval in minuten":
                continue
            if isinstance(value, str):
                value = value.encode("cp1252")
            with self.subTest(setting=name):
                self.assertEqual(saved.get(name), value)
        BrevonShell.options_done = True

    def test_8b_autostart_box_writes_and_removes_the_logon_entry(self):
        self.need_bar()
        run = self.brevon
        entry = os.path.join(run.dirs["config"], "autostart", "brevon.desktop")
        self.assertFalse(os.path.exists(entry), "no entry while the box was never ticked")
        validator = shutil.which("desktop-file-validate")
        self.assertTrue(validator, "desktop-file-validate (desktop-file-utils) is needed: run "
                                   "scripts/install-deps")
        start = len(run.trace())
        for tick, label in ((True, "on"), (False, "off")):
            after = len(run.trace())
            self.click_bar(320, 9)
            run.wait_trace("ShowOptions", after=after)
            dialog = run.wait_window("Instellingen")
            # The dialog opens on the page it was left on: the first tab, the host field, then
            # Ctrl+Tab twice to the page "Algemeen", whose fourth box is the start at logon.
            # Qt handles the clicks and keys in order, each on the page the one before left.
            # The dialog grows across and down apart with its captions' font: one factor each.
            across, down = dialog.width / 288, dialog.height / 334
            tab_bar = 29
            page_x, page_y = dialog.x + 2, dialog.y + tab_bar + 2
            run.session.click(dialog.x + 20, dialog.y + tab_bar // 2)
            run.session.click(page_x + round(across * 170), page_y + round(down * 60))
            run.session.key("ctrl+Tab", "ctrl+Tab")
            run.session.click(page_x + round(across * 16), page_y + round(down * 86))
            self.shots.around(f"options-autostart-{label}", dialog, zoom=2)
            run.session.key("Return")
            run.wait_gone(dialog.wid, "the options dialog")
            run.wait_trace(r"SetMailTimer on \d+", after=after)
            if tick:
                poll("the autostart entry", lambda: os.path.exists(entry), TIMEOUT)
                with open(entry, encoding="utf-8") as f:
                    text = f.read()
                program = os.path.realpath(run.program)
                self.assertIn(f'\nExec="{program}"\n', text, "it starts this very brevon")
                checked = subprocess.run([validator, entry], capture_output=True, text=True,
                                         timeout=TIMEOUT)
                self.assertEqual((checked.returncode, checked.stdout + checked.stderr), (0, ""))
                self.assertTrue(read_settings(run.settings_file)["SemiService9X"])
            else:
                poll("the autostart entry to go", lambda: not os.path.exists(entry), TIMEOUT)
                self.assertFalse(read_settings(run.settings_file)["SemiService9X"])
        self.assertNotIn("CheckMail", run.trace()[start:], "the box is no connection change")

    def test_9_exit_through_the_tray_menu_saves_and_ends(self):
        self.need_bar()
        run = self.brevon
        # Drag the bar first, so the saved position is a new one.
        bx, by = BrevonShell.bar_pos
        session = run.session
        session.move_mouse(bx + 50, by + 20)
        session.xdotool("mousedown", 1)
        try:
            session.move_mouse(bx + 80, by + 60)
            session.move_mouse(bx + 110, by + 100)
            moved = poll("the bar to follow the mouse",
                         lambda: [w for w in run.windows(name="Brevon")
                                  if (w.x, w.y) == (bx + 60, by + 80)], TIMEOUT)[0]
        finally:
            session.xdotool("mouseup", 1)
        BrevonShell.bar_pos = (moved.x, moved.y)
        self.shots.take("bar-dragged", crop=(moved.x - 6, moved.y - 6, BAR_W + 12, BAR_H + 12))

        run.tray_menu()
        self.shots.take("exit-menu")
        session.key("s")  # "&Sluiten"
        try:
            status = run.proc.wait(timeout=8)
        except Exception:
            self.fail("brevon did not end within 8 s after \"&Sluiten\"")
        self.assertEqual(status, 0, run.log())
        lines = run.trace()
        self.assertEqual(lines[-1], "Shutdown", lines)
        self.assertEqual(lines.count("CheckMail"), 1, "no check but the first one ran")
        pgid = run.proc.pid
        poll("brevon's process group to be empty",
             lambda: not XSession.group_alive(pgid), timeout=5)
        self.shots.take("after-exit")

        saved = read_settings(run.settings_file)
        self.assertEqual((saved["X"], saved["Y"]), (bx + 60, by + 80), "the new bar position")
        expected = dict(self.settings)
        for name in ("X", "Y"):
            expected.pop(name)
        if getattr(BrevonShell, "options_done", False):
            expected["Interval in minuten"] = 7
        for name, value in expected.items():
            if isinstance(value, str):
                value = value.encode("cp1252")
            with self.subTest(setting=name):
                self.assertEqual(saved.get(name), value)


if __name__ == "__main__":
    main(__doc__)
