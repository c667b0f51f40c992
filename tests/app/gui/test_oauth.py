#!/usr/bin/env python3
"""Signing in at a provider from end to end: the real program under its own Xvfb with trayer as
the tray host, a real Dovecot over TLS whose password database asks an authorization server of
the test's own (authorization, token and introspection endpoints on 127.0.0.1, PKCE checked,
access tokens that expire in seconds) whether a token is good, and a presets file in the user's
data folder that points a provider at that server.

brevon has no sign-in yet: the first check says so and opens the options on the sign-in button.
The button signs in through the stand-in browser (BREVON_TEST_BROWSER=fetch, which follows the
redirect back to brevon); OK checks mail, which is announced over the provider's mechanism. A
check after the access token has run out renews it without a word; once the provider refuses
to renew, the sentence is said and the options open on the button again. Run for XOAUTH2 and
for OAUTHBEARER.

    test_oauth.py --brevon build/app/brevon [--shots DIR] [unittest options]
"""

import base64
import hashlib
import json
import os
import secrets
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from brevon_gui import USER_SETTINGS, DemoServer, GuiTest, main  # noqa: E402
from xsession import poll  # noqa: E402
WAIT = 20
SPEECH_WAIT = 60
CR = "\\r"  # how the transcript writes a carriage return
LIFETIME = 6  # seconds an access token is good for
CLIENT_ID = "brevon-e2e"
EXPIRED = "Uw aanmelding bij Testaanbieder is verlopen; meld u opnieuw aan."
NOT_YET = "U bent nog niet aangemeld bij Testaanbieder; meld u aan in de instellingen."

MAILBOX = {
    "01-koffie.eml": (
        "From: Anna de Vries <anna@example.nl>\r\nTo: Sanne Visser <sanne@voorbeeld.test>\r\n"
        "Subject: Koffie\r\nDate: Mon, 9 Mar 2026 10:00:00 +0100\r\n"
        "Message-ID: <aanmelden-1@example.nl>\r\nMIME-Version: 1.0\r\n"
        "Content-Type: text/plain; charset=us-ascii\r\n\r\nZullen we koffie drinken?\r\n"),
}


class Authorization:
    """What the authorization server has handed out, shared by its request threads."""

    def __init__(self, user):
        self.user = user
        self.lock = threading.Lock()
        self.codes = {}    # code: (challenge, redirect_uri)
        self.access = {}   # token: expiry (time.monotonic)
        self.refresh = set()
        self.refreshes = 0
        self.exchanges = 0
        self.problems = []  # what a request did wrong, for the test to fail on


class Handler(BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def send(self, status, body, location=None):
        data = json.dumps(body).encode() if body is not None else b""
        self.send_response(status)
        if location:
            self.send_header("Location", location)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        auth = self.server.auth
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query))
        if url.path != "/authorize":
            return self.send(404, None)
        redirect = query.get("redirect_uri", "")
        ok = (query.get("client_id") == CLIENT_ID and query.get("response_type") == "code" and
              query.get("code_challenge_method") == "S256" and
              redirect.startswith("http://127.0.0.1:"))
        if not ok:
            auth.problems.append("authorization request: " + self.path)
            return self.send(400, {"error": "invalid_request"})
        code = secrets.token_urlsafe(16)
        with auth.lock:
            auth.codes[code] = (query.get("code_challenge"), redirect)
        back = urllib.parse.urlencode({"code": code, "state": query.get("state", "")})
        self.send(302, None, location=redirect + "?" + back)

    def do_POST(self):
        auth = self.server.auth
        length = int(self.headers.get("Content-Length", "0"))
        form = dict(urllib.parse.parse_qsl(self.rfile.read(length).decode()))
        path = urllib.parse.urlsplit(self.path).path
        with auth.lock:
            if path == "/introspect":
                expiry = auth.access.get(form.get("token", ""))
                good = expiry is not None and time.monotonic() < expiry
                return self.send(200, {"active": True, "username": auth.user} if good
                                 else {"active": False})
            if path != "/token":
                return self.send(404, None)
            if form.get("client_id") != CLIENT_ID:
                return self.send(401, {"error": "invalid_client"})
            grant = form.get("grant_type")
            if grant == "authorization_code":
                challenge, redirect = auth.codes.pop(form.get("code", ""), (None, None))
                verifier = form.get("code_verifier", "").encode()
                made = base64.urlsafe_b64encode(hashlib.sha256(verifier).digest()).rstrip(b"=")
                if challenge is None or redirect != form.get("redirect_uri") or \
                        made.decode() != challenge:
                    auth.problems.append("code exchange without the right verifier or redirect")
                    return self.send(400, {"error": "invalid_grant"})
                auth.exchanges += 1
                refresh = secrets.token_urlsafe(16)
                auth.refresh.add(refresh)
            elif grant == "refresh_token":
                if form.get("refresh_token") not in auth.refresh:
                    return self.send(400, {"error": "invalid_grant"})
                auth.refreshes += 1
                refresh = None
            else:
                return self.send(400, {"error": "unsupported_grant_type"})
            access = secrets.token_urlsafe(24)
            auth.access[access] = time.monotonic() + LIFETIME
        body = {"access_token": access, "token_type": "Bearer", "expires_in": LIFETIME}
        if refresh:
            body["refresh_token"] = refresh
        self.send(200, body)


