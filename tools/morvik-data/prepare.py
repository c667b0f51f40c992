#!/usr/bin/env python3
"""Prepares morvik's training texts and development set from Debian documentation packages.

    tools/morvik-data/prepare.py [--work DIR] [--out morvik/data]

Downloads the packages below with `apt-get download` into DIR (default
/tmp/morvik-data-src; nothing is installed), extracts them there, and writes
morvik/data/train/<code>.txt (Windows-1252, one paragraph a line) and
morvik/data/dev/<code>-<length>.txt (one sample a line). The same packages give the
same bytes on every run.
"""

import argparse
import hashlib
import pickle
import subprocess
import sys
from concurrent.futures import ProcessPoolExecutor
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import sources  # noqa: E402
import textclean  # noqa: E402
from textclean import LANGS  # noqa: E402

LO_CODE = {"en": "en-US", "nl": "nl", "fr": "fr", "de": "de", "it": "it", "es": "es"}
GNOME_CODE = {"en": "C", "nl": "nl", "fr": "fr", "de": "de", "it": "it", "es": "es"}

WESNOTH = "wesnoth-1.16-data"
TRAIN_PACKAGES = (["manpages", "manpages-dev", "gnome-user-docs", "libreoffice-help-en-us", WESNOTH]
                  + [f"manpages-{k}" for k in LANGS if k != "en"]
                  + [f"libreoffice-help-{k}" for k in LANGS if k != "en"])
DEV_PACKAGES = ["debian-faq", "debian-faq-nl", "debian-faq-fr", "debian-faq-de", "debian-faq-it",
                "aptitude-doc-en", "aptitude-doc-nl", "aptitude-doc-fr", "aptitude-doc-it",
                "aptitude-doc-es", "debian-reference-de", "debian-reference-es"]

# Bytes of training text per language and the share each source may take of it, so that
# no single register dominates: man pages are terse, help pages address the user formally,
# the game's story and tutorial texts bring the informal register of everyday mail
# ("je", "du", "tu"), which documentation lacks.
TRAIN_BYTES = 3_000_000
SOURCE_SHARE = {"man": 0.35, "gnome": 0.25, "game": 0.20, "lo": 0.60}
SOURCE_ORDER = ("man", "gnome", "game", "lo")

DEV_LENGTHS = (25, 50, 100, 200, 500)
DEV_SAMPLES = 300

# Languages outside the six, for the "??" answer and the Dutch gate: man pages of close
# neighbours that Windows-1252 can write (package suffix, man folder).
OTHER_LANGS = {"pt": ("pt-br", "pt_BR"), "da": ("da", "da"), "sv": ("sv", "sv"),
               "nb": ("nb", "nb"), "fi": ("fi", "fi"), "id": ("id", "id")}
OTHER_LENGTHS = (100, 200, 500)
OTHER_SAMPLES = 50  # per language and length
DEV_PACKAGES += [f"manpages-{pkg}" for pkg, _ in OTHER_LANGS.values()]


def fetch(work):
    debs = work / "debs"
    debs.mkdir(parents=True, exist_ok=True)
    wanted = [p for p in TRAIN_PACKAGES + DEV_PACKAGES if not list(debs.glob(f"{p}_*.deb"))]
    if wanted:
        subprocess.run(["apt-get", "download", *wanted], cwd=debs, check=True)
    for deb in sorted(debs.glob("*.deb")):
        target = work / "x" / deb.name.split("_")[0]
        if target.exists():
            continue
        target.mkdir(parents=True)
        if deb.name.startswith(WESNOTH + "_"):
            # Only the message catalogues; the rest is 190 MB of pictures and sound.
            tar = subprocess.Popen(["dpkg-deb", "--fsys-tarfile", str(deb)], stdout=subprocess.PIPE)
            subprocess.run(["tar", "-x", "-C", str(target), "--wildcards",
                            "./usr/share/games/wesnoth/*/locale/*"], stdin=tar.stdout, check=True)
            tar.wait()
        else:
            subprocess.run(["dpkg-deb", "-x", str(deb), str(target)], check=True)


def _man_file(path):
    return list(sources.man_paragraphs(sources.render_man(path)))


def train_sources(work, lang):
    """(source name, list of paragraph lists) for one language's training text; the raw
    paragraphs are kept in the work folder, as rendering thousands of man pages is slow."""
    cache = work / "cache" / f"train-{lang}.pickle"
    if cache.exists():
        return pickle.loads(cache.read_bytes())
    out = _train_sources(work, lang)
    cache.parent.mkdir(exist_ok=True)
    cache.write_bytes(pickle.dumps(out))
    return out


