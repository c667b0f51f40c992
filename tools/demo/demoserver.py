"""A throwaway POP3 mailbox for demonstrations and end-to-end tests: Dovecot on loopback, run
as the current user in a folder of the caller's, with its own certificate authority.

    with DemoServer(workdir) as server:
        ...  # server.host, server.port (plain, STARTTLS), server.tls_port (implicit TLS),
             # server.ca_file, server.user, server.password

The sample messages of tools/demo/mailbox are delivered in name order, so message 1 on the
server is the first file. Standard library only; needs Dovecot (dovecot-core, dovecot-pop3d)
and openssl, and says so with DemoServerError when either is missing. Every wait is bounded;
Dovecot is told by the kernel to stop when the process that started it dies.
"""

import ctypes
import ctypes.util
import os
import pwd
import secrets
import shutil
import signal
import socket
import ssl
import subprocess
import tempfile
import time

DEFAULT_MAILBOX = os.path.join(os.path.dirname(os.path.abspath(__file__)), "mailbox")

DOVECOT = "/usr/sbin/dovecot"
DOVECOT_POP3 = "/usr/lib/dovecot/pop3"

_PR_SET_PDEATHSIG = 1


class DemoServerError(RuntimeError):
    pass


def _dies_with_parent():
    # Runs in the child before exec: its own process group (so the master and its children
    # are stopped together) and SIGTERM when the starting process goes away.
    os.setsid()
    libc = ctypes.CDLL(ctypes.util.find_library("c") or "libc.so.6", use_errno=True)
    libc.prctl(_PR_SET_PDEATHSIG, signal.SIGTERM, 0, 0, 0)


def _free_port(host):
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind((host, 0))
        return s.getsockname()[1]


