#!/usr/bin/env python3
"""`make demo`: brevon reads the sample mailbox of tools/demo/mailbox from a throwaway POP3
server on this machine.

With a desktop (DISPLAY or WAYLAND_DISPLAY set) the real brevon starts on it and runs until it
is closed from its tray menu ("Sluiten"). Without one it runs under its own Xvfb with trayer as
the tray host and a silent speech engine: the demo waits for the announcement of new mail,
presses play on the bar for the first message, and closes brevon through the tray menu.
Either way every text brevon speaks is printed as it is spoken.

The server, the settings, the message lists and the X session live in one throwaway folder,
removed at the end, also after Ctrl+C or SIGTERM. Usage:

    demo.py [--build DIR] [--headless] [--speed FACTOR] [--all]
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

# The demo runs from the source tree: no __pycache__ folders left in it.
sys.dont_write_bytecode = True

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(SOURCE, "tests", "app", "gui"))

from demoserver import DemoServer, DemoServerError  # noqa: E402
from xsession import XSession, poll, session_dying_with_parent  # noqa: E402

# Where the headless demo puts the bar (the "X" and "Y" settings), and the centres of the
# buttons it presses, in bar pixels.
BAR_X, BAR_Y = 300, 200
PLAY = (134, 17)
FORWARD = (258, 17)

WAIT = 30  # seconds for anything brevon is asked to do
SPEECH_WAIT = 180  # seconds for one spoken text to end (the null sink keeps speech time)

ANNOUNCEMENT = re.compile(r"Er (?:zijn (\d+) nieuwe berichten|is een nieuw bericht)")
# What brevon says when it cannot reach or log in to the server (it then waits for the user
# to fix the settings, which a headless demo cannot do).
CONNECTION_TROUBLE = re.compile(r"Ik kan (?:nog \\\+steeds )?(?:geen verbinding|niet \\\+in)")

# Variables of the calling desktop that would change what the headless brevon does.
FOREIGN_ENV = ("DBUS_SESSION_BUS_ADDRESS", "SESSION_MANAGER", "XAUTHORITY",
               "QT_QPA_PLATFORMTHEME", "QT_STYLE_OVERRIDE", "QT_SCALE_FACTOR", "WAYLAND_DISPLAY",
               "BREVON_TRACE", "QVSTTS_SINK", "QVSTTS_TRANSCRIPT", "SSL_CERT_DIR")

class Interrupted(BaseException):
    """Ctrl+C or SIGTERM: the demo ends, after cleaning up."""

    def __init__(self, signum):
        super().__init__(signal.Signals(signum).name)
        self.signum = signum


class DemoError(Exception):
    pass


def say(text):
    print(f"demo: {text}", flush=True)


# -- settings -----------------------------------------------------------------------------------

def configure(tool, config_dir, values):
    """Writes brevon's settings into config_dir (what $XDG_CONFIG_HOME/brevon is for the
    program) with brevon-config, one value at a time; the first write puts brevon's first-run
    defaults in with it. The password goes through standard input, never on a command line."""
    if not os.access(tool, os.X_OK):
        raise DemoError(f"brevon-config is not built ({tool}); build the project first")
    for name, value in values.items():
        secret = name == "Password"
        argv = [tool, "--config-dir", config_dir, "set", name, "-" if secret else str(value)]
        try:
            result = subprocess.run(argv, input=(value + "\n") if secret else "",
                                    capture_output=True, text=True, timeout=WAIT)
        except subprocess.TimeoutExpired:
            raise DemoError(f"brevon-config set {name} did not finish within {WAIT} s") from None
        if result.returncode != 0:
            raise DemoError(f"brevon-config set {name} failed: {result.stderr.strip()}")


# -- following what brevon writes ---------------------------------------------------------------

class Transcript:
    """The speech engine's transcript (time, target window, text per line), printed line by
    line as brevon speaks; the texts stay in .texts."""

    def __init__(self, path, out=sys.stdout):
        self.path = path
        self.out = out
        self.texts = []
        self._offset = 0
        self._pending = b""

    def pump(self):
        """Prints and keeps the lines written since the last call; returns them."""
        try:
            with open(self.path, "rb") as f:
                f.seek(self._offset)
                data = f.read()
        except FileNotFoundError:
            return []
        self._offset += len(data)
        self._pending += data
        *lines, self._pending = self._pending.split(b"\n")
        fresh = []
        for line in lines:
            # Time, target, text and, for a text read in another language than Dutch, its code.
            fields = line.decode("utf-8", "replace").split("\t", 3)
            text = fields[2] if len(fields) > 2 else fields[-1]
            language = f" ({fields[3]})" if len(fields) > 3 else ""
            fresh.append(text)
            # Lines of one text end in CR LF (a lone CR between announcement and header);
            # shown as " | " so one spoken text stays one printed line.
            shown = re.sub(r"(?:\\r\\n|\\r|\\n)+", " | ", text).strip(" |")
            print(f"brevon{language}: {shown}", file=self.out, flush=True)
        self.texts.extend(fresh)
        return fresh

    def index_of(self, regex, start=0):
        for i in range(start, len(self.texts)):
            if regex.search(self.texts[i]):
                return i
        return None


class Trace:
    """brevon's BREVON_TRACE file: one line per event."""

    def __init__(self, path):
        self.path = path

    def lines(self):
        try:
            with open(self.path, encoding="utf-8", errors="replace") as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def count(self, line, start=0):
        return sum(1 for x in self.lines()[start:] if x == line)


