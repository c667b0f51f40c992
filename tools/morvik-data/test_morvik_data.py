"""Checks of the preparation tools: python3 -m unittest discover tools/morvik-data"""

import math
import struct
import tempfile
import unittest
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


if __name__ == "__main__":
    unittest.main()