def _train_sources(work, lang):
    x = work / "x"
    if lang == "en":
        man = sources.man_pages(x / "manpages", None) + sources.man_pages(x / "manpages-dev", None)
    else:
        man = sources.man_pages(x / f"manpages-{lang}", lang)
    gnome_root = x / "gnome-user-docs/usr/share/help" / GNOME_CODE[lang]
    gnome = sources.files(gnome_root, "*/*.page")
    lo = sources.files(x / f"libreoffice-help-{LO_CODE[lang].lower()}/usr/share/libreoffice/help"
                       / LO_CODE[lang] / "text", "**/*.html")
    with ProcessPoolExecutor(max_workers=2) as pool:
        man_paras = list(pool.map(_man_file, man, chunksize=16))
    return [("man", man_paras),
            ("gnome", [list(sources.mallard_paragraphs(p)) for p in gnome]),
            ("lo", [sources.html_paragraphs(p) for p in lo])]


# Wesnoth catalogues held out of training: the informal part of the development set.
GAME_DEV = ("wesnoth-tutorial.mo", "wesnoth-multiplayer.mo", "wesnoth-anl.mo", "wesnoth-wc.mo")


def game_source(work, lang, dev=False):
    """Wesnoth's catalogues: the translations, and for English the original messages;
    dev selects the held-out catalogues instead of the training ones."""
    locale = sorted((work / "x" / WESNOTH).glob("usr/share/games/wesnoth/*/locale"))
    if not locale:
        return []
    docs = []
    for code in ([k for k in LANGS if k != "en"] if lang == "en" else [lang]):
        for mo in sorted((locale[-1] / code / "LC_MESSAGES").glob("*.mo")):
            if (mo.name in GAME_DEV) != dev:
                continue
            pairs = sources.mo_catalogue(mo)
            texts = [i if lang == "en" else s for i, s in pairs]
            docs.append([p for t in texts for p in sources.message_paragraphs(t)])
    return docs


def dev_sources(work, lang):
    x = work / "x"
    faq = {"en": "debian-faq/usr/share/doc/debian/FAQ/*.html"}
    for k in ("nl", "fr", "de", "it"):
        faq[k] = f"debian-faq-{k}/usr/share/doc/debian/FAQ/{k}/*.html"
    patterns = {
        "en": [faq["en"], "aptitude-doc-en/usr/share/doc/aptitude/html/en/*.html"],
        "nl": [faq["nl"], "aptitude-doc-nl/usr/share/doc/aptitude/html/nl/*.html"],
        "fr": [faq["fr"], "aptitude-doc-fr/usr/share/doc/aptitude/html/fr/*.html"],
        "it": [faq["it"], "aptitude-doc-it/usr/share/doc/aptitude/html/it/*.html"],
        "de": [faq["de"], "debian-reference-de/usr/share/debian-reference/*.de.html"],
        "es": ["aptitude-doc-es/usr/share/doc/aptitude/html/es/*.html",
               "debian-reference-es/usr/share/debian-reference/*.es.html"],
    }[lang]
    out = []
    for pattern in patterns:
        out.extend(sources.html_paragraphs(p) for p in sources.files(x, pattern))
    return out


def _key(text):
    return "".join(c for c in text.lower() if c.isalpha())


def clean_paragraphs(docs, lang, strict, seen):
    """Yields the clean Windows-1252 paragraphs of a list of documents, each only once."""
    for doc in docs:
        for raw in doc:
            text = textclean.language_sentences(textclean.normalise(raw), lang)
            text = textclean.clean_tokens(text, lang, strict)
            if not textclean.is_prose(text, min_words=5 if strict else 4):
                continue
            key = _key(text)
            if key in seen:
                continue
            seen.add(key)
            yield textclean.to_cp1252(text)


def _spread(items, limit_bytes):
    """A deterministic, evenly spread choice of paragraphs up to limit_bytes."""
    ranked = sorted(items, key=lambda b: hashlib.sha1(b).digest())
    chosen, size = set(), 0
    for b in ranked:
        if size + len(b) + 1 > limit_bytes:
            break
        chosen.add(b)
        size += len(b) + 1
    return [b for b in items if b in chosen]  # keep document order: running text


