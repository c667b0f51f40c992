#!/usr/bin/env python3
"""brevon started on message lists it cannot read: a folder where the ".id" file should be, or
random bytes in it. It greets, says once in Dutch that it starts a new list, traces why, runs
its first check and ends normally, and leaves what stands in the file's place as it was. Runs
under its own Xvfb with trayer. Usage:

    test_lists_damaged.py --brevon build/app/brevon [unittest options]
"""

import os
import random
import signal
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from brevon_gui import GuiTest, main  # noqa: E402

CANNOT_READ = "Ik kan mijn lijst met berichten niet lezen; ik begin een nieuwe."


def a_folder(path):
    os.makedirs(os.path.join(path, "inside"))


def random_bytes(path):
    with open(path, "wb") as out:
        out.write(random.Random(9).randbytes(5000))


# name, how the ".id" file is damaged, the trace line that says why (a regex matched whole)
CASES = [
    ("folder", a_folder, r"Status Message list unreadable \(jan\.id: not a regular file.*"),
    ("random-bytes", random_bytes, r"Status Message list unreadable \(jan\.id: .*"),
]


class StartsOnListsItCannotRead(GuiTest):
    prefix = "brevon-lists-"

    def test_brevon_starts_says_it_starts_a_new_list_and_runs_on(self):
        for name, damage, traced in CASES:
            with self.subTest(name):
                # No server yet: the check reads the lists, then asks for the settings.
                brevon = self.stage.brevon(name, os.path.join(self.tmp, name), settings={
                    "Host": "", "User": "jan", "ShowWindow": True})
                data = os.path.join(brevon.dirs["data"], "brevon")
                os.makedirs(data, mode=0o700)
                id_file = os.path.join(data, "jan.id")
                damage(id_file)
                with self.stage.running(brevon):
                    self.run_one(brevon, id_file, traced)

    def run_one(self, brevon, id_file, traced):
        greeting_end = brevon.wait_trace("Greeting ended")[0]
        brevon.wait_trace("CheckMail", after=greeting_end)
        brevon.wait_trace(traced, after=greeting_end)
        texts = brevon.wait_spoken(3)
        self.assertTrue(texts[0].endswith("Hier spreekt Tolvani!"), texts)
        self.assertEqual(texts[1], CANNOT_READ, "said right after the greeting")
        self.assertEqual(texts.count(CANNOT_READ), 1, "said once")
        brevon.check_alive()

        os.killpg(brevon.proc.pid, signal.SIGTERM)
        self.assertEqual(brevon.wait_exit(), 0)
        if os.path.isdir(id_file):
            self.assertTrue(os.path.isdir(os.path.join(id_file, "inside")),
                            "what stands in the file's place is left as it was")


if __name__ == "__main__":
    main(__doc__)
