#!/usr/bin/env python3
"""The reference: Python's poplib sending the commands one mail check of brevon sent.

usage: poplib_check.py PORT USER PASSWORD-FILE COMMAND-FILE REPEAT
COMMAND-FILE holds the check's commands, one a line, in order (USER and PASS without their
arguments, which come from the command line). Each repetition is one session, from connecting
to the answer to QUIT; prints the median seconds of one.
"""
import poplib
import statistics
import sys
import time


def session(port, user, password, commands):
    box = poplib.POP3("127.0.0.1", port, timeout=60)
    for line in commands:
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
            sys.exit("unknown command " + verb)


def main():
    port, user, pwfile, cmdfile = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
    repeat = int(sys.argv[5])
    password = open(pwfile, encoding="latin-1").read().rstrip("\n")
    commands = [c for c in open(cmdfile, encoding="latin-1").read().split("\n") if c]
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        session(port, user, password, commands)
        times.append(time.perf_counter() - start)
    print(statistics.median(times))


if __name__ == "__main__":
    main()
