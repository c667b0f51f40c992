"""A private X display for driving a program from outside: Xvfb, a system tray host
(trayer), the program under test, and the means to look at and poke the screen (xwininfo,
xdotool, ImageMagick's import).

Standard library only. Every child runs in its own session (process group) and is told by the
kernel to die with this process, so nothing outlives the test, not even when the test runner
kills it; every wait is a bounded poll.
"""

import ctypes
import ctypes.util
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import time
import zlib

SCREEN_WIDTH = 1024
SCREEN_HEIGHT = 768

_PR_SET_PDEATHSIG = 1
_libc = ctypes.CDLL(ctypes.util.find_library("c") or "libc.so.6", use_errno=True)


def session_dying_with_parent(death_signal=signal.SIGKILL):
    """A preexec_fn, run in the child between fork and exec: a new process group, so the whole
    tree can be signalled at once, and death_signal when the parent goes away without cleaning
    up."""
    def preexec():
        os.setsid()
        _libc.prctl(_PR_SET_PDEATHSIG, death_signal, 0, 0, 0)
    return preexec


_own_session_dying_with_parent = session_dying_with_parent()


def poll(what, predicate, timeout, interval=0.05):
    """Calls predicate until it returns something true and returns that; raises
    TimeoutError naming what was awaited when timeout seconds pass first."""
    deadline = time.monotonic() + timeout
    while True:
        result = predicate()
        if result:
            return result
        if time.monotonic() >= deadline:
            raise TimeoutError(f"timed out after {timeout:g} s waiting for {what}")
        time.sleep(interval)


class Image:
    """An RGB screenshot: width, height and 3 bytes per pixel, row by row."""

    def __init__(self, width, height, rgb):
        self.width = width
        self.height = height
        self.rgb = rgb

    @staticmethod
    def from_ppm(data):
        # P6 header: magic, width, height, maximum value, each followed by white space
        # (comments do not occur in what ImageMagick writes).
        fields = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
        if not fields:
            raise ValueError("not a binary PPM image")
        width, height, maxval = (int(v) for v in fields.groups())
        if maxval != 255:
            raise ValueError(f"PPM with maximum value {maxval}, expected 255")
        rgb = data[fields.end():fields.end() + width * height * 3]
        if len(rgb) != width * height * 3:
            raise ValueError("PPM image is truncated")
        return Image(width, height, rgb)

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.rgb[i:i + 3])

    def crop(self, x, y, width, height):
        x0, y0 = max(x, 0), max(y, 0)
        x1, y1 = min(x + width, self.width), min(y + height, self.height)
        rows = [self.rgb[(r * self.width + x0) * 3:(r * self.width + x1) * 3] for r in range(y0, y1)]
        return Image(x1 - x0, y1 - y0, b"".join(rows))

    def mean_brightness(self):
        return sum(self.rgb) / max(len(self.rgb), 1)

    def save_png(self, path):
        def chunk(kind, payload):
            body = kind + payload
            return struct.pack(">I", len(payload)) + body + struct.pack(">I", zlib.crc32(body))

        stride = self.width * 3
        raw = b"".join(b"\x00" + self.rgb[r * stride:(r + 1) * stride] for r in range(self.height))
        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)
        with open(path, "wb") as out:
            out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                      chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))


class Window:
    """One line of `xwininfo -root -tree`."""

    def __init__(self, wid, name, res_name, res_class, width, height, x, y, depth, parent):
        self.wid = wid
        self.name = name
        self.res_name = res_name
        self.res_class = res_class
        self.width = width
        self.height = height
        self.x = x  # absolute, on the screen
        self.y = y
        self.depth = depth  # 1 for children of the root
        self.parent = parent

    def contains(self, other):
        return (self.x <= other.x and self.y <= other.y and
                other.x + other.width <= self.x + self.width and
                other.y + other.height <= self.y + self.height)

    def __repr__(self):
        return (f"Window({self.wid:#x} {self.name!r} ({self.res_name!r} {self.res_class!r}) "
                f"{self.width}x{self.height}+{self.x}+{self.y})")


_TREE_LINE = re.compile(
    r'^(?P<indent>\s*)(?P<wid>0x[0-9a-f]+) (?:"(?P<name>(?:[^"\\]|\\.)*)"|\(has no name\)): '
    r'\((?:"(?P<rname>[^"]*)" "(?P<rclass>[^"]*)")?\)\s+'
    r'(?P<w>\d+)x(?P<h>\d+)[+-]-?\d+[+-]-?\d+\s+\+(?P<x>-?\d+)\+(?P<y>-?\d+)')


