"""What the GUI tests share: brevon's settings file, one brevon process under an X session with
the files it writes (trace, speech transcript, output) and the screenshots of its steps, and
the stage a test class runs it on (the X session, a Dovecot or POP3 stubs, a session bus), set
up before its first test and ended after its last.

Standard library only.
"""

import argparse
import contextlib
import os
import re
import shlex
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import unittest

from xsession import Image, XSession, poll, session_dying_with_parent

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__)))))
sys.path.insert(0, os.path.join(SOURCE, "tools", "demo"))

from demoserver import DEFAULT_MAILBOX, DemoServer  # noqa: E402

SETTINGS_KEY = r"HKEY_CURRENT_USER\SOFTWARE\Tolvani Speech Technology\Brevon"

TIMEOUT = 10  # seconds for anything the program is asked to do

# A whole set of a user's settings but the mailbox's: the bar shown at 300, 200, the options
# at 40, 420, a check every five minutes.
USER_SETTINGS = {
    "X": 300, "Y": 200, "XI": 40, "YI": 420, "Voice": 7, "Pitch": 5, "Volume": 8, "Tempo": 5,
    "Interval in minuten": 5, "NumSaveMails": 20, "UseNumSaveMails": True,
    "Reverse": False, "SkipReply": False, "SemiService9X": False, "UseLid": False,
    "ShowWindow": True,
}


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

    def around(self, label, window, margin=4, zoom=1):
        """A screenshot whose detail is window with margin pixels around it."""
        return self.take(label, crop=(window.x - margin, window.y - margin,
                                      window.width + 2 * margin, window.height + 2 * margin),
                         zoom=zoom)


