#!/usr/bin/env python3
"""brevon as a screen reader meets it: the real program under its own Xvfb with trayer, a
session bus of the test's own with the accessibility bus on it (at-spi2-core), and a real
Dovecot with two messages; everything is found and pressed over AT-SPI with pyatspi, as Orca
would. The bar is a tool bar "Brevon" of push buttons named as the tray items, each with a press
action while it is enabled; pressing "Voorlezen" reads the message, and the buttons' states follow
the reading, announced to the bus as they change. Every control on every page of the options
dialog has a name and the role of what it is.

Skipped (status 77) when pyatspi is not installed. Usage:

    test_atspi.py --brevon build/app/brevon [--shots DIR] [unittest options]
"""

import importlib.util
import os
import re
import signal
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from brevon_gui import GuiTest, main  # noqa: E402
from xsession import poll  # noqa: E402
WAIT = 20  # seconds for anything the program is asked to do
SPEECH_WAIT = 60
SKIPPED = 77  # the status CTest is told means "skipped"
# What one run may take at most, whatever hangs: a call into the bus included.
WATCHDOG = 240

BAR_X, BAR_Y = 300, 200

# Delivered in this order; the last one is message 1 of the list.
MAILBOX = ["09-antwoord-fietstocht.eml", "02-koor-utf8-8bit.eml"]
FIRST_HEADER = "1. Van Eline Smit. Onderwerp: Idee\u00ebn voor het voorjaarsconcert"

# The bar's buttons in their order, and whether each is enabled at rest on message 1 of two.
BAR_BUTTONS = [("Voorlezen", True), ("Pauze", False), ("Stoppen", False),
               ("Vorige bericht", False), ("Volgende bericht", True), ("Instellingen", True),
               ("Help", True)]

# Controls of the options dialog a screen reader must find by the caption beside them, with
# the role their kind has; by page. A combo box reads its value as its name (the toolkit's way
# on this desktop) and its label through the "labelled by" relation, checked below.
DIALOG_CONTROLS = {
    "Verbinding": [("POP-server", "text"), ("Naam", "text"), ("Wachtwoord", "password text"),
                   ("Poort", "text"), ("Elke", "spin button"),
                   ("Maximum aantal op te halen berichten", "check box"),
                   ("Maximum aantal op te halen berichten", "spin button"),
                   ("Berichten van nieuw naar oud geordend", "check box")],
    "Uitspraak": [("Toonhoogte", "slider"), ("Volume", "slider"), ("Tempo", "slider"),
                  ("Woordenlijst", "push button"), ("Standaardwaarden", "push button")],
    "Algemeen": [("Aangehaalde tekst niet voorlezen", "check box"),
                 ("Alleen Nederlandstalige berichten voorlezen", "check box")],
    "Sneltoetsen": [("Sneltoetsen gebruiken", "check box"), ("Voorlezen en pauze", "text"),
                    ("Stoppen", "text"), ("Vorige bericht", "text"),
                    ("Volgende bericht", "text"),
                    ("Nu op nieuwe berichten controleren", "text"),
                    ("Knoppenbalk tonen", "text")],
    None: [("OK", "push button"), ("Annuleren", "push button"), ("Help", "push button")],
}
COMBO_LABELS = {"Verbinding": ["Beveiliging"], "Uitspraak": ["Stem"]}

# Roles a user acts on: each such control shown must have a name.
INTERACTIVE_ROLES = {"push button", "check box", "radio button", "toggle button", "text",
                     "password text", "spin button", "slider", "combo box", "page tab",
                     "menu item", "list item"}


def pyatspi_missing():
    return importlib.util.find_spec("pyatspi") is None


