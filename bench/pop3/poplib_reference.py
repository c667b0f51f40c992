#!/usr/bin/env python3
"""The reference: Python's poplib sending the very commands brevon's client sent.

usage: poplib_reference.py PORT USER PASSWORD-FILE COMMAND-FILE REPEAT (session | logged-in)

COMMAND-FILE holds the client's commands of one repetition, one a line, in order (USER and PASS
without their arguments, which come from the command line and the password file).
  session    each repetition is one session, from connecting to the answer to QUIT;
  logged-in  one session logs in first, then each repetition sends the commands.
One repetition runs first to warm up, untimed, as the client's side had one too. Prints the
median seconds of one repetition.
"""
import poplib
import statistics
import sys
import time


def send(box, line, user, password):
    verb, *args = line.split()
    numbers = [int(a) for a in args]
    if verb == "USER":
        box.user(user)
    elif verb == "PASS":
        box.pass_(password)
    elif verb == "STAT":
        box.stat()
    elif verb == "LAST":
        # Dropped from RFC 1939, so poplib has no call for it; most servers refuse it.
        try:
            box._shortcmd("LAST")
        except poplib.error_proto:
            pass
    elif verb == "UIDL":
        box.uidl(*numbers)
    elif verb == "LIST":
        box.list(*numbers)
    elif verb == "TOP":
        box.top(*numbers)
    elif verb == "RETR":
        box.retr(*numbers)
    elif verb == "QUIT":
        box.quit()
    else:
        sys.exit("poplib_reference.py: unknown command " + verb)


def main():
    if len(sys.argv) != 7 or sys.argv[6] not in ("session", "logged-in"):
        sys.exit(__doc__)
    port, user, pwfile, cmdfile = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
    repeat, mode = int(sys.argv[5]), sys.argv[6]
    with open(pwfile, encoding="latin-1") as f:
        password = f.read().rstrip("\n")
    with open(cmdfile, encoding="latin-1") as f:
        commands = [c for c in f.read().split("\n") if c]

    box = None
    if mode == "logged-in":
        box = poplib.POP3("127.0.0.1", port, timeout=60)
        box.user(user)
        box.pass_(password)

    def once():
        nonlocal box
        if mode == "session":
            box = poplib.POP3("127.0.0.1", port, timeout=60)
        for line in commands:
            send(box, line, user, password)

    once()
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        once()
        times.append(time.perf_counter() - start)
    if mode == "logged-in":
        box.quit()
    print(statistics.median(times))


if __name__ == "__main__":
    main()