def read_lines(path):
    """The lines of a file the program may not have written yet (none then)."""
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read().splitlines()
    except FileNotFoundError:
        return []


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
        self.reported = False

    def start(self):
        self.make_viewer()
        env = {k: v for k, v in os.environ.items() if k not in _FOREIGN_ENV}
        env.update({
            "HOME": self.dirs["home"],
            "XDG_CONFIG_HOME": self.dirs["config"],
            "XDG_DATA_HOME": self.dirs["data"],
            "XDG_RUNTIME_DIR": self.dirs["runtime"],
            # No session bus (unless the test gives one): Qt then embeds its icon in the X tray,
            # which trayer hosts. An address that leads nowhere, because without any the D-Bus
            # library launches a bus on the X display, which outlives the program.
            "DBUS_SESSION_BUS_ADDRESS": "unix:path=" + os.path.join(self.dirs["runtime"],
                                                                    "no-bus"),
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
        return read_lines(self.viewer_log)

    def report(self):
        """What the program reported, for reading a failure after the fact."""
        self.reported = True
        print(f"\n--- {self.name} trace ---", *self.trace(), sep="\n")
        print(f"--- {self.name} speech transcript ---",
              *["\t".join(line) for line in self.spoken_in()], sep="\n")
        print(f"--- {self.name} output ---", self.log(), sep="\n")

    # -- what the program wrote

    def trace(self):
        return read_lines(self.trace_file)

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
        lines = [line.split("\t", 3) for line in read_lines(self.transcript)]
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

    def wait_focus(self, window, what, timeout=TIMEOUT):
        poll(f"{what} to hold the keyboard's focus",
             lambda: self.session.focused_window() == window.wid, timeout)

    def options_by_keys(self, timeout=TIMEOUT):
        """The options opened by keys alone: the global key gives the bar the focus, the Menu
        key opens the tray's menu on it, and its "&Instellingen" the options; returns the
        dialog once it holds the focus."""
        after = len(self.trace())
        self.session.key("ctrl+alt+shift+b")
        self.wait_trace(re.escape("Global key Ctrl+Alt+Shift+B"), after, timeout)
        bar = self.wait_window("Brevon", timeout)
        self.wait_focus(bar, "the bar", timeout)
        after = len(self.trace())
        self.session.key("Menu")
        self.wait_trace(r"Menu .*", after, timeout)
        self.session.key("i")
        self.wait_trace("ShowOptions", after, timeout)
        dialog = self.wait_window("Instellingen", timeout)
        self.wait_focus(dialog, "the options", timeout)
        return dialog

    def options_from_bar(self, bar_at, timeout=TIMEOUT):
        """The options opened by a click on the settings word of the bar standing at bar_at;
        returns the dialog."""
        after = len(self.trace())
        self.session.click(bar_at[0] + 320, bar_at[1] + 9)
        self.wait_trace("ShowOptions", after, timeout)
        return self.wait_window("Instellingen", timeout)

    def options_field(self, dialog, tabs):
        """Puts the cursor in the options' host field, tabs forward tabs times and selects the
        text there, for typing over."""
        # The dialog grows across and down apart with its captions' font: one factor each.
        across, down = dialog.width / 288, dialog.height / 334
        tab_bar = 29  # the page starts below the tabs
        self.session.click(dialog.x + round(across * 172), dialog.y + tab_bar + round(down * 62))
        self.session.key(*["Tab"] * tabs, "ctrl+a")

    def tray_menu(self, timeout=TIMEOUT):
        """Opens the tray icon's menu with a right click; returns the states of its items as
        traced, and the menu's window."""
        icon = poll("brevon's icon in the tray", self.tray_icon, timeout)
        before = {w.wid for w in self.windows()}
        after = len(self.trace())
        self.session.click(icon.x + icon.width // 2, icon.y + icon.height // 2, 3)
        _, m = self.wait_trace(r"Menu (.*)", after, timeout)
        menu = poll("the menu to open", lambda: [w for w in self.windows()
                                                 if w.wid not in before], timeout)[0]
        return dict(item.split("=", 1) for item in m.group(1).split(";")), menu

    def close_from_tray(self, timeout=TIMEOUT):
        """"&Sluiten" from the tray menu: the program ends with status 0, "Shutdown" last in
        its trace and nothing left of its process group. Returns the states the menu showed."""
        states, _ = self.tray_menu(timeout)
        self.session.key("s")  # "&Sluiten"
        status = self.wait_exit(timeout)
        if status != 0:
            raise AssertionError(f"{self.name} ended with status {status}; see its output:\n"
                                 f"{self.log()}")
        if self.trace()[-1:] != ["Shutdown"]:
            raise AssertionError(f"{self.name}'s trace does not end in Shutdown: "
                                 f"{self.trace()[-5:]}")
        self.group_gone()
        return states

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


# -- the stage a test class runs brevon on ----------------------------------------------------

class EmptyMailbox:
    """A POP3 server on 127.0.0.1 with an empty mailbox, so the checks the shell starts are real
    conversations that find nothing new. Serves any number of connections, one at a time."""

    def __init__(self):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(4)
        self.sock.settimeout(0.2)
        self.port = self.sock.getsockname()[1]
        self.commands = []
        self.stopping = False
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        while not self.stopping:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                continue
            with conn:
                conn.settimeout(10)
                try:
                    self.converse(conn)
                except OSError:
                    pass

    def converse(self, conn):
        conn.sendall(b"+OK ready\r\n")
        pending = b""
        while True:
            data = conn.recv(1024)
            if not data:
                return
            pending += data
            while b"\r\n" in pending:
                line, pending = pending.split(b"\r\n", 1)
                verb = line.split(b" ", 1)[0].upper()
                self.commands.append(verb.decode("ascii", "replace"))
                answer = {b"STAT": b"+OK 0 0", b"QUIT": b"+OK bye", b"USER": b"+OK",
                          b"PASS": b"+OK"}.get(verb, b"-ERR unknown command")
                conn.sendall(answer + b"\r\n")
                if verb == b"QUIT":
                    return

    def account(self, user, password):
        """The settings that lead brevon here, without TLS."""
        return {"Host": "127.0.0.1", "Beveiliging": "Geen", "Poort": str(self.port),
                "User": user, "Password": scramble_password(password.encode("cp1252"))}

    def close(self):
        self.stopping = True
        self.thread.join(timeout=2)
        self.sock.close()


class Stage:
    """What the runs of brevon of one test class share, in a temporary folder of its own: an X
    session with a tray host and the screenshots of its steps, and what the class asks for
    beside it (a Dovecot, POP3 stubs, a session bus). close() ends it all and prints what the
    runs wrote when a test failed."""

    def __init__(self, args, prefix):
        self.args = args
        self.tmp = tempfile.mkdtemp(prefix=prefix)
        self.session = None
        self.shots = None
        self.server = None
        self.stubs = []
        self.bus = None  # the address of the session bus of the test's own
        self.failed = False
        self._runs = []
        self._ends = []  # what close() calls after the X session, last added first

    def open(self, dovecot=None, mailbox=None, stubs=0, bus=None):
        """dovecot: a Dovecot to start (True, or a DemoServer class of the test's) on mailbox
        ({file name: text} written, [names in the demo mailbox] copied in that order, None: the
        demo mailbox); stubs: how many EmptyMailbox servers; bus: a session bus of the test's
        own, True for the usual one or the text of a configuration whose address is
        unix:path={socket}."""
        try:
            if dovecot:
                self._start_dovecot(dovecot, mailbox)
            for _ in range(stubs):
                self.stubs.append(EmptyMailbox())
                self.at_close(self.stubs[-1])
            self.session = XSession(self.tmp)
            self.session.start()
            self.shots = Shots(self.session, self.args.shots)
            if bus:
                self.bus = self._start_bus(bus if isinstance(bus, str) else None)
        except BaseException:
            self.failed = True
            self.close()
            raise
        return self

    def at_close(self, thing):
        """Has close() end thing: a process (its whole group), or anything with a close()."""
        if isinstance(thing, subprocess.Popen):
            self._ends.append(lambda: XSession.end_process(thing))
        else:
            self._ends.append(thing.close)

    def _start_dovecot(self, server_class, mailbox):
        if os.geteuid() == 0:
            # Started by root, Dovecot reads its files as its own users, and the demo server
            # opens up only its own folder: the folders above it must let them pass.
            os.chmod(self.tmp, 0o711)
        folder = DEFAULT_MAILBOX
        if mailbox is not None:
            folder = os.path.join(self.tmp, "mailbox")
            os.makedirs(folder)
            if isinstance(mailbox, dict):
                for name, text in mailbox.items():
                    with open(os.path.join(folder, name), "w", encoding="ascii",
                              newline="") as f:
                        f.write(text)
            else:
                for n, name in enumerate(mailbox, start=1):
                    shutil.copy(os.path.join(DEFAULT_MAILBOX, name),
                                os.path.join(folder, f"{n:02d}.eml"))
        if server_class is True:
            server_class = DemoServer
        self.server = server_class(os.path.join(self.tmp, "server"), mailbox=folder)
        self.at_close(self.server)
        self.server.start()

    def _start_bus(self, config):
        """A session bus with the display in its environment, so that what it starts on
        demand (the accessibility bus) finds it, and a runtime folder of its own, where the
        accessibility bus puts its socket; returns its address."""
        runtime = os.path.join(self.tmp, "bus-runtime")
        os.makedirs(runtime, mode=0o700)
        argv = ["dbus-daemon", "--nofork", "--print-address=1"]
        if config:
            path = os.path.join(self.tmp, "bus.conf")
            with open(path, "w", encoding="utf-8") as f:
                f.write(config.format(socket=os.path.join(runtime, "bus")))
            argv.append("--config-file=" + path)
        else:
            argv.append("--session")
        proc = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                stdin=subprocess.DEVNULL,
                                env=dict(self.session.env(), XDG_RUNTIME_DIR=runtime),
                                preexec_fn=session_dying_with_parent())
        self.at_close(proc)
        address = proc.stdout.readline().decode().strip()
        if not address:
            raise RuntimeError("dbus-daemon gave no address")
        return address

    def account(self, password=True):
        """The settings that lead brevon to the Dovecot over TLS as its user, with the
        password stored (scrambled) or left empty."""
        server = self.server
        return {"Host": server.host, "User": server.user,
                "Password": (scramble_password(server.password.encode("cp1252"))
                             if password else b""),
                "Beveiliging": "SSL/TLS", "Poort": str(server.tls_port)}

    def brevon(self, name="brevon", root=None, settings=None, env=None):
        """A brevon on this stage, not started yet: its folders below root (the stage's folder
        unless said), settings written when given, and in its environment the Dovecot's
        authority and the session bus where there are."""
        full_env = {}
        if self.server:
            # The program trusts the system's authorities; this one is the demo server's own.
            full_env["SSL_CERT_FILE"] = self.server.ca_file
        if self.bus:
            full_env["DBUS_SESSION_BUS_ADDRESS"] = self.bus
        full_env.update(env or {})
        b = Brevon(self.session, self.args.brevon, root or self.tmp, name=name,
                   speech_speed=self.args.speech_speed, env=full_env)
        if settings is not None:
            write_settings(b.settings_file, settings)
        self._runs.append(b)
        return b

    @contextlib.contextmanager
    def running(self, b):
        """b started for the block; reported when the block fails, and ended as it leaves."""
        b.start()
        try:
            yield b
        except BaseException:
            b.report()
            raise
        finally:
            XSession.end_process(b.proc)

    def close(self):
        """Ends the X session and all on it, then what else the stage started, last first;
        prints the runs' reports and the Dovecot's log when a test failed."""
        if self.session:
            self.session.close()
        if self.failed:
            for b in self._runs:
                if b.proc and not b.reported:
                    b.report()
            log = self.server.log() if self.server else ""
            if log:
                print("--- dovecot log ---", log[-3000:], sep="\n")
        for end in reversed(self._ends):
            end()
        self._ends.clear()
        end_session_folder(self.tmp, self.args.keep)


class GuiTest(unittest.TestCase):
    """A test class whose tests share one Stage, opened before the first as the class says and
    closed after the last; self.stage, and its tmp, session, server and shots reach it."""

    args = None  # the command line, set by main()
    prefix = "brevon-gui-"
    dovecot = None  # True or a DemoServer class, with mailbox as Stage.open takes them
    mailbox = None
    stubs = 0
    bus = None
    stage = tmp = session = server = shots = None
    failed = None  # the name of the first test that failed

    @classmethod
    def setUpClass(cls):
        stage = cls.stage = Stage(cls.args, cls.prefix).open(
            dovecot=cls.dovecot, mailbox=cls.mailbox, stubs=cls.stubs, bus=cls.bus)
        cls.tmp, cls.session, cls.server = stage.tmp, stage.session, stage.server
        cls.shots = stage.shots
        try:
            cls.set_up()
        except BaseException:
            stage.failed = True
            stage.close()
            raise

    @classmethod
    def set_up(cls):
        """What the class adds to the stage before its first test."""

    @classmethod
    def tearDownClass(cls):
        cls.stage.close()

    def run(self, result=None):
        before = len(result.failures) + len(result.errors) if result else 0
        super().run(result)
        if result and len(result.failures) + len(result.errors) > before:
            type(self).stage.failed = True
            if not type(self).failed:
                type(self).failed = self._testMethodName


def main(doc, add_arguments=None):
    """Runs the test classes of the script with its command line (see parse_test_args)."""
    GuiTest.args, argv = parse_test_args(doc, add_arguments)
    unittest.main(module="__main__", argv=argv, verbosity=2)