class DemoServer:
    """Dovecot serving one POP3 user on two free loopback ports. Use it as a context manager,
    or call start() and close() yourself."""

    def __init__(self, workdir, mailbox=DEFAULT_MAILBOX, host="127.0.0.1", user="sanne",
                 password=None):
        self.host = host
        self.user = user
        self.password = password or "demo-" + secrets.token_hex(6)
        self.port = None
        self.tls_port = None
        self.ca_file = None
        self._mailbox = mailbox
        self._workdir = os.path.abspath(workdir)
        self._dir = None
        self._proc = None
        self._next_message = 0
        # Every instance answers with a greeting of its own, so the readiness check can never
        # be satisfied by another server that happens to hold the port.
        self.greeting = "Brevon demo " + secrets.token_hex(8)

    # -- lifetime -------------------------------------------------------------------------

    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()

    def start(self):
        """The first call sets everything up; later calls (after stop()) start Dovecot again
        on the same ports and mailbox."""
        if self._proc is not None:
            return
        if self._dir is None:
            self._set_up()
        self._launch()

    def stop(self):
        """Stops Dovecot and waits for it; the mailbox and the ports stay for start()."""
        proc, self._proc = self._proc, None
        if proc is None:
            return
        for sig, grace in ((signal.SIGTERM, 10), (signal.SIGKILL, 5)):
            try:
                os.killpg(proc.pid, sig)
            except ProcessLookupError:
                pass
            try:
                proc.wait(timeout=grace)
                break
            except subprocess.TimeoutExpired:
                continue
        # The master stops its children before it exits; anything left of the group goes too.
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except (ProcessLookupError, PermissionError):
            pass

    def close(self):
        """Stops Dovecot and removes everything this server wrote."""
        self.stop()
        if self._dir is not None:
            shutil.rmtree(self._dir, ignore_errors=True)
            self._dir = None

    @property
    def running(self):
        return self._proc is not None and self._proc.poll() is None

    def log(self):
        try:
            with open(os.path.join(self._dir, "dovecot.log"), encoding="utf-8",
                      errors="replace") as f:
                return f.read()
        except (OSError, TypeError):
            return ""

    # -- the mailbox ----------------------------------------------------------------------

    def add_message(self, data):
        """Delivers one message (bytes of an RFC 5322 message) after the ones already there;
        the running server sees it at the next login."""
        if self._dir is None:
            raise DemoServerError("the server has not been started")
        if not isinstance(data, (bytes, bytearray)):
            raise TypeError("a message is bytes")
        maildir = os.path.join(self._dir, "Maildir")
        # Dovecot numbers new Maildir files in name order; the names sort like the order of
        # delivery. Written in tmp/ and moved, so the server never sees half a message.
        name = "%d.M%dP%d.demo:2," % (1000000000 + self._next_message, self._next_message,
                                     os.getpid())
        self._next_message += 1
        tmp = os.path.join(maildir, "tmp", name)
        with open(tmp, "wb") as f:
            f.write(bytes(data))
        st = os.stat(maildir)
        if os.geteuid() == 0:
            os.chown(tmp, st.st_uid, st.st_gid)
        os.rename(tmp, os.path.join(maildir, "cur", name))

    # -- setting up -----------------------------------------------------------------------

    def _set_up(self):
        missing = [what for what, path in (("dovecot (package dovecot-core)", DOVECOT),
                                           ("dovecot's POP3 server (package dovecot-pop3d)",
                                            DOVECOT_POP3))
                   if not os.access(path, os.X_OK)]
        if not shutil.which("openssl"):
            missing.append("openssl (package openssl)")
        if missing:
            raise DemoServerError("not installed: " + ", ".join(missing) +
                                  "; scripts/install-deps installs them")
        if not os.path.isdir(self._mailbox):
            raise DemoServerError(f"no mailbox folder {self._mailbox}")
        messages = sorted(f for f in os.listdir(self._mailbox) if f.endswith(".eml"))
        if not messages:
            raise DemoServerError(f"no .eml messages in {self._mailbox}")

        os.makedirs(self._workdir, exist_ok=True)
        self._dir = tempfile.mkdtemp(prefix="dovecot-", dir=self._workdir)
        d = self._dir
        for sub in ("Maildir/cur", "Maildir/new", "Maildir/tmp", "run", "pki"):
            os.makedirs(os.path.join(d, sub))
        self._make_certificates(os.path.join(d, "pki"))
        with open(os.path.join(d, "passwd"), "w", encoding="utf-8") as f:
            f.write(f"{self.user}:{{PLAIN}}{self.password}\n")

        if os.geteuid() == 0:
            # Dovecot runs neither its login processes nor mail access as root: the mail
            # process (nobody) owns the Maildir, the auth process (dovecot) reads the passwd
            # file, so every folder above them must let them pass.
            self._internal, self._login, mail = self._accounts("dovecot", "dovenull", "nobody")
            # Only search permission is added, never the right to list or read.
            folder = d
            while True:
                mode = os.stat(folder).st_mode
                if not mode & 0o001:
                    os.chmod(folder, (mode & 0o7777) | 0o011)
                parent = os.path.dirname(folder)
                if parent == folder:
                    break
                folder = parent
            os.chmod(os.path.join(d, "passwd"), 0o644)
            for root, dirs, files in os.walk(os.path.join(d, "Maildir")):
                os.chown(root, mail.pw_uid, mail.pw_gid)
            self._mail = mail
        else:
            me = pwd.getpwuid(os.geteuid())
            self._internal = self._login = self._mail = me

        for name in messages:
            with open(os.path.join(self._mailbox, name), "rb") as f:
                self.add_message(f.read())

        self.port = _free_port(self.host)
        self.tls_port = _free_port(self.host)
        while self.tls_port == self.port:
            self.tls_port = _free_port(self.host)
        self._write_config()

    @staticmethod
    def _accounts(*names):
        found = []
        for name in names:
            try:
                found.append(pwd.getpwnam(name))
            except KeyError:
                raise DemoServerError(
                    f"Dovecot needs the account {name} when it is started as root "
                    "(the dovecot-core package creates dovecot and dovenull)") from None
        return found

    def _openssl(self, *args):
        try:
            result = subprocess.run(["openssl", *args], stdin=subprocess.DEVNULL,
                                    capture_output=True, timeout=60)
        except subprocess.TimeoutExpired:
            raise DemoServerError("openssl did not finish within 60 s") from None
        if result.returncode != 0:
            raise DemoServerError(f"openssl {args[0]} failed: " +
                                  result.stderr.decode("utf-8", "replace").strip())

    def _make_certificates(self, pki):
        ca_key = os.path.join(pki, "ca.key")
        self.ca_file = os.path.join(pki, "ca.pem")
        self._cert = os.path.join(pki, "server.pem")
        self._key = os.path.join(pki, "server.key")
        csr = os.path.join(pki, "server.csr")
        ext = os.path.join(pki, "server.ext")
        ec = ("-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes")
        self._openssl("req", "-x509", *ec, "-keyout", ca_key, "-out", self.ca_file,
                      "-days", "7", "-subj", "/CN=Brevon demo CA " + self.greeting[-16:],
                      "-addext", "basicConstraints=critical,CA:TRUE",
                      "-addext", "keyUsage=critical,keyCertSign,cRLSign")
        alt = "DNS:localhost,IP:127.0.0.1"
        if self.host not in ("localhost", "127.0.0.1"):
            kind = "IP" if all(p.isdigit() for p in self.host.split(".")) else "DNS"
            alt = f"{kind}:{self.host}," + alt
        with open(ext, "w", encoding="ascii") as f:
            f.write(f"subjectAltName={alt}\nextendedKeyUsage=serverAuth\n")
        self._openssl("req", *ec, "-keyout", self._key, "-out", csr, "-subj",
                      "/CN=" + self.host)
        self._openssl("x509", "-req", "-in", csr, "-CA", self.ca_file, "-CAkey", ca_key,
                      "-CAcreateserial", "-out", self._cert, "-days", "7", "-extfile", ext)

    def _write_config(self):
        d = self._dir
        mail = self._mail
        conf = f"""base_dir = {d}/run
state_dir = {d}/run
log_path = {d}/dovecot.log
protocols = pop3
listen = {self.host}
login_greeting = {self.greeting}
default_internal_user = {self._internal.pw_name}
default_internal_group = {self._internal.pw_name}
default_login_user = {self._login.pw_name}
first_valid_uid = 1
first_valid_gid = 1
disable_plaintext_auth = no
auth_mechanisms = plain
auth_failure_delay = 0
pop3_uidl_format = %08Xu%08Xv
service anvil {{
  chroot =
}}
service imap-login {{
  inet_listener imap {{
    port = 0
  }}
  inet_listener imaps {{
    port = 0
  }}
}}
service pop3-login {{
  chroot =
  inet_listener pop3 {{
    address = {self.host}
    port = {self.port}
  }}
  inet_listener pop3s {{
    address = {self.host}
    port = {self.tls_port}
    ssl = yes
  }}
}}
passdb {{
  driver = passwd-file
  args = scheme=PLAIN {d}/passwd
}}
userdb {{
  driver = static
  args = uid={mail.pw_uid} gid={mail.pw_gid} home={d}/home mail=maildir:{d}/Maildir
}}
ssl = yes
ssl_cert = <{self._cert}
ssl_key = <{self._key}
ssl_min_protocol = TLSv1.2
"""
        with open(os.path.join(d, "dovecot.conf"), "w", encoding="utf-8") as f:
            f.write(conf)

    def _launch(self):
        conf = os.path.join(self._dir, "dovecot.conf")
        self._proc = subprocess.Popen([DOVECOT, "-F", "-c", conf], stdin=subprocess.DEVNULL,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                      preexec_fn=_dies_with_parent)
        deadline = time.monotonic() + 20
        last = "no answer yet"
        while time.monotonic() < deadline:
            if self._proc.poll() is not None:
                status = self._proc.returncode
                self._proc = None
                raise DemoServerError(f"dovecot ended with status {status}: {self.log()}")
            try:
                self._check_greeting(self.port, tls=False)
                self._check_greeting(self.tls_port, tls=True)
                return
            except (OSError, ValueError) as e:
                last = str(e)
            time.sleep(0.1)
        self.stop()
        raise DemoServerError(f"dovecot did not answer within 20 s ({last}): {self.log()}")

    def _check_greeting(self, port, tls):
        with socket.create_connection((self.host, port), timeout=5) as raw:
            sock = raw
            if tls:
                context = ssl.create_default_context(cafile=self.ca_file)
                sock = context.wrap_socket(raw, server_hostname=self.host)
            try:
                line = b""
                while not line.endswith(b"\n") and len(line) < 512:
                    chunk = sock.recv(512)
                    if not chunk:
                        break
                    line += chunk
                if not line.startswith(b"+OK") or self.greeting.encode() not in line:
                    raise ValueError(f"port {port} answered {line[:80]!r}")
                sock.sendall(b"QUIT\r\n")
            finally:
                if tls:
                    sock.close()
