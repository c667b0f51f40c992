"""What the GUI tests share: brevon's settings file, and one brevon process under an X session
with the files it writes (trace, speech transcript, output) and the screenshots of its steps.

Standard library only.
"""

import argparse
import os
import re
import shlex
import shutil
import signal
import subprocess
import sys

from xsession import Image, XSession, poll

SETTINGS_KEY = r"HKEY_CURRENT_USER\SOFTWARE\Tolvani Speech Technology\Brevon"

TIMEOUT = 10  # seconds for anything the program is asked to do


# -- the settings file ------------------------------------------------------------------------

def scramble_password(text):
    """The stored form of a password: each byte XOR the high byte of a running key that the
    scrambled bytes feed."""
    key = 826
    out = bytearray()
    for b in text:
        s = b ^ (key >> 8)
        out.append(s)
        key = ((s + key) * 20931 + 48517) & 0xFFFF
    return bytes(out)


def quote(raw):
    out = '"'
    for b in raw:
        c = chr(b)
        if c in '\\"':
            out += "\\" + c
        elif 0x20 <= b < 0x7F:
            out += c
        else:
            out += f"\\x{b:02x}"
    return out + '"'


def unquote(text):
    out = bytearray()
    i = 0
    while i < len(text):
        if text[i] == "\\":
            if text[i + 1] == "x":
                out.append(int(text[i + 2:i + 4], 16))
                i += 4
            else:
                out.append(ord(text[i + 1]))
                i += 2
        else:
            out.append(ord(text[i]))
            i += 1
    return bytes(out)


def write_settings(path, values):
    lines = ["Brevon Settings Version 1", f"[{SETTINGS_KEY}]"]
    for name, value in values.items():
        if isinstance(value, bool):
            value = int(value)
        if isinstance(value, int):
            lines.append(f'"{name}"=dword:{value & 0xFFFFFFFF:08x}')
        else:
            raw = value if isinstance(value, bytes) else value.encode("cp1252")
            lines.append(f'"{name}"={quote(raw)}')
    os.makedirs(os.path.dirname(path), mode=0o700, exist_ok=True)
    with open(path, "w", encoding="ascii") as out:
        out.write("\n".join(lines) + "\n")


def read_settings(path):
    """The values of brevon's key: ints for dwords, bytes for texts."""
    values = {}
    in_key = False
    with open(path, encoding="ascii") as f:
        for line in f.read().splitlines():
            if line.startswith("["):
                in_key = line[1:-1].lower() == SETTINGS_KEY.lower()
                continue
            m = re.match(r'^"((?:[^"\\]|\\.)*)"=(.*)$', line)
            if not in_key or not m:
                continue
            name, value = unquote(m.group(1)).decode("cp1252"), m.group(2)
            if value.startswith("dword:"):
                n = int(value[6:], 16)
                values[name] = n - (1 << 32) if n & 0x80000000 else n
            else:
                values[name] = unquote(value[1:-1])
    return values


# -- screenshots ------------------------------------------------------------------------------

def magnify(image, factor):
    if factor == 1:
        return image
    rows = []
    for y in range(image.height):
        row = image.rgb[y * image.width * 3:(y + 1) * image.width * 3]
        wide = b"".join(row[i:i + 3] * factor for i in range(0, len(row), 3))
        rows.extend([wide] * factor)
    return Image(image.width * factor, image.height * factor, b"".join(rows))


class Shots:
    """Numbered screenshots of a session's steps, NN-label.png, in one folder (or none)."""

    def __init__(self, session, folder):
        self.session = session
        self.folder = folder
        self.step = 0

    def take(self, label, crop=None, zoom=1):
        """A screenshot saved as NN-label.png (and the cropped part, magnified, as
        NN-label-detail.png); returns the full image."""
        image = self.session.screenshot()
        self.step += 1
        if self.folder:
            image.save_png(os.path.join(self.folder, f"{self.step:02d}-{label}.png"))
            if crop:
                magnify(image.crop(*crop), zoom).save_png(
                    os.path.join(self.folder, f"{self.step:02d}-{label}-detail.png"))
        return image


# -- one brevon process -----------------------------------------------------------------------

# Variables of the desktop the test runs from that would change what brevon does.
_FOREIGN_ENV = ("DBUS_SESSION_BUS_ADDRESS", "SESSION_MANAGER", "XAUTHORITY",
                "QT_QPA_PLATFORMTHEME", "QT_STYLE_OVERRIDE", "QT_SCALE_FACTOR", "WAYLAND_DISPLAY",
                "BREVON_TRACE", "QVSTTS_SINK", "QVSTTS_TRANSCRIPT", "SSL_CERT_FILE",
                "SSL_CERT_DIR")