def build_train(work, lang, log):
    seen = set()
    per_source = {}
    for name, docs in train_sources(work, lang) + [("game", game_source(work, lang))]:
        per_source[name] = list(clean_paragraphs(docs, lang, True, seen))
        log(f"{lang} {name}: {sum(len(p) + 1 for p in per_source[name])} bytes clean")
    # Fill each source's share; what a short source leaves over goes to the others in turn.
    budget = TRAIN_BYTES
    chosen = {}
    order = sorted(per_source, key=lambda n: sum(len(p) for p in per_source[n]))
    for i, name in enumerate(order):
        cap = min(budget, int(SOURCE_SHARE[name] * TRAIN_BYTES)) if i < len(order) - 1 else budget
        chosen[name] = _spread(per_source[name], cap)
        budget -= sum(len(p) + 1 for p in chosen[name])
    text = b"".join(p + b"\n" for name in SOURCE_ORDER for p in chosen[name])
    if len(text) < TRAIN_BYTES // 3:
        sys.exit(f"prepare.py: only {len(text)} bytes of {lang} text; are the packages of "
                 f"{lang} unpacked in {work / 'x'}?")
    for name in SOURCE_ORDER:
        log(f"{lang} {name}: {sum(len(p) + 1 for p in chosen[name])} bytes used")
    return text, seen


def cut_samples(paragraphs, length):
    """Consecutive samples of at most `length` characters, cut at word boundaries; paragraphs
    run on into each other as the paragraphs of a mail body do."""
    words = b" ".join(paragraphs).split(b" ")
    samples, cur = [], b""
    for w in words:
        cand = cur + b" " + w if cur else w
        if len(cand) > length:
            if cur and len(cur) >= 0.8 * length:
                samples.append(cur)
            cur = w if len(w) <= length else b""
        else:
            cur = cand
    return samples


def build_dev(work, lang, train_seen, docs=None):
    seen = set(train_seen)  # nothing that also stands in the training text
    docs = dev_sources(work, lang) if docs is None else docs
    paras = list(clean_paragraphs(docs, lang, False, seen))
    out = {}
    for length in DEV_LENGTHS:
        samples = cut_samples(paras, length)
        if len(samples) > DEV_SAMPLES:
            step = len(samples) / DEV_SAMPLES
            samples = [samples[int(i * step)] for i in range(DEV_SAMPLES)]
        out[length] = samples
    return out


def build_other(work):
    """Samples of the languages outside the six; paragraphs with function words of the six
    (untranslated English, above all) are left out."""
    out = {length: [] for length in OTHER_LENGTHS}
    for pkg, folder in OTHER_LANGS.values():
        pages = sources.man_pages(work / "x" / f"manpages-{pkg}", folder)
        paras, seen = [], set()
        for page in pages[:400]:
            for raw in _man_file(page):
                text = textclean.normalise(raw)
                if max(textclean.language_vote(text).values()) > 1:
                    continue
                text = textclean.clean_tokens(text, "en", False)
                if not textclean.is_prose(text, min_words=8) or _key(text) in seen:
                    continue
                seen.add(_key(text))
                paras.append(textclean.to_cp1252(text))
        for length in OTHER_LENGTHS:
            samples = cut_samples(paras, length)
            if len(samples) > OTHER_SAMPLES:
                step = len(samples) / OTHER_SAMPLES
                samples = [samples[int(i * step)] for i in range(OTHER_SAMPLES)]
            out[length].extend(samples)
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[1])
    ap.add_argument("--work", type=Path, default=Path("/tmp/morvik-data-src"))
    ap.add_argument("--out", type=Path,
                    default=Path(__file__).resolve().parents[2] / "morvik" / "data")
    ap.add_argument("--lang", action="append", choices=LANGS)
    ap.add_argument("--no-fetch", action="store_true")
    args = ap.parse_args()
    if not args.no_fetch:
        fetch(args.work)
    (args.out / "train").mkdir(parents=True, exist_ok=True)
    (args.out / "dev").mkdir(parents=True, exist_ok=True)
    for length, samples in build_other(args.work).items():
        (args.out / "dev" / f"other-{length}.txt").write_bytes(b"".join(s + b"\n" for s in samples))
        print(f"other dev {length}: {len(samples)} samples", file=sys.stderr)
    for lang in args.lang or LANGS:
        text, seen = build_train(args.work, lang, lambda m: print(m, file=sys.stderr))
        (args.out / "train" / f"{lang}.txt").write_bytes(text)
        for length, samples in build_dev(args.work, lang, seen).items():
            (args.out / "dev" / f"{lang}-{length}.txt").write_bytes(
                b"".join(s + b"\n" for s in samples))
            print(f"{lang} dev {length}: {len(samples)} samples", file=sys.stderr)
        informal = build_dev(args.work, lang, seen, game_source(args.work, lang, dev=True))
        (args.out / "dev" / "informal").mkdir(exist_ok=True)
        for length, samples in informal.items():
            (args.out / "dev" / "informal" / f"{lang}-{length}.txt").write_bytes(
                b"".join(s + b"\n" for s in samples))
            print(f"{lang} informal dev {length}: {len(samples)} samples", file=sys.stderr)


if __name__ == "__main__":
    main()
