#!/usr/bin/env python3
"""Prepares morvik's training texts and development set from Debian packages.

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
# Games and learning programs whose messages bring the informal register of everyday mail
# ("je", "du", "tu", letters and talk between characters) that documentation lacks, with the
# members of each package that hold the texts.
GAMES = {
    WESNOTH: ["./usr/share/games/wesnoth/*/locale/*"],
    "widelands-data": ["./usr/share/games/widelands/data/locale/*"],
    "warzone2100-data": ["./usr/share/locale/*"],
    "gcompris-qt-data": ["./usr/share/gcompris-qt/translations/*"],
    "tuxpaint-data": ["./usr/share/locale/*"],
    "supertux-data": ["*.po"],
    "pingus-data": ["./usr/share/games/pingus/data/po/*"],
}
# Held out of training for the mail-like development set: the dialogue of Fish Fillets
# (two fish talking), and for the closely related languages outside the six, FreeCol's
# Afrikaans, Low German and Danish messages and the Frisian and Afrikaans language packs
# of Thunderbird and Firefox.
FILLETS = "fillets-ng-data"
HELD_OUT = {
    FILLETS: ["./usr/share/games/fillets-ng/script/*"],
    "freecol": ["./usr/share/games/freecol/strings/*"],
    "thunderbird-l10n-fy-nl": ["./usr/lib/thunderbird/extensions/*"],
    "firefox-esr-l10n-af": ["./usr/lib/firefox-esr/browser/extensions/*"],
}
UNPACK_ONLY = {**GAMES, **HELD_OUT}
TRAIN_PACKAGES = (["manpages", "manpages-dev", "gnome-user-docs", "libreoffice-help-en-us"]
                  + list(GAMES)
                  + [f"manpages-{k}" for k in LANGS if k != "en"]
                  + [f"libreoffice-help-{k}" for k in LANGS if k != "en"])
# Word lists that tell the English words in the Dutch text from Dutch ones. Only Dutch is
# filtered: brevon's gate reads its score alone, and the Italian and Spanish lists of Debian
# lack too many inflected forms to filter those texts safely.
WORD_LISTS = {"en": ("wamerican", "american-english"), "nl": ("wdutch", "dutch")}
TRAIN_PACKAGES += [package for package, _ in WORD_LISTS.values()]
DEV_PACKAGES = ["debian-faq", "debian-faq-nl", "debian-faq-fr", "debian-faq-de", "debian-faq-it",
                "aptitude-doc-en", "aptitude-doc-nl", "aptitude-doc-fr", "aptitude-doc-it",
                "aptitude-doc-es", "debian-reference-de", "debian-reference-es"]
DEV_PACKAGES += list(HELD_OUT)

# Bytes of training text per language and the share each source may take of it, so that
# no single register dominates: man pages are terse, help pages address the user formally,
# the games' messages bring the informal register of everyday mail ("je", "du", "tu"),
# which documentation lacks (Dutch has about 720 kB of them: all are used). LibreOffice's
# share leaves English and German man pages about 600 kB, which short technical texts need.
# 3.8 MB is about what Dutch and Italian have in all; more text also keeps foreign text
# further from each model (at 3 MB, 4.6% of the other five's documentation texts of 100-199
# characters passed the Dutch gate, against 4.3% at 3.8 MB; 25-character accuracy 97.3%
# against 97.5%).
TRAIN_BYTES = 3_800_000
SOURCE_SHARE = {"man": 0.35, "gnome": 0.25, "game": 0.20, "lo": 0.50}
SOURCE_ORDER = ("man", "gnome", "game", "lo")

DEV_LENGTHS = (25, 50, 100, 200, 500)
# Bands of lengths for the Dutch gate, with the samples kept per language: fewer of the
# longest, where every text passes or fails alike, to keep the repository small.
DEV_BANDS = {(100, 199): 300, (200, 499): 300, (500, 999): 100}
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
        package = deb.name.split("_")[0]
        target = work / "x" / package
        if target.exists():
            continue
        target.mkdir(parents=True)
        if package in UNPACK_ONLY:
            # Only the texts; the rest of a game is hundreds of MB of pictures and sound.
            tar = subprocess.Popen(["dpkg-deb", "--fsys-tarfile", str(deb)], stdout=subprocess.PIPE)
            subprocess.run(["tar", "-x", "-C", str(target), "--wildcards", *UNPACK_ONLY[package]],
                           stdin=tar.stdout, check=True)
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


# Where each game keeps one language's catalogues ({} is the language code), and how to read
# them; English takes the original messages of every other language's catalogues.
CATALOGUES = [
    ("widelands-data", "usr/share/games/widelands/data/locale/{}/LC_MESSAGES/*.mo",
     sources.mo_catalogue),
    ("warzone2100-data", "usr/share/locale/{}/LC_MESSAGES/warzone2100.mo", sources.mo_catalogue),
    ("gcompris-qt-data", "usr/share/gcompris-qt/translations/gcompris_{}.qm", sources.qm_catalogue),
    ("tuxpaint-data", "usr/share/locale/{}/LC_MESSAGES/tuxpaint.mo", sources.mo_catalogue),
    ("supertux-data", "usr/share/games/supertux2/**/{}.po", sources.po_catalogue),
    ("pingus-data", "usr/share/games/pingus/data/po/{}.po", sources.po_catalogue),
]


def catalogue_source(work, lang):
    """The other games' messages, one document per catalogue file."""
    docs = []
    for package, pattern, read in CATALOGUES:
        for code in ([k for k in LANGS if k != "en"] if lang == "en" else [lang]):
            for path in sources.files(work / "x" / package, pattern.format(code)):
                pairs = read(path)
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


