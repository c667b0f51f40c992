#!/usr/bin/env python3
"""brevon started on settings that cannot be used as they are: a damaged file, a folder where
the file should be, values of the wrong type or out of range. Each time it greets, says in
Dutch what it did (when there is something to say), traces it, runs its first check and ends
normally, and the user's file is never lost. Runs under its own Xvfb with trayer. Usage:

    test_settings_damaged.py --brevon build/app/brevon [unittest options]
"""

import os
import random
import signal
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from brevon_gui import GuiTest, main, read_settings, write_settings  # noqa: E402

DAMAGED = "Uw instellingen waren beschadigd; ik begin met de standaardinstellingen."
UNREADABLE = "Uw instellingen kan ik niet lezen; ik begin met de standaardinstellingen."

HAND_EDITED = {
    "X": 300, "Y": 200, "XI": 40, "YI": 420, "Voice": 7, "Pitch": 5, "Volume": 8, "Tempo": 5,
    "Host": "", "User": 12345, "Password": b"",  # "User" of the wrong type
    "Interval in minuten": 0, "NumSaveMails": -1, "UseNumSaveMails": True,
    "Reverse": False, "SkipReply": False, "SemiService9X": False, "UseLid": False,
    "ShowWindow": True,
}


def random_bytes(path):
    os.makedirs(os.path.dirname(path), mode=0o700, exist_ok=True)
    data = random.Random(31).randbytes(5000)
    with open(path, "wb") as out:
        out.write(data)
    return data


def a_folder(path):
    os.makedirs(os.path.join(path, "inside"))
    return None


def hand_edited(path):
    write_settings(path, HAND_EDITED)
    return None


# name, how the settings folder is prepared (returns the damaged bytes, if any), the sentence
# said after the greeting (or None), trace lines that must appear (regexes, matched whole)
CASES = [
    ("random-bytes", random_bytes, DAMAGED,
     [r"Settings damaged: Settings file '.*settings\.reg': line \d+: not a Brevon settings "
      r"file.*",
      r"Settings kept aside as .*settings\.reg\.damaged-\d{8}-\d{6}"]),
    ("folder", a_folder, UNREADABLE,
     [r"Settings unreadable: Settings file '.*settings\.reg': not a regular file"]),
    ("hand-edited", hand_edited, None,
     [r"Setting 'User' unreadable: default used",
      r"Setting 'Interval in minuten' out of range: nearest bound used",
      r"Setting 'NumSaveMails' out of range: nearest bound used"]),
]


class StartsOnSettingsItCannotUse(GuiTest):
    prefix = "brevon-settings-"

    def test_brevon_starts_says_what_it_did_and_runs_on(self):
        for name, prepare, sentence, traced in CASES:
            with self.subTest(name):
                brevon = self.stage.brevon(name, os.path.join(self.tmp, name))
                damaged = prepare(brevon.settings_file)
                with self.stage.running(brevon):
                    self.run_one(brevon, damaged, sentence, traced)

    def run_one(self, brevon, damaged, sentence, traced):
        for pattern in traced:
            brevon.wait_trace(pattern)
        greeting_end = brevon.wait_trace("Greeting ended")[0]
        # The first check of the run follows, and the program is still there after it.
        brevon.wait_trace("CheckMail", after=greeting_end)
        texts = brevon.wait_spoken(2)
        self.assertTrue(texts[0].endswith("Hier spreekt Tolvani!"), texts)
        said = [t for t in texts if t in (DAMAGED, UNREADABLE)]
        if sentence:
            self.assertEqual(texts[1], sentence, "said right after the greeting")
            self.assertEqual(said, [sentence], "said once")
        else:
            self.assertEqual(said, [])
        brevon.check_alive()

        # Ends as asked, writing its settings back where it may.
        os.killpg(brevon.proc.pid, signal.SIGTERM)
        self.assertEqual(brevon.wait_exit(), 0)
        folder = os.path.dirname(brevon.settings_file)
        aside = sorted(f for f in os.listdir(folder) if f.startswith("settings.reg.damaged-"))
        if damaged is not None:
            self.assertEqual(len(aside), 1, aside)
            with open(os.path.join(folder, aside[0]), "rb") as f:
                self.assertEqual(f.read(), damaged, "kept whole")
        else:
            self.assertEqual(aside, [])
        if os.path.isdir(brevon.settings_file):
            self.assertTrue(os.path.isdir(os.path.join(brevon.settings_file, "inside")),
                            "an unreadable store is left as it was")
            return
        stored = read_settings(brevon.settings_file)
        if damaged is None:
            # What the user had, with what could not be used made usable.
            self.assertEqual(stored["Interval in minuten"], 1)
            self.assertEqual(stored["NumSaveMails"], 1)
            self.assertEqual(stored["User"], b"")
            self.assertEqual(stored["Volume"], 8)
        else:
            self.assertEqual(stored["Interval in minuten"], 5)  # the defaults
            self.assertEqual(stored["Host"], b"")


if __name__ == "__main__":
    main(__doc__)
