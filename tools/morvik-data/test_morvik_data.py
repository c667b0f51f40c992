"""Checks of the preparation tools: python3 -m unittest discover tools/morvik-data"""

import math
import struct
import tempfile
import unittest
import zipfile
from pathlib import Path

import lidmodel
import prepare
import sources
import textclean


class ModelAgreesWithTheLibrary(unittest.TestCase):
    def test_word_splitting_and_padding(self):
        cases = [
            (b"Huis huis HUIS", {b"_hui": 3, b"huis": 3, b"uis_": 3}),
            (b"e-mail 2000", {b"_mai": 1, b"mail": 1, b"ail_": 1}),
            ("café".encode("latin-1"), {b"_caf": 1, b"caf\xe9": 1, b"af\xe9_": 1}),
            (b"a b c", {}),
            (b"x\ty\r\nzz\x85zz", {b"_zz_": 2}),  # tab and 128-191 blank, CR deleted
            ("ÉTÉ".encode("latin-1"), {b"_\xc9t\xc9": 1, b"\xc9t\xc9_": 1}),  # no Latin-1 lower-casing
        ]
        for text, grams in cases:
            with self.subTest(text=text):
                self.assertEqual(dict(lidmodel.ngrams(text, 4)), grams)

    def test_model_values_and_scores(self):
        huis = lidmodel.Model.build(b"huis")
        self.assertEqual(huis.v, 5)
        self.assertEqual(set(huis.table.values()), {-1098613})
        self.assertEqual(math.floor(1e6 * math.log(100 / 140)), -336473)
        self.assertAlmostEqual(huis.score(b"xyzw"), 1 / 5, places=6)
        self.assertEqual(huis.score(b"1 2 3"), 0.0)


class TextCleaning(unittest.TestCase):
    def test_noise_tokens(self):
        noise = ["--all", "-a", "/usr/share/doc", "http://x.org", "jan@x.nl", "file.txt",
                 "x86", "BESTAND", "LibreOffice", "foo_bar", "a=b", "printf()"]
        words = ["huis", "en/of", "z.B.", "(zie", "één,", "Debian", "'.'"]
        for token in noise:
            self.assertTrue(textclean.is_noise_token(token), token)
        for token in words:
            self.assertFalse(textclean.is_noise_token(token), token)

    def test_letters_outside_the_language(self):
        cases = [("Çava", "fr", True, "çava"), ("Müller", "fr", True, None),
                 ("2×3", "nl", True, "2 3"), ("Łódź", "nl", False, None),
                 ("café", "de", False, "café"), ("café", "de", True, None),
                 ("cœur", "fr", True, "cœur")]
        for word, lang, strict, want in cases:
            with self.subTest(word=word, strict=strict):
                self.assertEqual(textclean.fix_letters(word, lang, strict), want)

    def test_untranslated_sentences_leave(self):
        text = ("Dit is de eerste zin van een alinea die al vertaald is, want er staat ook een "
                "woord als wanneer in. This one was not translated. Daarna volgt weer een zin "
                "in het Nederlands, zoals het hoort, met hun en welke.")
        kept = textclean.language_sentences(text, "nl")
        self.assertIn("eerste zin", kept)
        self.assertIn("Daarna volgt", kept)
        self.assertNotIn("English", kept)
        self.assertEqual(textclean.language_sentences("The file is not found.", "nl"), "")


class Samples(unittest.TestCase):
    def test_samples_are_cut_at_words_and_fit(self):
        paras = [b"een twee drie vier vijf zes zeven acht negen tien", b"elf twaalf dertien"]
        samples = prepare.cut_samples(paras, 25)
        self.assertTrue(samples)
        joined = b" ".join(paras).split(b" ")
        for s in samples:
            self.assertLessEqual(len(s), 25)
            self.assertGreaterEqual(len(s), 20)
            self.assertTrue(all(w in joined for w in s.split(b" ")))


