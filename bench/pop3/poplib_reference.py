#!/usr/bin/env python3
"""The reference: Python's poplib doing what the benchmark asks of the client.

usage: poplib_reference.py PORT USER PASSWORD-FILE (retr N REPEAT | check TOPS REPEAT)
Prints the mean seconds of one repetition.
"""
import poplib
import sys
import time


def main():
    port, user, pwfile, mode = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
    password = open(pwfile, encoding="latin-1").read().rstrip("\n")
    arg, repeat = int(sys.argv[5]), int(sys.argv[6])
    if mode == "retr":
        box = poplib.POP3("127.0.0.1", port, timeout=60)
        box.user(user)
        box.pass_(password)
        start = time.perf_counter()
        for _ in range(repeat):
            box.retr(arg)
        elapsed = time.perf_counter() - start
        box.quit()
    else:
        start = time.perf_counter()
        for _ in range(repeat):
            box = poplib.POP3("127.0.0.1", port, timeout=60)
            box.user(user)
            box.pass_(password)
            count, _ = box.stat()
            for n in range(1, count + 1):
                box.uidl(n)
            for n in range(1, min(arg, count) + 1):
                box.top(n, 0)
            box.quit()
        elapsed = time.perf_counter() - start
    print(elapsed / repeat)


if __name__ == "__main__":
    main()