# -- the two ways of running --------------------------------------------------------------------

def run_on_desktop(brevon, env, transcript):
    """The real brevon on the caller's desktop, until the user closes it."""
    say("brevon starts on your desktop; it greets you, checks the demo mailbox and announces "
        "the new mail. Press play on its bar to hear a message; close it with \"Sluiten\" in "
        "its tray menu (or press Ctrl+C here).")
    proc = subprocess.Popen([brevon], env=env, stdin=subprocess.DEVNULL,
                            preexec_fn=session_dying_with_parent(signal.SIGTERM))
    try:
        while proc.poll() is None:
            transcript.pump()
            time.sleep(0.2)
        transcript.pump()
        say(f"brevon ended with status {proc.returncode}")
        return proc.returncode
    finally:
        XSession.end_process(proc, grace=10)


class Headless:
    """brevon under a private Xvfb with trayer, driven with xdotool."""

    def __init__(self, session, brevon, env, workdir, transcript, trace):
        self.session = session
        self.transcript = transcript
        self.trace = trace
        self.workdir = workdir
        self.proc = session.spawn("brevon", [brevon], env=env)

    def log(self):
        try:
            with open(os.path.join(self.workdir, "brevon.log"), errors="replace") as f:
                return f.read()[-3000:]
        except FileNotFoundError:
            return ""

    def check(self):
        """Prints what has been spoken; fails when brevon has ended or cannot reach the
        server."""
        self.transcript.pump()
        if self.proc.poll() is not None:
            raise DemoError(f"brevon ended early with status {self.proc.returncode}; its "
                            f"output:\n{self.log()}")
        if self.transcript.index_of(CONNECTION_TROUBLE) is not None or any(
                line.startswith("POP3 error") for line in self.trace.lines()):
            raise DemoError("brevon could not use the demo server; its trace:\n" +
                            "\n".join(self.trace.lines()[-15:]))

    def wait(self, what, predicate, timeout=WAIT):
        return poll(what, lambda: self.check() or predicate(), timeout, interval=0.1)

    def click_bar(self, point):
        self.session.click(BAR_X + point[0], BAR_Y + point[1])

    def press(self, point, traced, what):
        """Clicks a bar button until brevon traces the operation (the button may still be
        disabled for a moment); returns the trace length before the click that took."""
        def attempt():
            before = len(self.trace.lines())
            self.click_bar(point)
            try:
                poll(what, lambda: self.check() or traced in self.trace.lines()[before:], 2)
                return before + 1
            except TimeoutError:
                return None
        return self.wait(what, attempt)

    def tray_icon(self):
        out = subprocess.run(["xdotool", "search", "--pid", str(self.proc.pid)],
                             env=self.session.env(), capture_output=True, text=True,
                             timeout=10).stdout
        ours = {int(w) for w in out.split()}
        panels = self.session.find_windows(name="panel", res_class="trayer")
        icons = [w for w in self.session.windows()
                 if w.wid in ours and any(p.contains(w) and w.depth > p.depth for p in panels)]
        return icons[0] if icons else None

    def run(self, read_all):
        say("waiting for the greeting and the announcement of new mail")
        first = self.wait("the announcement of new mail",
                          lambda: self.transcript.index_of(ANNOUNCEMENT), timeout=90)
        m = ANNOUNCEMENT.search(self.transcript.texts[first])
        new = int(m.group(1)) if m.group(1) else 1
        self.wait(f"the header sentences of {new} new messages",
                  lambda: self.trace.count("Header spoken") >= new, SPEECH_WAIT)

        say("pressing play on the bar: brevon fetches message 1 and reads it")
        after = self.press(PLAY, "PlayMessage", "play to be taken")
        self.wait("the end of the reading",
                  lambda: "Body spoken" in self.trace.lines()[after:], SPEECH_WAIT)

        if read_all:
            for _ in range(1, new):
                say("pressing forward, then play")
                after = self.press(FORWARD, "NextMessage", "forward to be taken")
                self.wait("the header sentence",
                          lambda: "Header spoken" in self.trace.lines()[after:], SPEECH_WAIT)
                after = self.press(PLAY, "PlayMessage", "play to be taken")
                self.wait("the end of the reading",
                          lambda: "Body spoken" in self.trace.lines()[after:], SPEECH_WAIT)

        say("closing brevon through its tray menu (\"Sluiten\")")
        try:
            icon = self.wait("brevon's icon in the tray", self.tray_icon)
            before = len(self.trace.lines())
            self.session.click(icon.x + icon.width // 2, icon.y + icon.height // 2, 3)
            self.wait("the tray menu",
                      lambda: any(x.startswith("Menu ") for x in self.trace.lines()[before:]))
            self.session.key("s")  # "&Sluiten"
            status = self.proc.wait(timeout=WAIT)
        except (TimeoutError, subprocess.TimeoutExpired) as e:
            say(f"the tray menu did not close brevon ({e}); sending SIGTERM")
            XSession.end_process(self.proc, grace=10)
            status = self.proc.returncode
        self.transcript.pump()
        if status != 0:
            raise DemoError(f"brevon ended with status {status}; its output:\n{self.log()}")
        say("brevon has ended")
        return 0


# -- main ---------------------------------------------------------------------------------------

def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.path.join(SOURCE, "build"),
                        help="the build folder with app/brevon and tools/brevon-config")
    parser.add_argument("--brevon", help="the program (default: BUILD/app/brevon)")
    parser.add_argument("--config-tool",
                        help="brevon-config (default: BUILD/tools/brevon-config/brevon-config)")
    parser.add_argument("--headless", action="store_true",
                        help="run under a private Xvfb even when a desktop is there")
    parser.add_argument("--speed", type=float, default=4,
                        help="headless: how many times faster than real time the silent "
                             "speech engine speaks (default 4)")
    parser.add_argument("--all", action="store_true",
                        help="headless: read every message, not only the first")
    parser.add_argument("--keep", action="store_true",
                        help="keep the throwaway folder (logs, trace, transcript) for a look")
    parser.add_argument("--tmp", help="where to make the throwaway folder (default: the "
                                      "system's temporary folder)")
    args = parser.parse_args()
    brevon = args.brevon or os.path.join(args.build, "app", "brevon")
    tool = args.config_tool or os.path.join(args.build, "tools", "brevon-config", "brevon-config")
    desktop = not args.headless and bool(os.environ.get("DISPLAY") or
                                         os.environ.get("WAYLAND_DISPLAY"))

    # One signal ends the demo in order; while it cleans up, more of them are ignored so the
    # cleanup itself is never cut short.
    interrupted = []

    def on_signal(signum, _frame):
        if not interrupted:
            interrupted.append(signum)
            raise Interrupted(signum)

    signal.signal(signal.SIGINT, on_signal)
    signal.signal(signal.SIGTERM, on_signal)

    tmp = tempfile.mkdtemp(prefix="brevon-demo-", dir=args.tmp)
    session = None
    server = None
    status = 1
    try:
        if not os.access(brevon, os.X_OK):
            raise DemoError(f"brevon is not built ({brevon}); run 'make demo' or build first")
        server = DemoServer(os.path.join(tmp, "server"))
        server.start()
        say(f"POP3 server (Dovecot) on {server.host}, port {server.port} (STARTTLS) and "
            f"{server.tls_port} (SSL/TLS); user {server.user}, ten sample messages")

        dirs = {}
        for name in ("home", "config", "data", "runtime"):
            dirs[name] = os.path.join(tmp, name)
            os.makedirs(dirs[name], mode=0o700)
        settings = {
            "Host": server.host, "User": server.user, "Password": server.password,
            "Beveiliging": "SSL/TLS", "Poort": server.tls_port, "Interval in minuten": 1,
            # The English and the French sample are read in their own language; mail in a
            # language outside the six would be announced as most likely not Dutch.
            "UseLid": 1, "EigenTaal": 1,
        }
        if not desktop:
            settings.update({"X": BAR_X, "Y": BAR_Y})
        configure(tool, os.path.join(dirs["config"], "brevon"), settings)

        env = {k: v for k, v in os.environ.items() if k != "SSL_CERT_DIR"}
        env.update({
            "XDG_CONFIG_HOME": dirs["config"],
            "XDG_DATA_HOME": dirs["data"],
            # Trust the demo's own certificate authority (OpenSSL's default verify paths).
            "SSL_CERT_FILE": server.ca_file,
        })
        transcript = Transcript(os.path.join(tmp, "transcript.txt"))

        if desktop:
            env.pop("QVSTTS_SINK", None)
            env["QVSTTS_TRANSCRIPT"] = transcript.path
            status = run_on_desktop(brevon, env, transcript)
        else:
            say("no desktop here: brevon runs under its own Xvfb with trayer, speech is silent "
                "and printed below")
            for key in FOREIGN_ENV:
                env.pop(key, None)
            env.update({
                "QVSTTS_TRANSCRIPT": transcript.path,
                "HOME": dirs["home"],
                "XDG_RUNTIME_DIR": dirs["runtime"],
                # No session bus: Qt then puts its icon in the X tray that trayer hosts. An
                # address that leads nowhere, because without any the D-Bus library launches a
                # bus on the X display, which would outlive the demo.
                "DBUS_SESSION_BUS_ADDRESS": "unix:path=" + os.path.join(dirs["runtime"], "no-bus"),
                "QT_QPA_PLATFORM": "xcb",
                "QVSTTS_SINK": f"null:{args.speed:g}",
                "BREVON_TRACE": os.path.join(tmp, "trace.txt"),
                "BROWSER": "true",
                "SSL_CERT_FILE": server.ca_file,
            })
            session = XSession(os.path.join(tmp, "x"))
            os.makedirs(session.workdir)
            session.start()
            run = Headless(session, brevon, env, session.workdir, transcript,
                           Trace(env["BREVON_TRACE"]))
            status = run.run(args.all)
    except Interrupted as e:
        print(file=sys.stderr)
        say(f"{e}: stopping")
        status = 128 + e.signum
    except (DemoError, DemoServerError, RuntimeError, TimeoutError, OSError,
            subprocess.SubprocessError) as e:
        print(f"demo: {e}", file=sys.stderr)
        status = 1
    finally:
        # From here on a signal only marks the demo as interrupted.
        interrupted.append(0)
        if session is not None:
            session.close()
        if server is not None:
            server.close()
        if args.keep:
            say(f"kept {tmp}")
        else:
            shutil.rmtree(tmp, ignore_errors=True)
    return status


if __name__ == "__main__":
    sys.exit(main())