class Catalogues(unittest.TestCase):
    def test_mo_file_is_read_and_markup_dropped(self):
        pairs = [(b"", b"header"), (b"Hello", b"Hallo <b>jij</b> $player_name|!"),
                 (b"One\0Many", b"Een\0Veel")]
        n = len(pairs)
        ids_at, strs_at = 28, 28 + 8 * n
        blob = b""
        table_ids, table_strs = b"", b""
        data_at = 28 + 16 * n
        for msgid, msgstr in pairs:
            table_ids += struct.pack("<2I", len(msgid), data_at + len(blob))
            blob += msgid + b"\0"
        for msgid, msgstr in pairs:
            table_strs += struct.pack("<2I", len(msgstr), data_at + len(blob))
            blob += msgstr + b"\0"
        header = struct.pack("<7I", 0x950412DE, 0, n, ids_at, strs_at, 0, 0)
        with tempfile.TemporaryDirectory() as d:
            path = Path(d) / "t.mo"
            path.write_bytes(header + table_ids + table_strs + blob)
            got = sources.mo_catalogue(path)
        self.assertEqual(got, [("Hello", "Hallo <b>jij</b> $player_name|!"), ("One", "Een")])
        self.assertEqual(list(sources.message_paragraphs(got[0][1])), ["Hallo jij !"])


def _mo(pairs):
    """A compiled gettext catalogue (little-endian) of (msgid, msgstr) byte pairs."""
    n = len(pairs)
    ids_at, strs_at, data_at = 28, 28 + 8 * n, 28 + 16 * n
    blob, table_ids, table_strs = b"", b"", b""
    for msgid, _ in pairs:
        table_ids += struct.pack("<2I", len(msgid), data_at + len(blob))
        blob += msgid + b"\0"
    for _, msgstr in pairs:
        table_strs += struct.pack("<2I", len(msgstr), data_at + len(blob))
        blob += msgstr + b"\0"
    header = struct.pack("<7I", 0x950412DE, 0, n, ids_at, strs_at, 0, 0)
    return header + table_ids + table_strs + blob


def _qm(messages):
    """A compiled Qt catalogue of (source, translation) pairs: magic, then the messages
    section; a None translation is written as Qt writes an empty one."""
    body = b""
    for source, translation in messages:
        if translation is None:
            body += b"\x03" + struct.pack(">I", 0xFFFFFFFF)
        else:
            tr = translation.encode("utf-16-be")
            body += b"\x03" + struct.pack(">I", len(tr)) + tr
        src = source.encode("utf-8")
        body += b"\x08" + struct.pack(">I", 0) + b"\x06" + struct.pack(">I", len(src)) + src
        body += b"\x05" + struct.pack(">I", 7) + b"\x01"
    magic = bytes.fromhex("3cb86418caef9c95cd211cbf60a1bddd")
    hashes = b"\x42" + struct.pack(">I", 8) + b"\0" * 8
    return magic + hashes + b"\x69" + struct.pack(">I", len(body)) + body