class ScreenReader(GuiTest):
    prefix = "brevon-atspi-"
    dovecot = True
    mailbox = MAILBOX
    # A session bus of the test's own. The accessibility bus is started on it on demand
    # (at-spi-bus-launcher, then the registry); both are children of this bus, which has the
    # display in its environment, and end with it.
    bus = True
    brevon = atspi = monitor_log = None

    @classmethod
    def set_up(cls):
        """Listens as a screen reader does, on the accessibility bus that the bus starts."""
        # pyatspi connects to the session bus of this process's environment at import.
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = cls.stage.bus
        os.environ["DISPLAY"] = cls.session.display
        import pyatspi
        cls.atspi = pyatspi
        # Every call into the program is bounded (milliseconds: a call, the first start).
        pyatspi.setTimeout(5000, 15000)
        # A program tells the bus of state changes only while someone listens for them, as a
        # screen reader does; what it tells is heard on the accessibility bus itself (below).
        pyatspi.Registry.registerEventListener(lambda event: None,
                                               "object:state-changed:sensitive")
        address = subprocess.run(
            ["gdbus", "call", "--session", "--dest", "org.a11y.Bus", "--object-path",
             "/org/a11y/bus", "--method", "org.a11y.Bus.GetAddress"],
            capture_output=True, text=True, timeout=WAIT, check=True).stdout
        cls.monitor_log = os.path.join(cls.tmp, "a11y-monitor.log")
        cls.session.spawn("a11y-monitor", [
            "dbus-monitor", "--address", re.fullmatch(r"\('(.*)',\)\s*", address).group(1),
            "type='signal',interface='org.a11y.atspi.Event.Object',member='StateChanged'"])

    # -- a screen reader's view

    def announced(self):
        """(object path, state, on) per state change sent on the accessibility bus so far."""
        try:
            with open(self.monitor_log, encoding="utf-8", errors="replace") as f:
                text = f.read()
        except FileNotFoundError:
            return []
        return [(m.group(1), m.group(2), m.group(3) != "0") for m in re.finditer(
            r"path=(\S+); interface=org\.a11y\.atspi\.Event\.Object; member=StateChanged\n"
            r"\s+string \"(\w+)\"\n\s+int32 (-?\d+)", text)]

    def wait_announced(self, since, buttons, expected):
        """Waits until each named button's enabled state has been announced as expected, after
        the first since announcements."""
        wanted = {(buttons[name].path, "sensitive", on) for name, on in expected.items()}
        self.wait(f"the changes {expected} announced",
                  lambda: wanted <= set(self.announced()[since:]))

    def wait(self, what, predicate, timeout=WAIT):
        def check():
            self.brevon.check_alive()
            return predicate()
        return poll(what, check, timeout, interval=0.1)

    def application(self):
        desktop = self.atspi.Registry.getDesktop(0)
        found = [app for app in desktop if app is not None and app.name == "Brevon"]
        return found[0] if found else None

    def role(self, accessible):
        return accessible.getRoleName()

    def enabled(self, accessible):
        states = accessible.getState()
        return (states.contains(self.atspi.STATE_ENABLED) and
                states.contains(self.atspi.STATE_SENSITIVE))

    def actions(self, accessible):
        try:
            action = accessible.queryAction()
        except NotImplementedError:
            return []
        return [action.getName(i) for i in range(action.nActions)]

    def press(self, accessible):
        action = accessible.queryAction()
        names = [action.getName(i) for i in range(action.nActions)]
        self.assertIn("Press", names, f"{accessible.name!r} offers no press")
        action.doAction(names.index("Press"))

    def descendants(self, accessible, showing_only=True):
        """accessible's descendants in tree order; with showing_only, none below one that is
        not shown (another page, a closed popup)."""
        found = []
        for child in accessible:
            if child is None:
                continue
            if showing_only and not child.getState().contains(self.atspi.STATE_SHOWING):
                continue
            found.append(child)
            found.extend(self.descendants(child, showing_only))
        return found

    def bar(self):
        app = self.wait("brevon on the accessibility bus", self.application)
        bars = self.wait("the bar on the accessibility bus", lambda: [
            w for w in app if w is not None and self.role(w) == "tool bar"])
        self.assertEqual([b.name for b in bars], ["Brevon"])
        return bars[0]

    def buttons(self, bar):
        return {b.name: b for b in bar if b is not None and self.role(b) == "push button"}

    def wait_enabled(self, bar, expected):
        """Waits until the named buttons show the given enabled states over the bus."""
        def matches():
            buttons = self.buttons(bar)
            return all(self.enabled(buttons[name]) == on for name, on in expected.items())
        self.wait(f"the bar's buttons to show {expected}", matches)

    def shot(self, label):
        self.shots.take(label, crop=(BAR_X - 6, BAR_Y - 6, 413, 53), zoom=2)

    # -- the run

    def test_a_screen_reader_finds_names_presses_and_hears_the_state(self):
        b = ScreenReader.brevon = self.stage.brevon(
            root=os.path.join(self.tmp, "run"),
            env={"QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1", "QT_ACCESSIBILITY": "1"},
            settings={**self.stage.account(), "ShowWindow": True, "X": BAR_X, "Y": BAR_Y})
        b.start()
        poll("both messages announced", lambda: (b.check_alive() or
                                                 b.trace().count("Header spoken") >= 2),
             SPEECH_WAIT)

        # The bar: a tool bar of push buttons named as the tray items, the hint as description.
        bar = self.bar()
        buttons = self.buttons(bar)
        self.assertEqual(list(buttons), [name for name, _ in BAR_BUTTONS])
        # Nothing else: the skin's background is no nameless image to review.
        self.assertEqual([(self.role(c), c.name) for c in bar],
                         [("push button", name) for name, _ in BAR_BUTTONS])
        self.wait_enabled(bar, dict(BAR_BUTTONS))
        for name, on in BAR_BUTTONS:
            with self.subTest(button=name):
                button = buttons[name]
                self.assertTrue(button.description, "the hint is read as description")
                self.assertTrue(button.getState().contains(self.atspi.STATE_FOCUSABLE))
                # As the toolkit's own buttons: a press only while enabled.
                self.assertEqual(self.actions(button), ["Press"] if on else [])
        self.assertEqual(buttons["Voorlezen"].description, "Bericht 1 voorlezen")
        self.shot("bar-at-rest")

        # "Voorlezen" pressed over the bus reads message 1; pause and stop come on, and the bus
        # is told of each change without being asked.
        said, after, heard = len(b.texts()), len(b.trace()), len(self.announced())
        self.press(buttons["Voorlezen"])
        b.wait_trace("PlayMessage", after)
        texts = b.wait_spoken(said + 1, SPEECH_WAIT)
        self.assertTrue(texts[said].startswith(FIRST_HEADER), texts[said])
        reading = {"Voorlezen": False, "Pauze": True, "Stoppen": True}
        self.wait_enabled(bar, reading)
        self.assertNotIn("Body spoken", b.trace()[after:], "the reading went on meanwhile")
        self.wait_announced(heard, buttons, reading)
        self.assertEqual(self.actions(buttons["Pauze"]), ["Press"])
        self.shot("bar-reading")

        # "Stoppen" over the bus: the reading ends, pause and stop go off again.
        after, heard = len(b.trace()), len(self.announced())
        self.press(buttons["Stoppen"])
        b.wait_trace("StopReading", after)
        stopped = {"Voorlezen": True, "Pauze": False, "Stoppen": False}
        self.wait_enabled(bar, stopped)
        self.wait_announced(heard, buttons, stopped)
        self.assertEqual(self.actions(buttons["Pauze"]), [])

        # A disabled button cannot be pressed over the bus either.
        with self.assertRaises(Exception):
            buttons["Pauze"].queryAction().doAction(0)
        self.assertNotIn("PauseReading", b.trace()[after:])

        # The options dialog, opened with "Instellingen": every page walked.
        after = len(b.trace())
        self.press(buttons["Instellingen"])
        b.wait_trace("ShowOptions", after)
        app = self.application()
        dialog = self.wait("the options dialog on the bus", lambda: [
            w for w in app if w is not None and self.role(w) == "dialog" and
            w.name == "Instellingen" and w.getState().contains(self.atspi.STATE_SHOWING)])[0]
        # While the dialog is open the bar ignores the user, and says so.
        self.wait_enabled(bar, {name: False for name, _ in BAR_BUTTONS})
        tabs = [a for a in self.descendants(dialog) if self.role(a) == "page tab"]
        self.assertEqual([t.name for t in tabs],
                         ["Verbinding", "Uitspraak", "Algemeen", "Sneltoetsen"])
        for tab in tabs:
            with self.subTest(page=tab.name):
                self.press(tab)
                # The tab list is named after the page it shows.
                self.wait(f"the page {tab.name!r} shown", lambda: tab.parent.name == tab.name)
                shown = self.descendants(dialog)
                self.check_page(tab.name, shown)
        self.press([a for a in self.descendants(dialog) if self.role(a) == "push button" and
                    a.name == "Annuleren"][0])
        self.wait_enabled(bar, dict(BAR_BUTTONS))

    def check_page(self, page, shown):
        unnamed = [f"{self.role(a)} in {self.role(a.parent)} {a.parent.name!r}"
                   for a in shown if self.role(a) in INTERACTIVE_ROLES and not a.name.strip()]
        self.assertEqual(unnamed, [], "controls a screen reader reads without a name")
        found = [(a.name, self.role(a)) for a in shown]
        for control in DIALOG_CONTROLS[page] + DIALOG_CONTROLS[None]:
            self.assertIn(control, found)
        for label in COMBO_LABELS.get(page, []):
            combos = [a for a in shown if self.role(a) == "combo box" and
                      label in self.labelled_by(a)]
            self.assertEqual(len(combos), 1, f"the combo box labelled {label!r}")

    def labelled_by(self, accessible):
        names = []
        for relation in accessible.getRelationSet():
            if relation.getRelationType() == self.atspi.RELATION_LABELLED_BY:
                names.extend(relation.getTarget(i).name for i in range(relation.getNTargets()))
        return names


if __name__ == "__main__":
    if pyatspi_missing():
        print("skipped: python3-pyatspi is not installed, so there is no screen reader's view "
              "to test", file=sys.stderr)
        sys.exit(SKIPPED)
    # A call into the bus that never returns must not hold the run: end it as a failure.
    signal.signal(signal.SIGALRM, lambda *_: sys.exit(f"no end after {WATCHDOG} s"))
    signal.alarm(WATCHDOG)
    main(__doc__)
