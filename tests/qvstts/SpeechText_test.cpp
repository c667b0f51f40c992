#include <qvstts/SpeechText.h>

#include <gtest/gtest.h>

#include <qvstts/Lexicon.h>

namespace qvstts {
namespace {

struct SsmlCase {
    const char* name;
    const char* input; // Windows-1252
    const char* ssml;  // UTF-8
};

TEST(SpeechText, ToSsmlTurnsMarksIntoMarkupAndEscapesTheText) {
    const SsmlCase cases[] = {
        {"plain", "Hallo daar.", "Hallo daar."},
        {"stressed and unstressed", "Er zijn \\+geen \\-nieuwe berichten",
         "Er zijn <emphasis>geen</emphasis> <prosody volume=\"soft\" pitch=\"low\">nieuwe</prosody>"
         " berichten"},
        {"stress at the start", "\\+Geen onderwerp", "<emphasis>Geen</emphasis> onderwerp"},
        {"mark before no word is dropped", "a \\+ b \\-", "a  b "},
        {"backslash without a mark stays", "C:\\map", "C:\\map"},
        {"markup characters escaped", "a<b> & c", "a&lt;b&gt;  en  c"},
        {"a tag in mail is only text", "<speak>x</speak>", "&lt;speak&gt;x&lt;/speak&gt;"},
        {"Windows-1252 letters", "\xC9\xE9n caf\xE9 kost \x80 5", "Één café kost € 5"},
        {"quotes and dashes", "\x93ja\x94 \x96 nee", "“ja” – nee"},
        {"CR after punctuation is a pause", "Goedemorgen!\rHier", "Goedemorgen! Hier"},
        {"CR without punctuation breaks the clause", "\\+Geen onderwerp\r\nBeste Jan",
         "<emphasis>Geen</emphasis> onderwerp <break strength=\"medium\"/> Beste Jan"},
        {"hard-wrapped line runs on", "een zin die\r\nover twee", "een zin die over twee"},
        {"blank line ends a paragraph", "geen punt\r\n\r\nvolgende",
         "geen punt <break strength=\"medium\"/> volgende"},
        {"line end before a number or mark", "Van Jan\r2. Van Piet\r\\+Geen",
         "Van Jan <break strength=\"medium\"/> 2. Van Piet <break strength=\"medium\"/> "
         "<emphasis>Geen</emphasis>"},
        {"control characters become spaces",
         "a\x01"
         "b\tc\x7F"
         "d\x81",
         "a b c d "},
        {"word with apostrophe stays whole", "\\+auto's", "<emphasis>auto's</emphasis>"},
        {"empty", "", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(toSsml(c.input, nullptr), c.ssml) << c.name;
}

TEST(SpeechText, LexiconReplacesWholeWordsIgnoringCase) {
    const Lexicon lexicon(
        {{"Brevon", "Breevon"}, {"e-mail", "iemeel"}, {"café", "kaffee"}, {"AT", "ee tee <x>"}});
    const SsmlCase cases[] = {
        {"exact", "Brevon leest", "Breevon leest"},
        {"other case", "BREVON en brevon", "Breevon en Breevon"},
        {"not inside a longer word", "Brevonnen", "Brevonnen"},
        {"hyphenated word", "een e-mail", "een iemeel"},
        {"accented word", "CAF\xC9", "kaffee"},
        {"stress mark keeps working", "\\+brevon", "<emphasis>Breevon</emphasis>"},
        {"pronunciation is escaped", "at", "ee tee &lt;x&gt;"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(toSsml(c.input, &lexicon), c.ssml) << c.name;

    // The list is Dutch: a text in another language keeps its words, and its own "&".
    EXPECT_EQ(toSsml("Brevon & caf\xE9", &lexicon, "en"), "Brevon &amp; caf\xC3\xA9");
    EXPECT_EQ(toSsml("Brevon & caf\xE9", &lexicon, "nl"), "Breevon  en  kaffee");
}

TEST(SpeechText, TranscriptKeepsMarksAndEscapesControlCharacters) {
    EXPECT_EQ(transcriptText("Er zijn \\+geen \\-nieuwe berichten"),
              "Er zijn \\+geen \\-nieuwe berichten");
    EXPECT_EQ(transcriptText("a\rb\r\nc\td\x01\x7F"), "a\\rb\\r\\nc\\td\\x01\\x7F");
    EXPECT_EQ(transcriptText("caf\xE9 \x80"), "café €");
    EXPECT_EQ(transcriptText("\x81"), "\\x81");
}

TEST(SpeechText, Cp1252RoundTripsThroughUtf8) {
    std::string all;
    for (int b = 1; b < 256; ++b)
        if (b != 0x81 && b != 0x8D && b != 0x8F && b != 0x90 && b != 0x9D)
            all += static_cast<char>(b);
    EXPECT_EQ(utf8ToCp1252(cp1252ToUtf8(all)), all);
    EXPECT_EQ(cp1252ToUtf8("\x81"), "\xEF\xBF\xBD");
    // Outside Windows-1252, and broken sequences.
    EXPECT_EQ(utf8ToCp1252("\xE2\x82\xAC \xCE\xB1 \xC3"), "\x80 ? ?");
    EXPECT_EQ(utf8ToCp1252("\xE2\x28\xA1"), "?(?");
}

} // namespace
} // namespace qvstts
