"""Turning extracted paragraphs into clean running prose of one language, in Windows-1252."""

import re
import unicodedata

LANGS = ("en", "nl", "fr", "de", "it", "es")

# Frequent function words. A word listed for more than one language says nothing and is
# left out of the vote (see _VOTE below).
STOP_WORDS = {
    "en": """the and of to is that for it with as are this be on by you not or from which can
        will have an if when your has was all these there their into only other more also its
        any may should would then than but been were they what how such each so does must
        where who however using""",
    "nl": """het een van dat op te voor met niet zijn aan er als bij ook om wordt worden kan
        uit naar u uw deze dit maar door over hoe dan wanneer geen meer alle heeft hebben
        wat wilt kunt moet waar zoals alleen tussen nog na wel hun zal zullen wordt
        werd omdat kunnen ze hij zij welke hier daar""",
    "de": """der das und ist nicht mit den dem ein eine einen zu von auf für sich auch wird
        werden im oder bei wenn aus kann sie dass wie nur diese dieser dieses noch nach über
        sind durch zum zur kein keine einem einer können muss werden wurde ob vom alle""",
    "fr": """le les des du et est une que qui pour dans pas par sur ce cette au aux avec sont
        ou ne plus vous peut être été il elle nous leur si ces son sa ses mais comme tout
        tous fait sans lorsque dont votre vos""",
    "it": """il lo gli di del della dei delle che è e per non con sono nel nella alla al
        dal si come questo questa più anche essere viene può ed degli alle nei sul sulla
        tra fra ogni quando solo stato tutti""",
    "es": """el los las del que y es por para con no al lo como más este esta son puede su
        sus pero ser está también cuando entre sobre todo todos muy sin hay ya desde
        esto usted""",
}
STOP_WORDS = {k: set(v.split()) for k, v in STOP_WORDS.items()}
_SHARED = {w for a in LANGS for b in LANGS if a < b for w in STOP_WORDS[a] & STOP_WORDS[b]}
_VOTE = {k: v - _SHARED for k, v in STOP_WORDS.items()}

# Letters beyond ASCII a-z/A-Z that a language's training text keeps. The library lower-cases
# ASCII only, so an accented capital is a character of its own and adds to V. A letter stays
# when it occurs at least 20 times in 3 MB of the language's prose (capitals: 40 times);
# rarer capitals are lower-cased, rarer letters leave with their word (mostly names and
# loan words: "Müller" in French, "café" in German). Windows-1252 letters from 128 to 191
# (œ, Œ) stay as written: the library blanks them in mail just the same.
ALLOWED = {
    "en": "",
    "nl": "éëïóö",
    "de": "äöüßÄÖÜ",
    "fr": "àâçéèêëîïôùûœÀÉŒ",
    "it": "àèéìòùÈ",
    "es": "áéíóúñÉÍÓ",
}

_PUNCT = str.maketrans({
    "\u2018": "'", "\u2019": "'", "\u201a": "'", "\u201b": "'", "\u2032": "'", "\u00b4": "'",
    "\u201c": '"', "\u201d": '"', "\u201e": '"', "\u201f": '"', "\u2033": '"',
    "\u00ab": '"', "\u00bb": '"', "\u2039": '"', "\u203a": '"',
    "\u2010": "-", "\u2011": "-", "\u2012": "-", "\u2013": "-", "\u2014": "-", "\u2015": "-",
    "\u2212": "-", "\u2026": "...", "\u00a0": " ", "\u2009": " ", "\u202f": " ", "\u2002": " ",
    "\u2003": " ", "\u200b": "", "\u00ad": "", "\ufeff": "", "\u2022": " ", "\u00b7": " ",
    "\u2192": " ", "\u2190": " ", "\u21d2": " ", "\u2122": " ", "\u00ae": " ", "\u00a9": " ",
    "\t": " ",
})

_URLISH = re.compile(r"://|www\.|@|\\")
_CODEISH = re.compile(r"[_=$%{}<>\[\]|*#~^`&]|\(\)|::|->")
_DOTTED = re.compile(r"[^\W\d_]\.[^\W\d_]{2,}")
_DIGIT_LETTER = re.compile(r"(?=.*\d)(?=.*[^\W\d_])")
_CAMEL = re.compile(r"[a-zà-ÿ][A-ZÀ-Þ]")
_EDGE = "\"'()[]{}.,;:!?¿¡"