class Brevon:
    """One brevon process on session's display, with home, config, data and runtime folders
    below root (made when missing, so a later process can take over the earlier one's
    settings and message lists) and its trace, transcript and output named after name."""

    def __init__(self, session, program, root, name="brevon", speech_speed=4, env=None):
        self.session = session
        self.program = program
        self.name = name
        self.workdir = root
        self.dirs = {}
        for folder in ("home", "config", "data", "runtime"):
            self.dirs[folder] = os.path.join(root, folder)
            os.makedirs(self.dirs[folder], mode=0o700, exist_ok=True)
        self.config_dir = os.path.join(self.dirs["config"], "brevon")
        self.settings_file = os.path.join(self.config_dir, "settings.reg")
        self.transcript = os.path.join(root, f"{name}-transcript.txt")
        self.trace_file = os.path.join(root, f"{name}-trace.txt")
        self.viewer_log = os.path.join(root, f"{name}-viewer.txt")
        self.viewer_dir = os.path.join(root, f"{name}-viewer")
        self.speech_speed = speech_speed
        self.extra_env = dict(env or {})
        self.proc = None

    def start(self):
        self.make_viewer()
        env = {k: v for k, v in os.environ.items() if k not in _FOREIGN_ENV}
        env.update({
            "HOME": self.dirs["home"],
            "XDG_CONFIG_HOME": self.dirs["config"],
            "XDG_DATA_HOME": self.dirs["data"],
            "XDG_RUNTIME_DIR": self.dirs["runtime"],
            # No session bus: Qt then embeds its icon in the X tray, which trayer hosts. An
            # address nobody listens on, so that libdbus does not start a bus of its own for
            # the display (dbus-x11's autolaunch), which would outlive brevon.
            "DBUS_SESSION_BUS_ADDRESS": "unix:path=" + os.path.join(self.workdir, "no-session-bus"),
            "QT_QPA_PLATFORM": "xcb",
            "QVSTTS_SINK": f"null:{self.speech_speed:g}",
            "QVSTTS_TRANSCRIPT": self.transcript,
            "BREVON_TRACE": self.trace_file,
            # Help goes to the desktop's opener, which Qt looks up in PATH: this one notes what
            # it is handed (see viewed) and starts no browser.
            "PATH": self.viewer_dir + os.pathsep + os.environ.get("PATH", os.defpath),
        })
        env.update(self.extra_env)
        self.proc = self.session.spawn(self.name, [self.program], env=env)
        return self

    def make_viewer(self):
        os.makedirs(self.viewer_dir, exist_ok=True)
        opener = os.path.join(self.viewer_dir, "xdg-open")
        with open(opener, "w", encoding="utf-8") as f:
            f.write("#!/bin/sh\n"
                    f"printf '%s\\n' \"$*\" >> {shlex.quote(self.viewer_log)}\n")
        os.chmod(opener, 0o755)

    def viewed(self):
        """What the program handed to the desktop's opener, one entry per call."""
        try:
            with open(self.viewer_log, encoding="utf-8", errors="replace") as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def report(self):
        """What the program reported, for reading a failure after the fact."""
        print(f"\n--- {self.name} trace ---", *self.trace(), sep="\n")
        print(f"--- {self.name} speech transcript ---",
              *["\t".join(line) for line in self.spoken_in()], sep="\n")
        print(f"--- {self.name} output ---", self.log(), sep="\n")

    # -- what the program wrote

    def trace(self):
        try:
            with open(self.trace_file, encoding="utf-8", errors="replace") as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def wait_trace(self, pattern, after=0, timeout=TIMEOUT):
        """Waits for a trace line at index >= after matching pattern (a regex matched whole);
        returns (index, match)."""
        regex = re.compile(pattern)

        def find():
            lines = self.trace()
            for i in range(after, len(lines)):
                m = regex.fullmatch(lines[i])
                if m:
                    return (i, m)
            self.check_alive()
            return None
        return poll(f"{self.name}'s trace line {pattern!r}", find, timeout)

    def spoken_in(self):
        """(time text, target, text, language) per line of the speech transcript; the language
        is "nl" unless the line names another."""
        try:
            with open(self.transcript, encoding="utf-8", errors="replace") as f:
                lines = [line.split("\t", 3) for line in f.read().splitlines()]
        except FileNotFoundError:
            return []
        return [tuple(fields + ["nl"] * (4 - len(fields))) for fields in lines
                if len(fields) >= 3]

    def spoken(self):
        """(time text, target, text) per line of the speech transcript."""
        return [line[:3] for line in self.spoken_in()]

    def texts(self):
        """The spoken texts, in order, as the transcript writes them (CR as \\r)."""
        return [line[2] for line in self.spoken()]

    def wait_spoken(self, count, timeout=TIMEOUT):
        """Waits until at least count texts have been spoken; returns the texts."""
        def enough():
            texts = self.texts()
            if len(texts) >= count:
                return texts
            self.check_alive()
            return None
        return poll(f"{count} spoken texts from {self.name}", enough, timeout)

    def check_alive(self):
        if self.proc.poll() is not None:
            raise AssertionError(f"{self.name} ended with status {self.proc.returncode}; see "
                                 f"its output:\n{self.log()}")

    def log(self):
        try:
            with open(os.path.join(self.workdir, f"{self.name}.log"), errors="replace") as f:
                return f.read()[-4000:]
        except FileNotFoundError:
            return ""

    # -- windows

    def windows(self, **criteria):
        """Brevon's viewable windows matching criteria (top level unless said otherwise)."""
        criteria.setdefault("top_level", True)
        ours = self.window_ids()
        return [w for w in self.session.find_windows(**criteria)
                if w.wid in ours and self.session.is_viewable(w.wid)]

    def window_ids(self):
        out = self.session._run(["xdotool", "search", "--pid", str(self.proc.pid)],
                                check=False).stdout.decode()
        return {int(line) for line in out.split()}

    def wait_window(self, title, timeout=TIMEOUT):
        return poll(f"window {title!r}", lambda: (self.check_alive() or
                                                  self.windows(name=title)), timeout)[0]

    def wait_gone(self, wid, what, timeout=TIMEOUT):
        poll(f"{what} to disappear", lambda: not self.session.is_viewable(wid), timeout)

    def tray_icon(self):
        panels = self.session.find_windows(name="panel", res_class="trayer")
        pids = self.window_ids()
        icons = [w for w in self.session.windows()
                 if w.wid in pids and any(p.contains(w) and w.depth > p.depth for p in panels)]
        return icons[0] if icons else None

    def wait_exit(self, timeout=TIMEOUT):
        """Waits for the process to end; returns its status."""
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"{self.name} did not end within {timeout:g} s") from None

    def group_gone(self, timeout=5):
        pgid = self.proc.pid
        poll(f"{self.name}'s process group to be empty",
             lambda: not XSession.group_alive(pgid), timeout=timeout)


