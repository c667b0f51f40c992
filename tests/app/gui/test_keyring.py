#!/usr/bin/env python3
"""brevon with its password in the desktop's keyring: the real program under its own Xvfb with
trayer, a session bus of the test's own with a gnome-keyring-daemon unlocked on it, and a real
Dovecot. With the keyring open brevon logs in with the password it finds there; with the
keyring locked it says so once after the greeting, opens the options on the password field
instead of checking, and leaves the keyring's password where it is. The password never shows
in the trace, the transcript or the program's output. Usage:

    test_keyring.py --brevon build/app/brevon [unittest options]
"""

import os
import signal
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from brevon_gui import GuiTest, main, read_settings  # noqa: E402
from xsession import poll, session_dying_with_parent  # noqa: E402
WAIT = 20  # seconds for anything the program is asked to do
SPEECH_WAIT = 60

UNAVAILABLE = ("Uw wachtwoord kan ik niet uit de sleutelbos van het bureaublad halen; "
               "vul het opnieuw in.")

# A session bus that starts nothing on demand, so that only the keyring started here answers.
BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>session</type><listen>unix:path={socket}</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/>
<allow eavesdrop="true"/><allow own="*"/></policy></busconfig>
"""


class PasswordInTheKeyring(GuiTest):
    prefix = "brevon-keyring-"
    dovecot = True
    bus = BUS_CONFIG

    @classmethod
    def set_up(cls):
        """A gnome-keyring-daemon on the bus, unlocked, with folders of its own."""
        root = os.path.join(cls.tmp, "keyring")
        for folder in ("home", "data", "config", "run"):
            os.makedirs(os.path.join(root, folder), mode=0o700)
        cls.env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=cls.stage.bus,
                       HOME=os.path.join(root, "home"), XDG_DATA_HOME=os.path.join(root, "data"),
                       XDG_CONFIG_HOME=os.path.join(root, "config"),
                       XDG_RUNTIME_DIR=os.path.join(root, "run"))
        keyring = subprocess.Popen(
            ["gnome-keyring-daemon", "--foreground", "--unlock", "--components=secrets"],
            stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            env=cls.env, preexec_fn=session_dying_with_parent())
        cls.stage.at_close(keyring)
        keyring.stdin.write(b"test-keyring")
        keyring.stdin.close()

        def owned():
            result = subprocess.run(
                ["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                 "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                 "string:org.freedesktop.secrets"], env=cls.env, capture_output=True, timeout=WAIT)
            return b"boolean true" in result.stdout
        poll("gnome-keyring-daemon on the bus", owned, WAIT)

    def keyring_tool(self, *args, data=None):
        result = subprocess.run(list(args), env=self.env, input=data, capture_output=True,
                                timeout=WAIT)
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        return result.stdout

    def brevon_with_password_in_keyring(self, name):
        """A brevon whose settings name the server and the user and whose password is in the
        keyring only, as brevon leaves them after moving it there."""
        b = self.stage.brevon(name, os.path.join(self.tmp, name), settings={
            **self.stage.account(password=False), "Sleutelbos": 1, "ShowWindow": True,
            "X": 300, "Y": 200})
        self.keyring_tool("secret-tool", "store", "--label=brevon", "application", "brevon",
                          "kind", "password", "account",
                          f"{self.server.user}@{self.server.host}",
                          data=self.server.password.encode())
        return b

    def ends_keeping_the_password_where_it_was(self, b):
        os.killpg(b.proc.pid, signal.SIGTERM)
        self.assertEqual(b.wait_exit(), 0)
        stored = read_settings(b.settings_file)
        self.assertEqual(stored["Password"], b"")
        self.assertEqual(stored["Sleutelbos"], 1)
        password = self.server.password
        for what, text in (("trace", "\n".join(b.trace())), ("transcript", "\n".join(b.texts())),
                           ("output", b.log())):
            self.assertNotIn(password, text, f"the password in the {what}")

    # Named so that they run in this order: the second locks the keyring.
    def test_a_open_keyring_gives_the_password_for_the_mail_check(self):
        b = self.brevon_with_password_in_keyring("open")
        with self.stage.running(b):
            poll("a message announced", lambda: "Header spoken" in b.trace(), SPEECH_WAIT)
            self.assertFalse([line for line in b.trace() if "keyring" in line], b.trace())
            self.ends_keeping_the_password_where_it_was(b)

    def test_b_locked_keyring_is_said_once_and_the_password_asked_for(self):
        b = self.brevon_with_password_in_keyring("locked")
        self.keyring_tool("dbus-send", "--session", "--print-reply",
                          "--dest=org.freedesktop.secrets", "/org/freedesktop/secrets",
                          "org.freedesktop.Secret.Service.Lock",
                          "array:objpath:/org/freedesktop/secrets/collection/login")
        with self.stage.running(b):
            b.wait_trace(r"Password not read from the keyring: the keyring is locked.*")
            greeting_end = b.wait_trace("Greeting ended", timeout=WAIT)[0]
            b.wait_trace("Options page Verbinding, focus EditPasswd", greeting_end, WAIT)
            texts = b.wait_spoken(2)
            self.assertTrue(texts[0].endswith("Hier spreekt Tolvani!"), texts)
            self.assertEqual(texts[1], UNAVAILABLE, "said right after the greeting")
            self.assertEqual(texts.count(UNAVAILABLE), 1, "said once")
            self.assertNotIn("CheckMail", b.trace()[greeting_end:], "no check without it")
            b.check_alive()
            self.ends_keeping_the_password_where_it_was(b)


if __name__ == "__main__":
    main(__doc__)