def word_list(work, lang):
    package, name = WORD_LISTS[lang]
    path = work / "x" / package / "usr/share/dict" / name
    return path.read_text("utf-8", "replace").split()


def clean_paragraphs(docs, lang, strict, seen, foreign=frozenset()):
    """Yields the clean Windows-1252 paragraphs of a list of documents, each only once;
    foreign: words to leave out (training text)."""
    for doc in docs:
        for raw in doc:
            text = textclean.language_sentences(textclean.normalise(raw), lang)
            text = textclean.clean_tokens(text, lang, strict)
            if foreign:
                text = textclean.drop_words(text, foreign)
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
    foreign = (textclean.foreign_words(word_list(work, lang), word_list(work, "en"))
               if lang in WORD_LISTS and lang != "en" else frozenset())
    games = game_source(work, lang) + catalogue_source(work, lang)
    for name, docs in train_sources(work, lang) + [("game", games)]:
        per_source[name] = list(clean_paragraphs(docs, lang, True, seen, foreign))
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


def cut_band(paragraphs, low, high):
    """Consecutive samples whose lengths run through low..high, cut at word boundaries: mail
    bodies of every length in the band. Each sample aims at a length that moves on by 37
    characters (wrapping) and may run past it, up to high, to reach low."""
    words = b" ".join(paragraphs).split(b" ")
    samples, cur = [], b""
    target = low
    for w in words:
        cand = cur + b" " + w if cur else w
        if len(cand) > high or (len(cand) > target and len(cur) >= low):
            if len(cur) >= low:
                samples.append(cur)
                target = low + (target - low + 37) % (high - low + 1)
            cur = w if len(w) <= high else b""
        else:
            cur = cand
    return samples


def _thin(samples, count):
    if len(samples) > count:
        step = len(samples) / count
        samples = [samples[int(i * step)] for i in range(count)]
    return samples


def build_dev(work, lang, train_seen, docs=None):
    """Samples by length (at most 25 ... 500 characters) and by band of lengths (100-199,
    200-499, 500-999 characters, for the Dutch gate), keyed by name."""
    seen = set(train_seen)  # nothing that also stands in the training text
    docs = dev_sources(work, lang) if docs is None else docs
    paras = list(clean_paragraphs(docs, lang, False, seen))
    out = {}
    for length in DEV_LENGTHS:
        out[str(length)] = _thin(cut_samples(paras, length), DEV_SAMPLES)
    for (low, high), count in DEV_BANDS.items():
        out[f"{low}-{high}"] = _thin(cut_band(paras, low, high), count)
    return out