class XSession:
    """Xvfb on a free display, with a coloured root window and a tray host."""

    def __init__(self, workdir, root_colour="#ff00ff"):
        self.workdir = workdir
        self.root_colour = root_colour
        self.display = None
        self._children = []  # (name, Popen), started in this order, ended in reverse

    # -- lifetime -------------------------------------------------------------------------

    def start(self):
        for tool in ("Xvfb", "xdpyinfo", "xsetroot", "trayer", "xdotool", "xwininfo", "import"):
            if not shutil.which(tool):
                raise RuntimeError(f"{tool} is not installed (scripts/install-deps installs it)")
        self._start_xvfb()
        self._run(["xsetroot", "-solid", self.root_colour])
        self._start_tray()

    def close(self):
        for name, proc in reversed(self._children):
            self.end_process(proc)
        self._children.clear()

    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()

    def spawn(self, name, argv, env=None, **kwargs):
        """Starts argv on this display in its own process group, output logged to
        workdir/<name>.log; ended by close()."""
        full_env = dict(env if env is not None else os.environ)
        full_env["DISPLAY"] = self.display
        log = open(os.path.join(self.workdir, f"{name}.log"), "wb")
        try:
            proc = subprocess.Popen(argv, env=full_env, stdin=subprocess.DEVNULL, stdout=log,
                                    stderr=subprocess.STDOUT,
                                    preexec_fn=_own_session_dying_with_parent, **kwargs)
        finally:
            log.close()
        self._children.append((name, proc))
        return proc

    @staticmethod
    def end_process(proc, grace=3.0):
        """Ends proc's whole process group: SIGTERM, then SIGKILL after grace seconds."""
        for sig in (signal.SIGTERM, signal.SIGKILL):
            try:
                os.killpg(proc.pid, sig)
            except ProcessLookupError:
                break
            try:
                proc.wait(timeout=grace)
                # The leader is gone; members that ignored SIGTERM still get SIGKILL.
                if sig == signal.SIGTERM and XSession.group_alive(proc.pid):
                    continue
                break
            except subprocess.TimeoutExpired:
                continue
        try:
            proc.wait(timeout=grace)
        except subprocess.TimeoutExpired:
            pass

    @staticmethod
    def group_alive(pgid):
        try:
            os.killpg(pgid, 0)
            return True
        except ProcessLookupError:
            return False
        except PermissionError:
            return True

    def _start_xvfb(self):
        # -displayfd: Xvfb picks a free display itself and writes its number to the pipe
        # once it listens; no race with other X servers on the machine.
        read_end, write_end = os.pipe()
        try:
            log = open(os.path.join(self.workdir, "Xvfb.log"), "wb")
            try:
                proc = subprocess.Popen(
                    ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                     f"{SCREEN_WIDTH}x{SCREEN_HEIGHT}x24", "-nolisten", "tcp",
                     # Without -noreset the server resets when its last client leaves, and
                     # the root colour set by xsetroot is lost.
                     "-noreset"],
                    stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                    pass_fds=(write_end,), preexec_fn=_own_session_dying_with_parent)
            finally:
                log.close()
            self._children.append(("Xvfb", proc))
            os.close(write_end)
            write_end = None
            number = b""
            deadline = time.monotonic() + 15
            while not number.endswith(b"\n"):
                left = deadline - time.monotonic()
                if left <= 0 or proc.poll() is not None:
                    raise RuntimeError("Xvfb did not report a display number; see Xvfb.log")
                ready, _, _ = select.select([read_end], [], [], left)
                if ready:
                    chunk = os.read(read_end, 16)
                    if not chunk:
                        raise RuntimeError("Xvfb closed its display pipe; see Xvfb.log")
                    number += chunk
        finally:
            os.close(read_end)
            if write_end is not None:
                os.close(write_end)
        self.display = ":" + number.decode().strip()
        poll("the X server to answer",
             lambda: self._run(["xdpyinfo"], check=False).returncode == 0, timeout=10,
             interval=0.1)

    def _start_tray(self):
        self.spawn("trayer", ["trayer", "--edge", "top", "--align", "right", "--widthtype",
                              "request", "--height", "24", "--transparent", "false", "--tint",
                              "0x303030", "--SetDockType", "false"])
        # A program asks for the tray's selection owner once, at start; the tray host must
        # own it before the program starts.
        poll("trayer to own the system tray selection", self.tray_selection_owned, timeout=10)
        poll("trayer's panel window", lambda: self.find_windows(res_class="trayer", name="panel"),
             timeout=10)

    # -- queries ----------------------------------------------------------------------------

    def env(self):
        env = dict(os.environ)
        env["DISPLAY"] = self.display
        return env

    def _run(self, argv, check=True, timeout=10):
        return subprocess.run(argv, env=self.env(), stdin=subprocess.DEVNULL,
                              capture_output=True, check=check, timeout=timeout)

    def tray_selection_owned(self):
        name = ctypes.util.find_library("X11") or "libX11.so.6"
        x11 = ctypes.CDLL(name)
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XInternAtom.restype = ctypes.c_ulong
        x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x11.XGetSelectionOwner.restype = ctypes.c_ulong
        x11.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        dpy = x11.XOpenDisplay(self.display.encode())
        if not dpy:
            return False
        try:
            atom = x11.XInternAtom(dpy, b"_NET_SYSTEM_TRAY_S0", 0)
            return x11.XGetSelectionOwner(dpy, atom) != 0
        finally:
            x11.XCloseDisplay(dpy)

    def windows(self):
        """Every window of the display, in stacking order of `xwininfo -root -tree`."""
        out = self._run(["xwininfo", "-root", "-tree"]).stdout.decode("utf-8", "replace")
        found = []
        stack = []  # (indent, window)
        for line in out.splitlines():
            m = _TREE_LINE.match(line)
            if not m:
                continue
            indent = len(m.group("indent"))
            while stack and stack[-1][0] >= indent:
                stack.pop()
            parent = stack[-1][1] if stack else None
            window = Window(int(m.group("wid"), 16), m.group("name"), m.group("rname"),
                            m.group("rclass"), int(m.group("w")), int(m.group("h")),
                            int(m.group("x")), int(m.group("y")),
                            (parent.depth + 1) if parent else 1, parent)
            found.append(window)
            stack.append((indent, window))
        return found

    def find_windows(self, name=None, res_class=None, res_name=None, top_level=None):
        result = []
        for w in self.windows():
            if name is not None and w.name != name:
                continue
            if res_class is not None and w.res_class != res_class:
                continue
            if res_name is not None and w.res_name != res_name:
                continue
            if top_level is not None and (w.depth == 1) != top_level:
                continue
            result.append(w)
        return result

    def window_attributes(self, wid):
        """`xwininfo -id` as a dict ("Map State", "Override Redirect State", ...)."""
        out = self._run(["xwininfo", "-id", hex(wid)], check=False).stdout.decode(
            "utf-8", "replace")
        attributes = {}
        for line in out.splitlines():
            key, sep, value = line.strip().partition(": ")
            if sep:
                attributes[key] = value.strip()
        return attributes

    def is_viewable(self, wid):
        return self.window_attributes(wid).get("Map State") == "IsViewable"

    def viewable_windows(self, **criteria):
        return [w for w in self.find_windows(**criteria) if self.is_viewable(w.wid)]

    def shape_extents(self, wid):
        """The bounding box (x, y, w, h) of a window's shape relative to the window, from
        `xwininfo -shape`; None when it has no bounding shape."""
        out = self._run(["xwininfo", "-shape", "-id", hex(wid)]).stdout.decode()
        m = re.search(r"Window shape extents:\s+(\d+)x(\d+)\+(-?\d+)\+(-?\d+)", out)
        if not m:
            return None
        w, h, x, y = (int(v) for v in m.groups())
        return (x, y, w, h)

    # -- looking and poking -----------------------------------------------------------------

    def screenshot(self):
        # -depth 8: ImageMagick's Q16 build would write 16-bit samples otherwise.
        data = self._run(["import", "-window", "root", "-depth", "8", "ppm:-"],
                         timeout=20).stdout
        return Image.from_ppm(data)

    def xdotool(self, *args):
        self._run(["xdotool", *[str(a) for a in args]])

    def focused_window(self):
        """The id of the window that holds the keyboard's focus."""
        out = self._run(["xdotool", "getwindowfocus"], check=False).stdout.decode().strip()
        return int(out) if out.isdigit() else None

    def mouse_position(self):
        out = self._run(["xdotool", "getmouselocation"]).stdout.decode()
        m = re.search(r"x:(-?\d+) y:(-?\d+)", out)
        return (int(m.group(1)), int(m.group(2)))

    def move_mouse(self, x, y):
        # Not --sync: it waits forever when the pointer is already there.
        self.xdotool("mousemove", x, y)
        poll(f"the pointer to reach {x},{y}", lambda: self.mouse_position() == (x, y), timeout=5)

    def click(self, x, y, button=1):
        self.move_mouse(x, y)
        self.xdotool("click", button)

    def key(self, *keys):
        self.xdotool("key", "--delay", 30, *keys)

    def type_text(self, text):
        self.xdotool("type", "--delay", 30, text)
