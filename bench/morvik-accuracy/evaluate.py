#!/usr/bin/env python3
"""Accuracy of morvik on the development set, and the Dutch gate brevon applies.

    evaluate.py --lib build/.../libmorvik.so --cfg build/.../lid.cfg [--dev morvik/data/dev]
    evaluate.py --train morvik/data/train      (the Python model of tools/morvik-data instead)

Reports per sample length the six-way accuracy (argmax of C_Classify over en, nl, fr, de,
it, es; ties go to the earlier of en, nl, de, fr, it, es as in C_ClassifyLanguage), the
Dutch gate at 100/200/500 characters and, where the set has <code>-<low>-<high>.txt files,
by band of lengths (Dutch score at or below 0.1 refuses a mail), the same two rates for the
rule "Dutch is the best of the six", how often texts in closely related languages outside
the six pass as Dutch (--near), and the spread of the best score among correct answers,
from which C_ClassifyLanguage's threshold is chosen.
"""

import argparse
import ctypes
import os
import sys
from pathlib import Path

LANGS = ("en", "nl", "fr", "de", "it", "es")
TIE_ORDER = ("en", "nl", "de", "fr", "it", "es")
LENGTHS = (25, 50, 100, 200, 500)
GATE = 0.1
BANDS = ("100-199", "200-499", "500-999")


def read_lines(path):
    return [line for line in Path(path).read_bytes().split(b"\n") if line]


class Library:
    def __init__(self, lib, cfg):
        self.lib = ctypes.CDLL(str(Path(lib).resolve()))
        self.lib.C_InitLanguageClassifier.argtypes = [ctypes.c_char_p]
        self.lib.C_InitLanguageClassifier.restype = ctypes.c_int
        self.lib.C_Classify.argtypes = [ctypes.c_char_p] * 3
        self.lib.C_Classify.restype = ctypes.c_float
        self.lib.C_ClassifyLanguage.argtypes = [ctypes.c_char_p]
        self.lib.C_ClassifyLanguage.restype = ctypes.c_char_p
        cfg = Path(cfg).resolve()
        # The configuration's model paths are relative to its own folder.
        here = os.getcwd()
        os.chdir(cfg.parent)
        try:
            if self.lib.C_InitLanguageClassifier(cfg.name.encode()) != 0:
                sys.exit(f"C_InitLanguageClassifier failed on {cfg}")
        finally:
            os.chdir(here)

    def scores(self, text):
        return {k: self.lib.C_Classify(text, k.encode(), b"ASCIIDocument") for k in LANGS}

    def answer(self, text):
        """C_ClassifyLanguage's code: "en", ..., or "??"."""
        return self.lib.C_ClassifyLanguage(text).decode().split(" ")[0]

    def close(self):
        self.lib.C_Close()


class PythonModel:
    def __init__(self, train):
        sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools" / "morvik-data"))
        import lidmodel
        self.models = {k: lidmodel.Model.build((Path(train) / f"{k}.txt").read_bytes())
                       for k in LANGS}
        for k in LANGS:
            print(f"V[{k}] = {self.models[k].v}")

    def scores(self, text):
        return {k: m.score(text) for k, m in self.models.items()}

    def close(self):
        pass


def best_of(scores):
    best = max(scores.values())
    for k in TIE_ORDER:
        if scores[k] == best:
            return k, best
    return None, best


