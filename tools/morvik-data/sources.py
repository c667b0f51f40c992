"""Paragraph extraction from the Debian documentation packages behind morvik's texts.

Each extractor yields plain paragraphs (Unicode, one paragraph per string) in a stable order,
so the prepared texts come out byte-identical on every run from the same packages.
"""

import gzip
import re
import struct
import html.parser
import subprocess
import xml.etree.ElementTree as ET
from pathlib import Path

# Man page sections that hold no running prose (or no prose of the page's own language):
# synopses, names, cross references, credits and translator notes, code examples.
_MAN_SKIP_SECTIONS = {
    # en
    "NAME", "SYNOPSIS", "SEE ALSO", "COPYRIGHT", "AUTHOR", "AUTHORS", "COLOPHON",
    "REPORTING BUGS", "EXAMPLE", "EXAMPLES", "TRANSLATION", "TRANSLATIONS",
    # nl
    "NAAM", "SAMENVATTING", "OVERZICHT", "ZIE OOK", "AUTEUR", "AUTEURS", "VERTALING",
    "RAPPORTEREN VAN BUGS", "VOORBEELD", "VOORBEELDEN",
    # de
    "BEZEICHNUNG", "ÜBERSICHT", "SIEHE AUCH", "AUTOR", "AUTOREN", "ÜBERSETZUNG",
    "FEHLER MELDEN", "BEISPIEL", "BEISPIELE", "DANKSAGUNGEN",
    # fr
    "NOM", "VOIR AUSSI", "TRADUCTION", "SIGNALER DES BOGUES", "EXEMPLE", "EXEMPLES",
    # it
    "NOME", "SINTASSI", "VEDERE ANCHE", "AUTORE", "AUTORI", "TRADUZIONE", "ESEMPIO", "ESEMPI",
    # es
    "NOMBRE", "SINOPSIS", "VÉASE TAMBIÉN", "AUTORES", "TRADUCCIÓN", "INFORMAR DE ERRORES",
    "EJEMPLO", "EJEMPLOS",
}

_GROFF = ["groff", "-k", "-man", "-Tutf8", "-rHY=0", "-rLL=400n", "-rcR=1", "-P-cbou"]


def render_man(path):
    """Renders one man page to plain text (hyphenation off, so no word is split over lines)."""
    raw = gzip.open(path).read() if path.suffix == ".gz" else path.read_bytes()
    if raw.lstrip().startswith(b".so "):
        return ""  # an alias of another page
    try:
        out = subprocess.run(_GROFF, input=raw, capture_output=True, timeout=60, check=False)
    except subprocess.TimeoutExpired:
        return ""
    return out.stdout.decode("utf-8", "replace")


def man_paragraphs(text):
    """Splits rendered man text into paragraphs, leaving out the sections without prose."""
    section = ""
    para = []
    for line in text.splitlines():
        if line and not line[0].isspace():
            # A heading (or the page's header and footer lines).
            if para:
                yield " ".join(para)
                para = []
            section = line.strip().upper()
            continue
        if section in _MAN_SKIP_SECTIONS:
            continue
        stripped = line.strip()
        if not stripped:
            if para:
                yield " ".join(para)
                para = []
            continue
        # An indented block that begins at a deeper level after an option tag starts a new
        # paragraph only at a blank line; tags are removed later as tokens.
        para.append(stripped)
    if para:
        yield " ".join(para)


def man_pages(root, sub):
    """Man page files of one language below an extracted package tree, sorted."""
    base = Path(root) / "usr/share/man" / sub if sub else Path(root) / "usr/share/man"
    files = sorted(p for p in base.glob("man*/*") if p.is_file())
    return files


# ---- Mallard (GNOME user documentation) ----

_MAL = "{http://projectmallard.org/1.0/}"
# Inline elements whose text is code, keys or file names rather than language.
_MAL_DROP = {_MAL + t for t in ("code", "cmd", "sys", "file", "key", "keyseq", "input",
                                "output", "screen", "app", "email")}
_MAL_BLOCKS = {_MAL + t for t in ("p", "title", "desc", "item", "td")}