def print_tail(path, label, size=2000):
    try:
        with open(path, errors="replace") as f:
            text = f.read()[-size:]
        if text.strip():
            print(f"--- {label} ---", text, sep="\n", file=sys.stdout)
    except FileNotFoundError:
        pass


def parse_test_args(doc, add_arguments=None):
    """The command line of a GUI test script: the program, the shots folder, the speech speed,
    --keep and what add_arguments adds; the rest goes to unittest. Empties the shots folder and
    lets SIGTERM end a run that hangs like a failure, so that it still tears down."""
    parser = argparse.ArgumentParser(description=doc.splitlines()[0])
    parser.add_argument("--brevon", required=True, help="the program to drive")
    parser.add_argument("--shots", help="folder for the screenshots of each step")
    if add_arguments:
        add_arguments(parser)
    # Fast, but slow enough that the splash stands long enough to be seen (about 0.7 s).
    parser.add_argument("--speech-speed", type=float, default=4,
                        help="how much faster than real time the silent speech sink runs")
    parser.add_argument("--keep", action="store_true", help="keep the run's temporary files")
    args, rest = parser.parse_known_args()
    args.brevon = os.path.abspath(args.brevon)
    if args.shots:
        shutil.rmtree(args.shots, ignore_errors=True)
        os.makedirs(args.shots)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("terminated"))
    return args, [sys.argv[0], *rest]


def end_session_folder(folder, keep):
    """The end of a test's X session folder: the tails of the X server's and the tray's logs,
    then the folder goes, or stays with --keep."""
    for name in ("Xvfb", "trayer"):
        print_tail(os.path.join(folder, f"{name}.log"), f"{name} output")
    if keep:
        print(f"kept {folder}", file=sys.stderr)
    else:
        shutil.rmtree(folder, ignore_errors=True)
