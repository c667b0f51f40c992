"""A small Python model of morvik's classifier, for tuning the training texts quickly.

It follows the library: control bytes cleaned as the plain-text document does, words split
at the 44 delimiters, ASCII lower-cased, padded with "_", character 4-grams scored against
floor(1e6 * ln((c + 1) / (c2 + V))) with unseen 4-grams at ln(1 / V), the score being the
geometric mean. The float rounding of the library is imitated, so scores agree with it to
the last few bits; the library itself stays the reference (bench/morvik-accuracy).
"""

import math
import struct
from collections import Counter

# CR is deleted; 0-9, 11, 12, 14-31 and 127-191 become blanks; LF, 32-126 and 192-255 stay.
_GARBAGE = bytes(32 if (b < 32 and b not in (10, 13)) or 127 <= b <= 191 else b
                 for b in range(256))
_DELIMS = b"0123456789 \t\n\r.,'\"`:;-_()+/#$%@^*!?><=|~[]{}"
_SPLIT = bytes(32 if _GARBAGE[i] in _DELIMS else _GARBAGE[i] for i in range(256))


def words(text):
    """Words of a text as the library sees them (CR is deleted, so it joins its neighbours)."""
    return text.replace(b"\r", b"").translate(_SPLIT).lower().split()


def ngrams(text, n):
    out = Counter()
    for w in words(text):
        p = b"_" + w + b"_"
        for i in range(len(p) - n + 1):
            out[p[i:i + n]] += 1
    return out


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


class Model:
    def __init__(self, table, v):
        self.table = table
        self.v = v
        self.unseen = f32(math.log(1.0 / v))

    @classmethod
    def build(cls, text, n=4):
        grams = ngrams(text, n)
        prefixes = ngrams(text, n - 1)
        v = len(ngrams(text, 1))
        table = {g: math.floor(1e6 * math.log((c + 1) / (prefixes[g[:-1]] + v)))
                 for g, c in grams.items()}
        return cls(table, v)

    def score(self, text):
        grams = ngrams(text, 4)
        total = sum(grams.values())
        if total == 0:
            return 0.0
        s = 0.0
        for g, c in grams.items():
            val = self.table.get(g)
            lp = f32(val / 1e6) if val is not None else self.unseen
            s = f32(s + f32(c * lp))
        return f32(math.exp(s / total))


def charset(text):
    """The distinct characters the model counts (V includes the boundary mark)."""
    return sorted(ngrams(text, 1))
