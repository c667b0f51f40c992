"""Paragraph extraction from the Debian documentation packages behind morvik's texts.

Each extractor yields plain paragraphs (Unicode, one paragraph per string) in a stable order,
so the prepared texts come out byte-identical on every run from the same packages.
"""

import gzip
import re
import struct
import html.parser
import subprocess
import zipfile
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
        msgid = msgid.split("\x04")[-1]  # "context\x04message": the context is no text
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


# ---- other games' and programs' catalogues ----

_PO_LINE = re.compile(r'^(msgctxt|msgid|msgid_plural|msgstr(?:\[\d+\])?)\s+"(.*)"\s*$')
_C_ESCAPES = {"n": "\n", "t": " ", '"': '"', "\\": "\\"}


def _c_unescape(text):
    return re.sub(r"\\(.)", lambda m: _C_ESCAPES.get(m.group(1), m.group(1)), text)


def po_catalogue(path):
    """(msgid, msgstr) pairs of a gettext source catalogue; plural forms give their first,
    obsolete ("#~") entries are left out."""
    pairs, entry, field = [], {}, None

    def close():
        if entry.get("msgid"):
            pairs.append((entry["msgid"], entry.get("msgstr", "")))

    for line in Path(path).read_text("utf-8", "replace").splitlines():
        line = line.strip()
        m = _PO_LINE.match(line)
        if m:
            field = m.group(1)
            if field in ("msgctxt", "msgid") and "msgstr" in entry:
                close()
                entry = {}
            if field.startswith("msgstr[") and field != "msgstr[0]":
                field = None
                continue
            field = "msgstr" if field == "msgstr[0]" else field
            entry[field] = entry.get(field, "") + _c_unescape(m.group(2))
        elif line.startswith('"') and line.endswith('"') and field:
            entry[field] += _c_unescape(line[1:-1])
        elif not line.startswith("#") or line.startswith("#~"):
            field = None
    close()
    return pairs


def qm_catalogue(path):
    """(source text, translation) pairs of a compiled Qt catalogue (.qm)."""
    data = Path(path).read_bytes()
    pos, messages = 16, b""  # after the 16-byte magic number: tagged sections
    while pos + 5 <= len(data):
        tag, size = data[pos], struct.unpack(">I", data[pos + 1:pos + 5])[0]
        if tag == 0x69:
            messages = data[pos + 5:pos + 5 + size]
        pos += 5 + size
    pairs, source, translation, pos = [], "", "", 0
    while pos < len(messages):
        tag = messages[pos]
        pos += 1
        if tag == 1:  # end of one message
            if source:
                pairs.append((source, translation))
            source, translation = "", ""
        elif tag in (3, 6, 7, 8):  # translation (UTF-16), source, context, comment
            size = struct.unpack(">I", messages[pos:pos + 4])[0]
            pos += 4
            if size == 0xFFFFFFFF:
                continue
            chunk = messages[pos:pos + size]
            pos += size
            if tag == 3 and not translation:
                translation = chunk.decode("utf-16-be", "replace")
            elif tag == 6:
                source = chunk.decode("utf-8", "replace")
        elif tag in (2, 4, 5):  # hash, obsolete fields: four bytes each
            pos += 4
        else:
            break  # an unknown tag: the rest cannot be read safely
    return pairs


def properties_values(path):
    """The values of a Java .properties file (one a line, \\uXXXX escapes decoded)."""
    values = []
    for line in Path(path).read_text("utf-8", "replace").splitlines():
        line = line.strip()
        if not line or line[0] in "#!" or "=" not in line:
            continue
        value = line.split("=", 1)[1].strip()
        value = re.sub(r"\\u([0-9a-fA-F]{4})", lambda m: chr(int(m.group(1), 16)), value)
        values.append(_c_unescape(value))
    return values


_LUA_STRING = r'"((?:[^"\\]|\\.)*)"'
# dialogId("id", "font", "original line"), followed in a translation by dialogStr("line").
_FILLETS_LINE = re.compile(r"dialogId\(\s*" + _LUA_STRING + r"\s*,\s*" + _LUA_STRING + r"\s*,\s*"
                           + _LUA_STRING + r"\s*\)(?:\s*dialogStr\(\s*" + _LUA_STRING + r"\s*\))?")


def fillets_dialogues(script_root, lang, fonts=None):
    """One document per dialogue file of Fish Fillets: its lines in order (English: the
    original lines; otherwise the translated ones). fonts: only the lines shown in these
    fonts, that is spoken by these characters ("font_small" and "font_big" are the two fish)."""
    docs = []
    for original in sorted(Path(script_root).glob("*/*dialogs_en.lua")):
        path = original.with_name(original.name.replace("_en.lua", f"_{lang}.lua"))
        if not path.exists():
            continue
        lines = []
        for _, font, english, translated in _FILLETS_LINE.findall(path.read_text("utf-8", "replace")):
            if fonts is not None and font not in fonts:
                continue
            text = english if lang == "en" else translated
            if text:
                lines.append(_c_unescape(text))
        docs.append(lines)
    return docs


def xpi_messages(path):
    """Messages of a Mozilla language pack: Fluent values and attributes, .properties values."""
    out = []
    with zipfile.ZipFile(path) as z:
        for name in sorted(z.namelist()):
            text = z.read(name).decode("utf-8", "replace")
            if name.endswith(".properties"):
                out.extend(line.split("=", 1)[1].strip() for line in text.splitlines()
                           if line and line[0] not in "#!" and "=" in line)
            elif name.endswith(".ftl"):
                cur = None
                for line in text.splitlines():
                    m = re.match(r"^\s*(-?[\w-]+|\.[\w-]+)\s*=\s*(.*)$", line)
                    if m:
                        if cur:
                            out.append(cur)
                        cur = m.group(2)
                    elif cur is not None and line.startswith(" ") and line.strip():
                        cur = (cur + " " + line.strip()).strip()  # a continued value
                    else:
                        if cur:
                            out.append(cur)
                        cur = None
                if cur:
                    out.append(cur)
    return out


# Substitution variables of the other catalogues: printf and Qt numbers ("%s", "%1"),
# Boost ("%1%"), FreeCol ("%name%"), Python and Fluent ("{name}", "{ $n }").
_VARIABLE = re.compile(r"%\w+%|%\(\w+\)[sd]|%[-+#0-9.]*[a-zA-Z]|%\d|\{[^{}]*\}")


def has_variable(text):
    return bool(_VARIABLE.search(text))