# The two fish of Fish Fillets, whose talk is the game's conversation; the other characters
# speak in stylised ways (a parrot's rolled r's, a moose's Russian, Vikings' screams) and the
# screens show shell commands.
FISH = frozenset({"font_small", "font_big"})


def fillets_source(work, lang, fonts=FISH):
    """Fish Fillets' dialogue, its lines run together into paragraphs of 300 characters or
    more: a paragraph of talk (short replies included) rather than a line at a time."""
    root = work / "x" / FILLETS / "usr/share/games/fillets-ng/script"
    docs = []
    for lines in sources.fillets_dialogues(root, lang, fonts):
        paras, cur = [], []
        for line in lines:
            cur.append(line)
            if sum(len(x) + 1 for x in cur) >= 300:
                paras.append(" ".join(cur))
                cur = []
        if cur:
            paras.append(" ".join(cur))
        docs.append(paras)
    return docs


# Closely related languages outside the six, from packages outside the training texts:
# (language, package, reader of its messages).
NEAR = [
    ("af", "freecol", "usr/share/games/freecol/strings/FreeColMessages_af.properties"),
    ("af", "firefox-esr-l10n-af", "usr/lib/firefox-esr/browser/extensions/*.xpi"),
    ("nds", "freecol", "usr/share/games/freecol/strings/FreeColMessages_nds.properties"),
    ("fy", "thunderbird-l10n-fy-nl", "usr/lib/thunderbird/extensions/*.xpi"),
    ("da", "freecol", "usr/share/games/freecol/strings/FreeColMessages_da.properties"),
]
NEAR_LANGS = ("af", "nds", "fy", "da")
# Words that betray an untranslated English message in the related languages.
_ENGLISH = {"the", "and", "of", "you", "your", "this", "with", "which", "that", "is", "are"}


def build_near(work, lang):
    """Band samples of one related language; messages with substitution variables or
    English words are left out, so what remains is the translators' own prose."""
    paras, seen = [], set()
    for code, package, pattern in NEAR:
        if code != lang:
            continue
        for path in sources.files(work / "x" / package, pattern):
            read = sources.xpi_messages if path.suffix == ".xpi" else sources.properties_values
            for message in read(path):
                if sources.has_variable(message):
                    continue
                for raw in sources.message_paragraphs(message):
                    text = textclean.normalise(raw)
                    if set(textclean.words_of(text)) & _ENGLISH:
                        continue
                    text = textclean.clean_tokens(text, "en", False)
                    if not textclean.is_prose(text, min_words=4) or _key(text) in seen:
                        continue
                    seen.add(_key(text))
                    paras.append(textclean.to_cp1252(text))
    return {f"{low}-{high}": _thin(cut_band(paras, low, high), count)
            for (low, high), count in DEV_BANDS.items()}


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
        sets = [("", build_dev(args.work, lang, seen)),
                ("informal/", build_dev(args.work, lang, seen,
                                        game_source(args.work, lang, dev=True))),
                ("mail/", build_dev(args.work, lang, seen, fillets_source(args.work, lang)))]
        for folder, samples_by in sets:
            (args.out / "dev" / folder).mkdir(exist_ok=True)
            for name, samples in samples_by.items():
                (args.out / "dev" / folder / f"{lang}-{name}.txt").write_bytes(
                    b"".join(s + b"\n" for s in samples))
                print(f"{lang} dev {folder}{name}: {len(samples)} samples", file=sys.stderr)
    if not args.lang:
        (args.out / "dev" / "near").mkdir(exist_ok=True)
        for lang in NEAR_LANGS:
            for name, samples in build_near(args.work, lang).items():
                (args.out / "dev" / "near" / f"{lang}-{name}.txt").write_bytes(
                    b"".join(s + b"\n" for s in samples))
                print(f"{lang} near dev {name}: {len(samples)} samples", file=sys.stderr)


if __name__ == "__main__":
    main()
