#!/usr/bin/env python3
"""Writes morvik's exact scores of the development set, to compare two builds bit for bit.

    score_dump.py --lib BUILD/morvik/api/libmorvik.so --data BUILD/data [--dev morvik/data/dev] > out
    cmp before.txt after.txt

One line per sample (every line of every file under --dev) and one per whole file (a long
text): the file, the line number (0 for the whole file), C_Classify's score in each of the six
languages as hexadecimal floats, and C_ClassifyLanguage's answer. Any change in the 4-grams,
their counts or the order of the float sums shows up as a differing line.
"""

import argparse
import ctypes
import os
import sys
from pathlib import Path

LANGS = (b"en", b"nl", b"fr", b"de", b"it", b"es")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--lib", required=True)
    ap.add_argument("--data", required=True, help="folder with lid.cfg and the six models")
    ap.add_argument("--dev", default=str(Path(__file__).resolve().parents[2] / "morvik/data/dev"))
    args = ap.parse_args()

    lib = ctypes.CDLL(str(Path(args.lib).resolve()))
    lib.C_InitLanguageClassifier.argtypes = [ctypes.c_char_p]
    lib.C_InitLanguageClassifier.restype = ctypes.c_int
    lib.C_Classify.argtypes = [ctypes.c_char_p] * 3
    lib.C_Classify.restype = ctypes.c_float
    lib.C_ClassifyLanguage.argtypes = [ctypes.c_char_p]
    lib.C_ClassifyLanguage.restype = ctypes.c_char_p

    dev = Path(args.dev).resolve()
    here = os.getcwd()
    os.chdir(Path(args.data).resolve())
    try:
        if lib.C_InitLanguageClassifier(b"lid.cfg") != 0:
            sys.exit("C_InitLanguageClassifier failed")
    finally:
        os.chdir(here)

    out = sys.stdout
    for path in sorted(dev.rglob("*.txt")):
        data = path.read_bytes()
        samples = [(0, data)] + list(enumerate(data.split(b"\n"), 1))
        name = path.relative_to(dev)
        for number, text in samples:
            scores = " ".join(lib.C_Classify(text, k, b"ASCIIDocument").hex() for k in LANGS)
            answer = lib.C_ClassifyLanguage(text).decode()
            out.write(f"{name}:{number} {scores} {answer}\n")


if __name__ == "__main__":
    main()
