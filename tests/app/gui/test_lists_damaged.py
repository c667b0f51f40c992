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
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from brevon_gui import (Brevon, end_session_folder, parse_test_args,  # noqa: E402
                        write_settings)
from xsession import XSession  # noqa: E402

ARGS = None

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


class StartsOnListsItCannotRead(unittest.TestCase):
    session = None
    tmp = None

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="brevon-lists-")
        cls.session = XSession(cls.tmp)
        try:
            cls.session.start()
        except BaseException:
            cls.session.close()
            end_session_folder(cls.tmp, ARGS.keep)
            raise

    @classmethod
    def tearDownClass(cls):
        cls.session.close()
        end_session_folder(cls.tmp, ARGS.keep)

    def test_brevon_starts_says_it_starts_a_new_list_and_runs_on(self):
        for name, damage, traced in CASES:
            with self.subTest(name):
                brevon = Brevon(self.session, ARGS.brevon, os.path.join(self.tmp, name),
                                name=name, speech_speed=ARGS.speech_speed)
                # No server yet: the check reads the lists, then asks for the settings.
                write_settings(brevon.settings_file, {"Host": "", "User": "jan",
                                                      "ShowWindow": True})
                data = os.path.join(brevon.dirs["data"], "brevon")
                os.makedirs(data, mode=0o700)
                id_file = os.path.join(data, "jan.id")
                damage(id_file)
                brevon.start()
                try:
                    self.run_one(brevon, id_file, traced)
                except BaseException:
                    brevon.report()
                    raise
                finally:
                    XSession.end_process(brevon.proc)

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


def main():
    global ARGS
    ARGS, argv = parse_test_args(__doc__)
    unittest.main(argv=argv, verbosity=2)


if __name__ == "__main__":
    main()
