"""Language identification (en, nl, fr, de, it, es) with morvik's character 4-gram models.

A thin layer over the shared library: the text is converted to Windows-1252, the library's
8-bit form, and scored there. The library holds global state and is not thread-safe, so every
call goes through one lock.
"""

import ctypes
import os
import sys
import threading
import unicodedata

__all__ = ["classify", "scores", "LANGUAGES"]

LANGUAGES = ("en", "nl", "fr", "de", "it", "es")

_lock = threading.Lock()
_library = None


def _library_names():
    named = os.environ.get("MORVIK_LIBRARY")
    if named:
        return [named]
    if sys.platform == "win32":
        return ["morvik.dll"]
    # The interface's version first: the runtime package has no unversioned link.
    return ["libmorvik.so.1", "libmorvik.so"]


def _load():
    global _library
    if _library is not None:
        return _library
    reasons = []
    for name in _library_names():
        try:
            lib = ctypes.CDLL(name)
            break
        except OSError as error:
            reasons.append(str(error))
    else:
        raise OSError("morvik: the library cannot be loaded: " + "; ".join(reasons))
    lib.C_InitLanguageClassifier.argtypes = [ctypes.c_char_p]
    lib.C_InitLanguageClassifier.restype = ctypes.c_int32
    lib.C_Classify.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p]
    lib.C_Classify.restype = ctypes.c_float
    lib.C_ClassifyLanguage.argtypes = [ctypes.c_char_p]
    lib.C_ClassifyLanguage.restype = ctypes.c_char_p
    # A plain name is found in the working directory or else in the library's install.
    config = os.environ.get("MORVIK_CONFIG", "lid.cfg")
    if lib.C_InitLanguageClassifier(os.fsencode(config)) != 0:
        raise OSError("morvik: the configuration %r or a model it names cannot be loaded "
                      "(the reason is on standard error)" % config)
    _library = lib
    return lib


def _char_bytes(char):
    try:
        return char.encode("cp1252")
    except UnicodeEncodeError:
        pass
    # A letter with marks the code page lacks keeps its base letter ("ł" has none: "?").
    base = "".join(c for c in unicodedata.normalize("NFKD", char)
                   if not unicodedata.combining(c))
    try:
        return base.encode("cp1252") if base else b"?"
    except UnicodeEncodeError:
        return b"?"


def _to_8bit(text):
    """The text as the library takes it: Windows-1252 bytes, no NUL (which would end it)."""
    if isinstance(text, (bytes, bytearray)):
        data = bytes(text)
    else:
        if not isinstance(text, str):
            text = str(text)
        try:
            data = text.encode("cp1252")
        except UnicodeEncodeError:
            data = b"".join(_char_bytes(c) for c in text)
    return data.replace(b"\0", b" ")


def scores(text):
    """The text's score in each of the six languages, between 0 and 1."""
    data = _to_8bit(text)
    with _lock:
        lib = _load()
        return {code: float(lib.C_Classify(data, code.encode(), b"ASCIIDocument"))
                for code in LANGUAGES}


def classify(text):
    """(language, score) of the best language; the language is None when no language scores
    above the configured threshold."""
    data = _to_8bit(text)
    with _lock:
        lib = _load()
        answer = lib.C_ClassifyLanguage(data).decode("ascii")
        code, _, _ = answer.partition(" ")
        if code in LANGUAGES:
            return code, float(lib.C_Classify(data, code.encode(), b"ASCIIDocument"))
        best = max(float(lib.C_Classify(data, c.encode(), b"ASCIIDocument"))
                   for c in LANGUAGES)
        return None, best