def normalise(text):
    text = unicodedata.normalize("NFC", text).translate(_PUNCT)
    return " ".join(text.split())


def _bare(token):
    return token.strip(_EDGE)


def is_noise_token(token):
    """Tokens that are no words of running prose: addresses, paths, options, code, jargon."""
    bare = _bare(token)
    if not bare:
        return False
    if "()" in token:
        return True  # a function name: "printf()"
    if _URLISH.search(bare) or _CODEISH.search(bare):
        return True
    if "/" in bare:
        parts = bare.split("/")
        if not all(p.isalpha() for p in parts):
            return True  # a path; "en/of", "and/or" stay
    if bare[0] in "-+" and len(bare) > 1:
        return True  # a command-line option
    if _DOTTED.search(bare):
        return True  # a file or host name; short abbreviations such as "z.B." stay
    if _DIGIT_LETTER.match(bare):
        return True
    letters = [c for c in bare if c.isalpha()]
    if len(letters) >= 2 and all(c.isupper() for c in letters):
        return True  # acronyms and man-page placeholders
    if _CAMEL.search(bare):
        return True  # product and identifier names
    return False


def fix_letters(word, lang, strict):
    """Returns the word with its characters made fit for the text, or None to drop it.
    strict (training): only the language's letters; otherwise whatever Windows-1252 holds."""
    out = []
    for c in word:
        if ord(c) < 128:
            out.append(c)
            continue
        try:
            c.encode("cp1252")
        except UnicodeEncodeError:
            return None
        if not strict:
            out.append(c)
        elif c in ALLOWED[lang]:
            out.append(c)
        elif c in "×÷":
            out.append(" ")  # signs, not letters, though the library keeps their bytes
        elif not c.isalpha():
            out.append(c)  # punctuation and signs from 128 to 191: blanked by the library
        elif c.lower() in ALLOWED[lang]:
            out.append(c.lower())
        else:
            return None
    return "".join(out)


def clean_tokens(text, lang, strict):
    """Keeps the words of running prose. strict: also drop jargon and fold stray capitals
    (training text); otherwise only characters the language cannot have go (evaluation text)."""
    kept = []
    for token in text.split(" "):
        if not token:
            continue
        if strict and is_noise_token(token):
            continue
        if not strict and _URLISH.search(token):
            continue
        fixed = fix_letters(token, lang, strict)
        if fixed is None:
            continue
        kept.append(fixed)
    return " ".join(kept)


def drop_words(text, words):
    """The text without the tokens whose bare, lower-cased form is in words."""
    return " ".join(t for t in text.split(" ") if t and _bare(t).lower() not in words)


def foreign_words(own_list, english_list):
    """English words that are no words of the language: the English left in a translated
    text (untranslated names of menus, games' and programs' jargon). Each 4-gram seen once
    in a model counts for much more than an unseen one, so these few words (half a percent
    of the Dutch text) let English text pass the Dutch gate."""
    own = {w.lower() for w in own_list}
    return {w.lower() for w in english_list if len(w) > 2} - own


def words_of(text):
    return re.findall(r"[^\W\d_]+", text.lower())


def language_vote(text):
    votes = {k: 0 for k in LANGS}
    for w in words_of(text):
        for k in LANGS:
            if w in _VOTE[k]:
                votes[k] += 1
    return votes


def _passes(votes, lang):
    own = votes[lang]
    other = max(v for k, v in votes.items() if k != lang)
    return own >= 1 and own > 2 * other


def is_language(text, lang):
    """A paragraph passes when its own language's function words clearly outnumber every
    other language's; partially translated pages leave English paragraphs behind."""
    return _passes(language_vote(text), lang)


_SENTENCE_END = re.compile(r"(?<=[.!?:])\s+(?=[\"'(¿¡]?[A-ZÀ-Þ])")


def language_sentences(text, lang):
    """The paragraph without the sentences that are in another language (half-translated
    paragraphs); sentences without any function word go with their paragraph."""
    if not is_language(text, lang):
        return ""
    kept = []
    for sentence in _SENTENCE_END.split(text):
        votes = language_vote(sentence)
        if _passes(votes, lang) or not any(votes.values()):
            kept.append(sentence)
    return " ".join(kept)


def is_prose(text, min_words):
    words = text.split()
    if len(words) < min_words:
        return False
    letters = sum(c.isalpha() for c in text)
    return letters >= 0.7 * len(text.replace(" ", ""))


def to_cp1252(text):
    return text.encode("cp1252")
