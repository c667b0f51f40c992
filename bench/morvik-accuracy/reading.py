#!/usr/bin/env python3
"""What a listener hears with "Anderstalige berichten in hun eigen taal voorlezen" on.

    reading.py --lib build/morvik/api/libmorvik.so --cfg build/data/lid.cfg \
        [--dev morvik/data/dev/mail] [--band 100-199] [--outside FILE ...] [--errors N]

brevon asks C_ClassifyLanguage once per body of 100 characters or more. A body it places in
English, French, German, Italian or Spanish is read in that language's voice; "nl" is read in
Dutch; "??" is read in Dutch, or refused when "Alleen Nederlandstalige berichten voorlezen" is
on as well. For each language of the set this counts the samples of the band by what the
listener hears: their own language's voice (or Dutch for Dutch), the Dutch voice (today's
reading), "??" (Dutch, or refused with the gate), or another language's voice (the one fault
the option adds). --outside takes files of samples in languages outside the six.
"""

import argparse
import sys
from collections import Counter
from pathlib import Path

from evaluate import LANGS, Library, read_lines

OTHER_FIVE = ("en", "fr", "de", "it", "es")


def heard(true, answer):
    """What the listener hears for a sample in language true given the answer."""
    if answer == "??":
        return "??"
    if answer == true or (answer == "nl" and true not in OTHER_FIVE):
        return "right"
    if answer == "nl":
        return "dutch"
    return "wrong"


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--lib", required=True)
    ap.add_argument("--cfg", required=True)
    ap.add_argument("--dev", default=str(Path(__file__).resolve().parents[2] /
                                         "morvik/data/dev/mail"))
    ap.add_argument("--band", default="100-199")
    ap.add_argument("--outside", nargs="*", default=[],
                    help="files of samples in languages outside the six")
    ap.add_argument("--errors", type=int, default=0,
                    help="show this many samples read in another language's voice")
    args = ap.parse_args()
    clf = Library(args.lib, args.cfg)
    if clf.answer(b"dit is een bericht van de gemeente over uw aanvraag") != "nl":
        sys.exit(f"reading.py: no Dutch model after reading {args.cfg}")

    print(f"{args.dev}, {args.band} characters: what the listener hears")
    print("lang  samples   own voice     Dutch voice   ?? (Dutch/refused)   another voice")
    shown = 0
    total = Counter()
    for lang in LANGS:
        path = Path(args.dev) / f"{lang}-{args.band}.txt"
        if not path.exists():
            continue
        counts = Counter()
        wrong = Counter()
        for text in read_lines(path):
            answer = clf.answer(text)
            what = heard(lang, answer)
            counts[what] += 1
            if what == "wrong":
                wrong[answer] += 1
                if shown < args.errors:
                    shown += 1
                    print(f"  {lang} read as {answer}: {text.decode('cp1252')!r}",
                          file=sys.stderr)
        n = sum(counts.values())
        total.update(counts)
        total["n"] += n
        which = " ".join(f"{k} {v}" for k, v in sorted(wrong.items()))
        print(f"{lang:4}  {n:7}   {counts['right']:4} {100 * counts['right'] / n:6.2f}%"
              f"   {counts['dutch']:4} {100 * counts['dutch'] / n:5.2f}%"
              f"   {counts['??']:4} {100 * counts['??'] / n:5.2f}%"
              f"        {counts['wrong']:4} {100 * counts['wrong'] / n:5.2f}% {which}")
    if total["n"]:
        n = total["n"]
        print(f"all   {n:7}   {total['right']:4} {100 * total['right'] / n:6.2f}%"
              f"   {total['dutch']:4} {100 * total['dutch'] / n:5.2f}%"
              f"   {total['??']:4} {100 * total['??'] / n:5.2f}%"
              f"        {total['wrong']:4} {100 * total['wrong'] / n:5.2f}%")

    for path in args.outside:
        answers = Counter(clf.answer(text) for text in read_lines(path))
        n = sum(answers.values())
        print(f"outside the six, {Path(path).name}: {n} samples: " +
              ", ".join(f"{k} {v} ({100 * v / n:.2f}%)" for k, v in answers.most_common()))


if __name__ == "__main__":
    main()