def quantile(values, q):
    values = sorted(values)
    return values[min(len(values) - 1, int(q * len(values)))] if values else float("nan")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--lib")
    ap.add_argument("--cfg")
    ap.add_argument("--train")
    ap.add_argument("--dev", default=str(Path(__file__).resolve().parents[2] / "morvik/data/dev"))
    ap.add_argument("--near", help="folder of samples in closely related languages outside the"
                    " six (<code>-<band>.txt), reported as passed by the Dutch gate or not")
    ap.add_argument("--errors", type=int, default=0, help="show this many misclassified samples")
    ap.add_argument("--threshold", type=float, action="append", default=[],
                    help="also report how many correct answers fall at or below this threshold")
    args = ap.parse_args()
    if args.lib and not Path(args.lib).exists():
        ap.error(f"no library {args.lib}")
    if args.lib and args.cfg:
        clf = Library(args.lib, args.cfg)
    elif args.train:
        clf = PythonModel(args.train)
    else:
        ap.error("give --lib and --cfg, or --train")

    results = {}  # (length) -> list of (true lang, scores)
    for length in LENGTHS:
        rows = []
        for k in LANGS:
            path = Path(args.dev) / f"{k}-{length}.txt"
            if not path.exists():
                sys.exit(f"evaluate.py: no development file {path}")
            for line in path.read_bytes().split(b"\n"):
                if line:
                    rows.append((k, line, clf.scores(line)))
        results[length] = rows

    print("\nSix-way accuracy (argmax of C_Classify)")
    print("length  samples  correct  accuracy   " + "  ".join(f"{k:>6}" for k in LANGS))
    shown = 0
    for length, rows in results.items():
        per = {k: [0, 0] for k in LANGS}
        for k, text, sc in rows:
            per[k][1] += 1
            got, _ = best_of(sc)
            if got == k:
                per[k][0] += 1
            elif shown < args.errors:
                shown += 1
                print(f"  [{length}] {k}->{got}: {text.decode('cp1252')!r}", file=sys.stderr)
        ok = sum(v[0] for v in per.values())
        n = sum(v[1] for v in per.values())
        cols = "  ".join(f"{100 * v[0] / v[1]:6.2f}" for v in per.values())
        print(f"{length:6}  {n:7}  {ok:7}  {100 * ok / n:7.2f}%   {cols}")

    # The gate at the fixed lengths (samples of 80-100, 160-200 and 400-500 characters) and,
    # where the set has them, by band of lengths (100-199, 200-499, 500-999).
    bands = {str(length): results[length] for length in (100, 200, 500)}
    for band in BANDS:
        rows = []
        for k in LANGS:
            path = Path(args.dev) / f"{k}-{band}.txt"
            if path.exists():
                rows += [(k, line, clf.scores(line)) for line in read_lines(path)]
        if rows:
            bands[band] = rows
    print(f"\nDutch gate (brevon reads a body when the Dutch score is > {GATE})")
    print("length    nl refused (score<=0.1)  others passed (score>0.1)"
          "  nl refused (not best)  others passed (nl best)")
    for band, rows in bands.items():
        nl = [sc for k, _, sc in rows if k == "nl"]
        other = [sc for k, _, sc in rows if k != "nl"]
        a = sum(sc["nl"] <= GATE for sc in nl)
        b = sum(sc["nl"] > GATE for sc in other)
        c = sum(best_of(sc)[0] != "nl" for sc in nl)
        d = sum(best_of(sc)[0] == "nl" for sc in other)
        print(f"{band:>8}  {a:4}/{len(nl)} = {100 * a / len(nl):5.2f}%       "
              f"{b:4}/{len(other)} = {100 * b / len(other):5.2f}%       "
              f"{c:4}/{len(nl)} = {100 * c / len(nl):5.2f}%    "
              f"{d:4}/{len(other)} = {100 * d / len(other):5.2f}%")
        per = "  ".join(f"{k} {sum(sc['nl'] > GATE for j, _, sc in rows if j == k)}"
                        f"/{sum(j == k for j, _, _ in rows)}" for k in LANGS if k != "nl")
        print(f"          passed by language: {per}")
        s = [sc["nl"] for sc in nl]
        print(f"          Dutch score of Dutch samples: min {min(s):.4f}, 1% {quantile(s, .01):.4f},"
              f" 5% {quantile(s, .05):.4f}, median {quantile(s, .5):.4f}")

    if args.near and Path(args.near).is_dir():
        print("\nClosely related languages outside the six: passed as Dutch (nl score > 0.1),"
              " Dutch best of six")
        for path in sorted(Path(args.near).glob("*-*-*.txt")):
            rows = [clf.scores(line) for line in read_lines(path)]
            if not rows:
                continue
            gate = sum(sc["nl"] > GATE for sc in rows)
            nlbest = sum(best_of(sc)[0] == "nl" for sc in rows)
            print(f"{path.stem:>14}  {gate:4}/{len(rows)} = {100 * gate / len(rows):6.2f}%"
                  f"   {nlbest:4}/{len(rows)} = {100 * nlbest / len(rows):6.2f}%")

    others = {}
    for length in (100, 200, 500):
        path = Path(args.dev) / f"other-{length}.txt"
        if path.exists():
            others[length] = [clf.scores(line) for line in path.read_bytes().split(b"\n") if line]
    if others:
        print("\nLanguages outside the six (pt, da, sv, nb, fi, id)")
        print("length  samples  nl score > 0.1   nl best   best score: median / 95% / 99% / max")
        for length, rows in others.items():
            best = [best_of(sc)[1] for sc in rows]
            gate = sum(sc["nl"] > GATE for sc in rows)
            nlbest = sum(best_of(sc)[0] == "nl" for sc in rows)
            print(f"{length:6}  {len(rows):7}  {gate:4} = {100 * gate / len(rows):5.2f}%  "
                  f"{nlbest:4} = {100 * nlbest / len(rows):5.2f}%   {quantile(best, .5):.4f} / "
                  f"{quantile(best, .95):.4f} / {quantile(best, .99):.4f} / {max(best):.4f}")
            for t in args.threshold:
                named = sum(b > t for b in best)
                print(f"        threshold {t}: {named}/{len(best)} get a language code"
                      " instead of ??")
    clf.close()

    print("\nDutch score of Dutch samples: min / 1% / 5% / median")
    for length in LENGTHS:
        s = [sc["nl"] for k, _, sc in results[length] if k == "nl"]
        print(f"{length:6}  {min(s):.4f} / {quantile(s, .01):.4f} / {quantile(s, .05):.4f}"
              f" / {quantile(s, .5):.4f}")

    print("\nBest score of correct answers: min / 0.5% / 1% / 5% / median;"
          " best score of wrong answers: max")
    for length in LENGTHS:
        good = [best_of(sc)[1] for k, _, sc in results[length] if best_of(sc)[0] == k]
        bad = [best_of(sc)[1] for k, _, sc in results[length] if best_of(sc)[0] != k]
        worst = f"{max(bad):.4f}" if bad else "-"
        print(f"{length:6}  {min(good):.4f} / {quantile(good, .005):.4f} / "
              f"{quantile(good, .01):.4f} / {quantile(good, .05):.4f} / "
              f"{quantile(good, .5):.4f};  {worst}")
        for t in args.threshold:
            lost = sum(g <= t for g in good)
            kept_bad = sum(b > t for b in bad)
            print(f"        threshold {t}: {lost}/{len(good)} correct answers become ??,"
                  f" {kept_bad}/{len(bad)} wrong answers still given")


if __name__ == "__main__":
    main()
