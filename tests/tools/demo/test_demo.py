#!/usr/bin/env python3
"""The headless demo, run as `make demo` runs it without a desktop: once to its end, and once
cut short by Ctrl+C (SIGINT) after the announcement. Each run must end with the right status,
print what brevon said, remove its throwaway folder and leave no process behind.

    test_demo.py --brevon build/app/brevon --config-tool build/tools/brevon-config/brevon-config
"""

import argparse
import io
import os
import secrets
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__)))))
DEMO = os.path.join(SOURCE, "tools", "demo", "demo.py")
ARGS = None

ANNOUNCEMENT = ("brevon: Er zijn 10 nieuwe berichten | "
                "1. Van Mulder  Lotte. Onderwerp: Bezichtiging Lindelaan 14")
BODY_SENTENCE = ("U bent van harte welkom voor een bezichtiging op woensdag zesentwintig maart "
                 "om half vijf.")


def marked_processes(mark, folder):
    """Processes that carry the run's mark in their environment or name its folder on their
    command line."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/environ", "rb") as f:
                environ = f.read()
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                cmdline = f.read()
        except OSError:
            continue
        if mark.encode() in environ or folder.encode() in cmdline:
            shown = cmdline.replace(b"\0", b" ").decode(errors="replace")
            found.append(f"{pid}: {shown}")
    return found


class Demo:
    """One run of demo.py in a folder of its own, its output collected as it comes."""

    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="demo-test-")
        self.mark = "demo-test-" + secrets.token_hex(6)
        argv = [sys.executable, DEMO, "--headless", "--brevon",
                ARGS.brevon, "--config-tool", ARGS.config_tool, "--tmp", self.folder,
                "--speed", "8"]
        env = dict(os.environ, DEMO_TEST_MARK=self.mark, PYTHONDONTWRITEBYTECODE="1")
        self.proc = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                     start_new_session=True)
        self.lines = []
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.proc.stdout:
            self.lines.append(line.decode("utf-8", "replace").rstrip("\n"))

    def output(self):
        return "\n".join(self.lines)

    def wait_line(self, text, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if text in self.lines or self.proc.poll() is not None:
                break
            time.sleep(0.1)
        return text in self.lines

    def wait(self, timeout):
        try:
            status = self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(self.proc.pid, signal.SIGKILL)
            self.proc.wait()
            status = None
        self.reader.join(timeout=5)
        return status

    def leftovers(self):
        # Children are told by the kernel to end with their parent; give them a moment.
        deadline = time.monotonic() + 10
        while True:
            left = marked_processes(self.mark, self.folder)
            if not left or time.monotonic() > deadline:
                return left
            time.sleep(0.2)

    def close(self):
        for line in marked_processes(self.mark, self.folder):
            try:
                os.kill(int(line.split(":")[0]), signal.SIGKILL)
            except OSError:
                pass
        shutil.rmtree(self.folder, ignore_errors=True)


class HeadlessDemo(unittest.TestCase):

    def run_demo(self):
        demo = Demo()
        self.addCleanup(demo.close)
        return demo

    def check_cleaned_up(self, demo):
        self.assertEqual(os.listdir(demo.folder), [],
                         "the throwaway folder is removed\n" + demo.output())
        self.assertEqual(demo.leftovers(), [], "no process outlives the demo")

    def test_reads_the_first_message_and_ends_cleanly(self):
        demo = self.run_demo()
        status = demo.wait(timeout=240)
        out = demo.output()
        self.assertEqual(status, 0, out)
        self.assertIn(ANNOUNCEMENT, demo.lines, out)
        body = [line for line in demo.lines
                if line.startswith("brevon: 1. Van Mulder") and "Beste mevrouw Visser" in line]
        self.assertEqual(len(body), 1, "the first message is read once, with its header\n" + out)
        self.assertIn(BODY_SENTENCE, body[0])
        self.check_cleaned_up(demo)

    def test_ctrl_c_stops_everything(self):
        demo = self.run_demo()
        self.assertTrue(demo.wait_line(ANNOUNCEMENT, timeout=120), demo.output())
        os.kill(demo.proc.pid, signal.SIGINT)
        status = demo.wait(timeout=60)
        self.assertEqual(status, 128 + signal.SIGINT, demo.output())
        self.check_cleaned_up(demo)


class TranscriptLines(unittest.TestCase):
    """What the demo prints of the speech transcript: one line a text, the language named for a
    text read in another one."""

    def test_each_text_on_one_line_with_its_language(self):
        sys.path.insert(0, os.path.dirname(DEMO))
        from demo import Transcript
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "transcript.txt")
            with open(path, "w", encoding="utf-8") as f:
                f.write("2025-03-22 08:00:00.000\tnone\tDit bericht is in het Engels.\n"
                        "2025-03-22 08:00:01.000\t0x1f\tHi Sanne,\\r\\n\\r\\nThanks!\\r\\n\ten\n"
                        "2025-03-22 08:00:02.000\t0x1f\tHalf af")
            out = io.StringIO()
            transcript = Transcript(path, out)
            self.assertEqual(transcript.pump(),
                             ["Dit bericht is in het Engels.", "Hi Sanne,\\r\\n\\r\\nThanks!\\r\\n"])
            self.assertEqual(out.getvalue(), "brevon: Dit bericht is in het Engels.\n"
                                             "brevon (en): Hi Sanne, | Thanks!\n")


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--brevon", required=True)
    parser.add_argument("--config-tool", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