def _mal_text(elem):
    parts = []
    if elem.text:
        parts.append(elem.text)
    for child in elem:
        if child.tag in _MAL_DROP:
            parts.append(" ")
        elif child.tag in _MAL_BLOCKS:
            parts.append(" ")
        else:
            parts.append(_mal_text(child))
        if child.tail:
            parts.append(child.tail)
    return "".join(parts)


def mallard_paragraphs(path):
    try:
        tree = ET.parse(path)
    except ET.ParseError:
        return
    root = tree.getroot()
    for info in root.iter(_MAL + "info"):
        info.clear()  # credits, licences and link titles
    for elem in root.iter():
        if elem.tag in (_MAL + "p", _MAL + "desc"):
            yield " ".join(_mal_text(elem).split())


# ---- HTML (LibreOffice help, Debian FAQ, aptitude manual, Debian Reference) ----

class _ParaParser(html.parser.HTMLParser):
    """Collects the text of block elements one paragraph each, skipping code and preformatted text."""

    BLOCKS = {"p", "li", "dd", "td", "dt", "blockquote", "div", "tr", "table", "ul", "ol", "dl",
              "h1", "h2", "h3", "h4", "h5", "h6", "section", "title", "caption"}
    SKIP = {"pre", "code", "tt", "kbd", "samp", "script", "style", "head", "header", "aside",
            "nav", "footer", "noscript"}
    SKIP_CLASSES = {"bascode", "code", "pycode", "example", "literal", "command", "filename",
                    "computeroutput", "userinput", "screen", "programlisting", "literallayout",
                    "synopsis", "cmdsynopsis", "replaceable", "option", "envar", "varname",
                    "systemitem", "acronym"}

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.paras = []
        self.buf = []
        self.skip = []

    def _flush(self):
        text = " ".join("".join(self.buf).split())
        if text:
            self.paras.append(text)
        self.buf = []

    def handle_starttag(self, tag, attrs):
        if tag in ("br", "img", "input", "meta", "link", "hr"):
            self.buf.append(" ")
            return
        classes = set((dict(attrs).get("class") or "").split())
        if self.skip:
            if tag == self.skip[-1]:
                self.skip.append(tag)  # nested element of the same name inside skipped text
            return
        if tag in self.SKIP or classes & self.SKIP_CLASSES:
            self.skip.append(tag)
            self.buf.append(" ")
        elif tag in self.BLOCKS:
            self._flush()

    def handle_endtag(self, tag):
        if self.skip:
            if tag == self.skip[-1]:
                self.skip.pop()
            return
        if tag in self.BLOCKS:
            self._flush()

    def handle_data(self, data):
        if not self.skip:
            self.buf.append(data)

    def close(self):
        super().close()
        self._flush()


def html_paragraphs(path):
    parser = _ParaParser()
    parser.feed(Path(path).read_text("utf-8", "replace"))
    parser.close()
    return parser.paras


def files(root, pattern):
    return sorted(p for p in Path(root).glob(pattern) if p.is_file())



# ---- gettext catalogues (Wesnoth's story, unit and tutorial texts) ----

# Inline markup, entities and the game's substitution variables ("$player_name|").
_MARKUP = re.compile(r"<[^<>]{0,200}>|&[a-z]+;|\$[\w.|$]+")


def mo_catalogue(path):
    """(msgid, msgstr) pairs of a compiled gettext catalogue; plural forms give their first."""
    data = Path(path).read_bytes()
    magic = struct.unpack("<I", data[:4])[0]
    order = "<" if magic == 0x950412DE else ">"
    count, ids_at, strs_at = struct.unpack(order + "3I", data[8:20])
    pairs = []
    for i in range(count):
        id_len, id_off = struct.unpack(order + "2I", data[ids_at + 8 * i:ids_at + 8 * i + 8])
        st_len, st_off = struct.unpack(order + "2I", data[strs_at + 8 * i:strs_at + 8 * i + 8])
        msgid = data[id_off:id_off + id_len].split(b"\0")[0].decode("utf-8", "replace")
        msgstr = data[st_off:st_off + st_len].split(b"\0")[0].decode("utf-8", "replace")
        if msgid:
            pairs.append((msgid, msgstr))
    return pairs


def message_paragraphs(text):
    """Paragraphs of one catalogue message, without its inline markup."""
    text = _MARKUP.sub(" ", text)
    for para in re.split(r"\n\s*\n", text):
        para = " ".join(para.split())
        if para:
            yield para