class OtherCatalogues(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.root = Path(self.dir.name)

    def tearDown(self):
        self.dir.cleanup()

    def test_mo_context_is_no_text(self):
        path = self.root / "c.mo"
        path.write_bytes(_mo([(b"building\x04A building is being dismantled",
                               b"Een gebouw wordt afgebroken"), (b"Plain", b"Gewoon")]))
        self.assertEqual(sources.mo_catalogue(path),
                         [("A building is being dismantled", "Een gebouw wordt afgebroken"),
                          ("Plain", "Gewoon")])

    def test_po_entries(self):
        (self.root / "nl.po").write_text(
            'msgid ""\nmsgstr "Content-Type: text/plain\\n"\n\n'
            '#: level.stl:3\nmsgid "Hello"\nmsgstr "Hallo"\n\n'
            'msgctxt "sign"\nmsgid ""\n"Go "\n"\\"left\\""\nmsgstr ""\n"Ga "\n"\\"links\\""\n\n'
            'msgid "One egg"\nmsgid_plural "%d eggs"\nmsgstr[0] "Een ei"\nmsgstr[1] "%d eieren"\n\n'
            'msgid "Untranslated"\nmsgstr ""\n\n'
            '#~ msgid "Old"\n#~ msgstr "Oud"\n', "utf-8")
        self.assertEqual(sources.po_catalogue(self.root / "nl.po"),
                         [("Hello", "Hallo"), ('Go "left"', 'Ga "links"'), ("One egg", "Een ei"),
                          ("Untranslated", "")])

    def test_qm_messages(self):
        path = self.root / "t.qm"
        path.write_bytes(_qm([("Click on the ball", "Klik op de bal"), ("Quit", None)]))
        self.assertEqual(sources.qm_catalogue(path),
                         [("Click on the ball", "Klik op de bal"), ("Quit", "")])

    def test_properties_values(self):
        (self.root / "m.properties").write_text(
            "# comment\n! comment too\nmodel.a=Die kolonie het \\u00e9\\u00e9n skip\n"
            "model.b = Twee\\nreëls\nno value line\n", "utf-8")
        self.assertEqual(sources.properties_values(self.root / "m.properties"),
                         ["Die kolonie het één skip", "Twee\nreëls"])

    def test_fillets_lines_by_speaker(self):
        level = self.root / "wreck"
        level.mkdir()
        (level / "dialogs_en.lua").write_text(
            'dialogId("a", "font_small", "What ship is that?")\n'
            'dialogId("b", "font_elk", "Ya los.")\n'
            'dialogId("c", "font_big", "Say \\"hi\\".")\n', "utf-8")
        (level / "dialogs_nl.lua").write_text(
            'dialogId("a", "font_small", "What ship is that?")\ndialogStr("Wat is dat voor schip?")\n\n'
            'dialogId("b", "font_elk", "Ya los.")\ndialogStr("Ja los.")\n\n'
            'dialogId("c", "font_big", "Say \\"hi\\".")\n', "utf-8")  # c: not translated
        fish = {"font_small", "font_big"}
        cases = [("en", None, [["What ship is that?", "Ya los.", 'Say "hi".']]),
                 ("en", fish, [["What ship is that?", 'Say "hi".']]),
                 ("nl", None, [["Wat is dat voor schip?", "Ja los."]]),
                 ("nl", fish, [["Wat is dat voor schip?"]]),
                 ("de", None, [])]
        for lang, fonts, want in cases:
            with self.subTest(lang=lang, fonts=fonts):
                self.assertEqual(sources.fillets_dialogues(self.root, lang, fonts), want)

    def test_language_pack_messages(self):
        path = self.root / "pack.xpi"
        with zipfile.ZipFile(path, "w") as z:
            z.writestr("localization/fy-NL/mail.ftl",
                       "# comment\nmail-title = Nij berjocht\nmail-long =\n    Dit is in\n"
                       "    lang berjocht\nmail-button =\n    .label = Ferstjoere\n")
            z.writestr("chrome/fy-NL/mail.properties", "# c\nnoMail=Gjin post\n")
        self.assertEqual(sources.xpi_messages(path),
                         ["Gjin post", "Nij berjocht", "Dit is in lang berjocht", "Ferstjoere"])

    def test_substitution_variables(self):
        with_variable = ["%s bestanden", "Stap %1", "%1% over", "Hallo %name%!",
                         "{ $count } berichten", "%(user)s schreef", "%-5d regels"]
        without = ["100 procent", "Hallo Jan!", "50% korting", "a, b en c"]
        for text in with_variable:
            self.assertTrue(sources.has_variable(text), text)
        for text in without:
            self.assertFalse(sources.has_variable(text), text)


class Bands(unittest.TestCase):
    def test_band_samples_fit_and_vary(self):
        words = " ".join(f"woord{i % 7}{'x' * (i % 5)}" for i in range(3000)).encode()
        samples = prepare.cut_band([words], 100, 199)
        self.assertGreater(len(samples), 50)
        for s in samples:
            self.assertGreaterEqual(len(s), 100)
            self.assertLessEqual(len(s), 199)
            self.assertTrue(all(w in words.split(b" ") for w in s.split(b" ")))
        lengths = sorted(len(s) for s in samples)
        self.assertLess(lengths[len(lengths) // 10], 130)  # the band is covered, not its edge
        self.assertGreater(lengths[-len(lengths) // 10], 170)

    def test_a_word_longer_than_the_band_is_skipped(self):
        samples = prepare.cut_band([b"kort " * 30 + b"x" * 250 + b" kort" * 30], 100, 199)
        self.assertTrue(samples)
        self.assertTrue(all(b"x" not in s for s in samples))


class ForeignWords(unittest.TestCase):
    def test_english_words_leave_the_dutch_text(self):
        english = ["find", "is", "was", "Excel", "of", "the", "layout", "hand"]
        dutch = ["is", "was", "hand", "de", "vind", "excel"]
        foreign = textclean.foreign_words(dutch, english)
        self.assertEqual(foreign, {"find", "the", "layout"})  # "of" is too short to judge
        cases = [("Klik op Find en dan op de knop.", "Klik op en dan op de knop."),
                 ("Het was (the) layout.", "Het was"),
                 ("Dat is van hand tot hand.", "Dat is van hand tot hand.")]
        for text, want in cases:
            self.assertEqual(textclean.drop_words(text, foreign), want)


if __name__ == "__main__":
    unittest.main()