class OAuthDovecot(DemoServer):
    """The demo server with Dovecot's OAuth2 password database beside the password file."""

    introspection = None

    def _write_config(self):
        super()._write_config()
        path = os.path.join(self._dir, "dovecot.conf")
        with open(path, encoding="utf-8") as f:
            conf = f.read()
        oauth = os.path.join(self._dir, "oauth2.conf")
        with open(oauth, "w", encoding="utf-8") as f:
            f.write(f"introspection_mode = post\nintrospection_url = {self.introspection}\n"
                    "username_attribute = username\nactive_attribute = active\n"
                    "active_value = true\n")
        os.chmod(oauth, 0o644)
        mechanisms = "auth_mechanisms = plain\n"
        passwords = "passdb {\n  driver = passwd-file\n"
        assert mechanisms in conf and passwords in conf, "the demo server's configuration changed"
        conf = conf.replace(mechanisms, "auth_mechanisms = plain xoauth2 oauthbearer\n")
        # A token is never a password.
        conf = conf.replace(passwords, passwords + "  mechanisms = plain\n")
        conf += ("passdb {\n  driver = oauth2\n  mechanisms = xoauth2 oauthbearer\n"
                 f"  args = {oauth}\n}}\n")
        with open(path, "w", encoding="utf-8") as f:
            f.write(conf)


class SignIn(GuiTest):
    prefix = "brevon-oauth-"
    dovecot = OAuthDovecot
    mailbox = MAILBOX
    web = None

    @classmethod
    def setUpClass(cls):
        # The authorization server first: Dovecot's configuration names it.
        cls.web = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        cls.web.auth = None
        threading.Thread(target=cls.web.serve_forever, daemon=True).start()
        OAuthDovecot.introspection = f"http://127.0.0.1:{cls.web.server_port}/introspect"
        try:
            super().setUpClass()
        except BaseException:
            cls.end_web()
            raise

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        cls.end_web()

    @classmethod
    def end_web(cls):
        cls.web.shutdown()
        cls.web.server_close()

    def run_brevon(self, mechanism):
        server = self.server
        auth = SignIn.web.auth = Authorization(server.user)
        b = self.stage.brevon(root=os.path.join(self.tmp, mechanism.lower()),
                              env={"BREVON_TEST_BROWSER": "fetch"}, settings={
                                  **USER_SETTINGS, **self.stage.account(password=False),
                                  "E-mailadres": server.user + "@voorbeeld.test",
                                  "Sneltoetsen": True})
        base = f"http://127.0.0.1:{SignIn.web.server_port}"
        presets = os.path.join(b.dirs["data"], "brevon", "providers.ini")
        os.makedirs(os.path.dirname(presets), exist_ok=True)
        with open(presets, "w", encoding="ascii") as f:
            f.write(f"[oauth2 test]\nname = Testaanbieder\nauthorization = {base}/authorize\n"
                    f"token = {base}/token\nscopes = pop offline_access\n"
                    f"client-id = {CLIENT_ID}\nmechanism = {mechanism}\n\n"
                    f"[domains voorbeeld.test]\nhost = {server.host}\n"
                    f"port = {server.tls_port}\nsecurity = SSL/TLS\nsignin = oauth2\n"
                    "oauth2 = test\n")
        return auth, b

    def check_now(self, b):
        after = len(b.trace())
        self.session.key("ctrl+alt+shift+c")
        check = b.wait_trace("CheckMail", after=after, timeout=WAIT)[0]
        poll("the check to end", lambda: any(line.startswith(("POP3 QUIT", "Sign-in failed",
                                                              "Options page"))
                                             for line in b.trace()[check:]), WAIT)
        return check

    def sign_in_and_hear_mail(self, mechanism):
        auth, b = self.run_brevon(mechanism)
        with self.stage.running(b):
            # Nothing kept yet: said, and the options open on the button.
            greeting_end = b.wait_trace("Greeting ended", timeout=SPEECH_WAIT)[0]
            b.wait_trace("Options page Verbinding, focus btSignIn", greeting_end, WAIT)
            self.assertEqual(b.wait_spoken(2, timeout=SPEECH_WAIT)[1], NOT_YET)

            after = len(b.trace())
            self.session.key("space")
            b.wait_trace("Signed in", after=after, timeout=WAIT)
            self.assertEqual(auth.exchanges, 1)
            self.session.key("alt+d", "Return")  # into "E-mailadres", then OK
            check = b.wait_trace("CheckMail", after=after, timeout=WAIT)[0]
            texts = b.wait_spoken(3, timeout=SPEECH_WAIT)
            self.assertEqual(texts[2], "Er is een nieuw bericht" + CR +
                             "1. Van Anna de Vries. Onderwerp: Koffie")
            self.assertIn(f"POP3 AUTH {mechanism} (token)", b.trace()[check:])

            # The access token runs out; the next check renews it and says nothing new.
            time.sleep(LIFETIME)
            spoken = len(b.texts())
            check = self.check_now(b)
            self.assertIn("POP3 STAT", b.trace()[check:])
            self.assertEqual(auth.refreshes, 1)
            self.assertEqual(len(b.texts()), spoken, "a renewal says nothing")

            # The provider withdraws the sign-in: said, and the button offered again.
            with auth.lock:
                auth.refresh.clear()
            time.sleep(LIFETIME)
            check = self.check_now(b)
            b.wait_trace("Options page Verbinding, focus btSignIn", check, WAIT)
            self.assertEqual(b.wait_spoken(spoken + 1, timeout=SPEECH_WAIT)[spoken], EXPIRED)
            self.assertEqual(auth.problems, [])

            # No token in the trace, the transcript or the output.
            with auth.lock:
                tokens = list(auth.access) + list(auth.refresh)
            for what, text in (("trace", "\n".join(b.trace())),
                               ("transcript", "\n".join(b.texts())), ("output", b.log())):
                for token in tokens:
                    self.assertNotIn(token, text, f"a token in the {what}")

    def test_xoauth2(self):
        self.sign_in_and_hear_mail("XOAUTH2")

    def test_oauthbearer(self):
        self.sign_in_and_hear_mail("OAUTHBEARER")


if __name__ == "__main__":
    main(__doc__)
