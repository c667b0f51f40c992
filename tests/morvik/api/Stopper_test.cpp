#include <morvik/api/ASCIIDocument.h>
#include <morvik/api/CountTable.h>
#include <morvik/api/ScrambledFile.h>
#include <morvik/api/Stopper.h>
#include <morvik/base/zkCException.h>
#include <morvik/base/zkCFileDef.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "TempDirTest.h"

namespace {

std::map<std::string, int> Terms(const std::string& text, int n, int* total = nullptr) {
    Stopper s(Stopper::kModeNgrams, n, 0);
    TermList list;
    int t = s.ExtractIndexTerms(text, list, 0);
    if (total != nullptr) *total = t;
    std::map<std::string, int> m;
    for (const auto& tc : list)
        m[tc.Term] += tc.Count;
    return m;
}

struct NgramCase {
    const char* what;
    std::string text;
    int n;
    std::map<std::string, int> terms;
    int total;
};

TEST(Stopper, MakesPaddedLowerCaseNgrams) {
    const NgramCase cases[] = {
        {"case folded and counted",
         "Huis huis HUIS",
         4,
         {{"_hui", 3}, {"huis", 3}, {"uis_", 3}},
         9},
        {"hyphen and digits split", "e-mail 2000", 4, {{"_mai", 1}, {"mail", 1}, {"ail_", 1}}, 3},
        {"Latin-1 byte stays in the word",
         "caf\xE9",
         4,
         {{"_caf", 1}, {"caf\xE9", 1}, {"af\xE9_", 1}},
         3},
        {"upper-case accented letters stay",
         "\xC9T\xC9",
         4,
         {{"_\xC9t\xC9", 1}, {"\xC9t\xC9_", 1}},
         2},
        {"one-letter words give no 4-gram", "a b c", 4, {}, 0},
        {"digits and punctuation only", "12, 34; (56)!", 4, {}, 0},
        {"3-grams",
         "Het huis.",
         3,
         {{"_he", 1}, {"het", 1}, {"et_", 1}, {"_hu", 1}, {"hui", 1}, {"uis", 1}, {"is_", 1}},
         7},
        {"1-grams",
         "Het huis.",
         1,
         {{"_", 4}, {"h", 2}, {"e", 1}, {"t", 1}, {"u", 1}, {"i", 1}, {"s", 1}},
         11},
        {"0-grams are L + 1 empty terms", "ab", 0, {{"", 5}}, 5},
        {"negative n gives nothing", "abc", -1, {}, 0},
        {"empty text", "", 4, {}, 0},
    };
    for (const auto& c : cases) {
        int total = -1;
        EXPECT_EQ(Terms(c.text, c.n, &total), c.terms) << c.what;
        EXPECT_EQ(total, c.total) << c.what;
    }
}

using Counted = std::vector<std::pair<std::string, int>>;

// The 4-grams and counts of text in the string-keyed table's order, and the total.
Counted StringTableOrder(Stopper& s, const std::string& text, int& total, int language = 0) {
    TermList list;
    total = s.ExtractIndexTerms(text, list, language);
    Counted out;
    for (const auto& tc : list)
        out.emplace_back(tc.Term, tc.Count);
    return out;
}

// The same from the packed 4-gram table.
Counted FourGramTableOrder(Stopper& s, const std::string& text, int& total, int language = 0) {
    FourGramTable table(text.size());
    total = s.CountFourGrams(text, table, language);
    Counted out;
    table.ForEach([&](std::uint32_t gram, std::int32_t count) {
        out.emplace_back(FourGramTable::Unpack(gram), count);
        EXPECT_EQ(table.Get(gram), count);
    });
    EXPECT_EQ(static_cast<std::size_t>(table.Size()), out.size());
    return out;
}

// Words of random letters: with many texts' worth of distinct 4-grams the tables grow through
// several sizes, and 4-grams whose string hashes are equal share buckets.
std::string RandomWords(std::size_t size, unsigned seed) {
    const std::string letters = "abcdefghijklmnopqrstuvwxyzABC\xE9\xEB\xFC\xDF";
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < size) {
        const std::size_t length = 1 + rng() % 9;
        for (std::size_t i = 0; i < length; ++i)
            s.push_back(letters[rng() % letters.size()]);
        s.push_back(rng() % 8 == 0 ? '.' : ' ');
    }
    return s;
}

TEST(FourGramTable, CountsAndOrdersAsTheStringTable) {
    struct {
        const char* what;
        std::string text;
        int keepCase;
    } cases[] = {
        {"case folded", "Huis huis HUIS", 0},
        {"case kept", "Huis huis HUIS", 1},
        {"words of one to four letters", "a ab abc abcd abcde", 0},
        {"Latin-1 letters",
         "Caf\xE9 \xC9T\xC9 na\xEF"
         "ef \xDC"
         "BER",
         0},
        {"zero byte ends the text", std::string("het huis\0de tuin", 17), 0},
        {"digits and punctuation only", "12, 34; (56)!", 0},
        {"empty", "", 0},
        {"one long word", std::string(100000, 'a') + "b", 0},
        {"many distinct 4-grams", RandomWords(120000, 1), 0},
        {"many distinct 4-grams, case kept", RandomWords(40000, 2), 1},
    };
    for (const auto& c : cases) {
        Stopper s(Stopper::kModeNgrams, 4, 0);
        s.KeepCase = c.keepCase;
        int stringTotal = -1, packedTotal = -1;
        const Counted expected = StringTableOrder(s, c.text, stringTotal);
        EXPECT_EQ(FourGramTableOrder(s, c.text, packedTotal), expected) << c.what;
        EXPECT_EQ(packedTotal, stringTotal) << c.what;
    }
}

TEST(FourGramTable, PacksFirstCharacterHighAndCountsRepeats) {
    EXPECT_EQ(FourGramTable::Pack("_hu\xEF"), 0x5F6875EFu);
    EXPECT_EQ(FourGramTable::Unpack(0x5F6875EFu), "_hu\xEF");
    FourGramTable t(0);
    EXPECT_EQ(t.Size(), 0);
    EXPECT_EQ(t.Get(FourGramTable::Pack("huis")), 0);
    for (int i = 0; i < 3; ++i)
        t.Increment(FourGramTable::Pack("huis"));
    t.Increment(FourGramTable::Pack("uis_"));
    EXPECT_EQ(t.Size(), 2);
    EXPECT_EQ(t.Get(FourGramTable::Pack("huis")), 3);
    EXPECT_EQ(t.Get(FourGramTable::Pack("uis_")), 1);
    EXPECT_EQ(t.Get(FourGramTable::Pack("_hui")), 0);
}

TEST(FourGramTable, OrdersAsTheStringTableAtEveryGrowthStep) {
    // The string table grows its buckets when it reaches 12, 48, 192, 768 entries; the order on
    // either side of each step, and with the 4-grams seen again after it, must be the same.
    std::mt19937 rng(7);
    for (const std::size_t distinct : {1, 11, 12, 13, 47, 48, 49, 191, 192, 193, 767, 768, 769}) {
        std::vector<std::uint32_t> grams;
        while (grams.size() < distinct) {
            std::string gram;
            for (int k = 0; k < 4; ++k)
                gram.push_back(static_cast<char>('a' + rng() % 8));
            const std::uint32_t packed = FourGramTable::Pack(gram);
            if (std::find(grams.begin(), grams.end(), packed) == grams.end())
                grams.push_back(packed);
        }
        // Each 4-gram once in turn, then every other one again.
        std::vector<std::uint32_t> fed = grams;
        for (std::size_t i = 0; i < grams.size(); i += 2)
            fed.push_back(grams[i]);
        CountTable strings;
        FourGramTable packed(0);
        for (const std::uint32_t g : fed) {
            strings.Increment(FourGramTable::Unpack(g).c_str());
            packed.Increment(g);
        }
        Counted expected, got;
        std::string term;
        std::int32_t count = 0;
        for (int r = strings.First(term, count); r == 1; r = strings.Next(term, count))
            expected.emplace_back(term, count);
        packed.ForEach([&](std::uint32_t gram, std::int32_t n) {
            got.emplace_back(FourGramTable::Unpack(gram), n);
        });
        EXPECT_EQ(got, expected) << distinct << " distinct 4-grams";
    }
}

TEST(FourGramTable, ClearedCountsAsANewTableWhateverItHeldBefore) {
    // One table for text after text, short and long (a long one grows it beyond what Clear
    // keeps), of the same size and again the same, and after Release: no 4-gram, count or
    // order of an earlier text may show.
    const std::string texts[] = {RandomWords(20000, 3),
                                 RandomWords(300, 4),
                                 RandomWords(300, 7),
                                 RandomWords(300, 7),
                                 "het huis",
                                 "het huis",
                                 RandomWords(3000, 5),
                                 "",
                                 RandomWords(100, 6)};
    Stopper s(Stopper::kModeNgrams, 4, 0);
    FourGramTable reused(0);
    for (const bool release : {false, true}) {
        for (const std::string& text : texts) {
            if (release && reused.Grown()) reused.Release();
            reused.Clear(text.size());
            const int total = s.CountFourGrams(text, reused, 0);
            Counted got;
            reused.ForEach([&](std::uint32_t gram, std::int32_t count) {
                got.emplace_back(FourGramTable::Unpack(gram), count);
                EXPECT_EQ(reused.Get(gram), count);
            });
            int freshTotal = 0;
            EXPECT_EQ(got, FourGramTableOrder(s, text, freshTotal)) << text.size();
            EXPECT_EQ(total, freshTotal);
        }
    }
}

TEST(Stopper, SplitsAtTheFortyFourDelimiters) {
    const std::string delimiters = "0123456789 \t\n\r.,'\"`:;-_()+/#$%@^*!?><=|~[]{}";
    ASSERT_EQ(delimiters.size(), 44u);
    std::string text = "w";
    for (char d : delimiters)
        text += std::string(1, d) + "w";
    WordList words;
    EXPECT_EQ(Stopper::SplitWords(text, words), 1);
    EXPECT_EQ(words.size(), 45u);
    // Everything else belongs to words, bytes 128-255 and "&" included.
    words.clear();
    Stopper::SplitWords("a&b\x80\xFF\\c ,, ", words);
    EXPECT_EQ(words, WordList({"a&b\x80\xFF\\c"}));
}

TEST(Stopper, OtherModesMakeNoTerms) {
    struct {
        int mode;
        const char* message;
    } cases[] = {{1, "Not yet implemented\n"}, {3, "Invalid mode\n"}, {0, "Invalid mode\n"}};
    for (const auto& c : cases) {
        Stopper s(c.mode, 4, 0);
        std::vector<std::string> terms;
        testing::internal::CaptureStderr();
        EXPECT_EQ(s.GenerateTerms("huis", terms, 0), 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
        TermList list;
        testing::internal::CaptureStderr();
        try {
            s.ExtractIndexTerms("huis", list, 0);
            ADD_FAILURE() << "no exception for mode " << c.mode;
        } catch (zkCException* e) {
            EXPECT_EQ(e->Code, 0);
            EXPECT_STREQ(e->Message.c_str(), "Could not extract indexterms");
            delete e;
        }
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
        FourGramTable table(4);
        testing::internal::CaptureStderr();
        try {
            s.CountFourGrams("huis", table, 0);
            ADD_FAILURE() << "no exception for mode " << c.mode;
        } catch (zkCException* e) {
            EXPECT_STREQ(e->Message.c_str(), "Could not extract indexterms");
            delete e;
        }
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
        EXPECT_EQ(table.Size(), 0);
    }
}

TEST(Stopper, GenerateTermsListsEveryOccurrenceInOrder) {
    Stopper s(Stopper::kModeNgrams, 4, 0);
    std::vector<std::string> terms;
    EXPECT_EQ(s.GenerateTerms("Het huis, het", terms, 0), 1);
    EXPECT_EQ(terms,
              std::vector<std::string>({"_het", "het_", "_hui", "huis", "uis_", "_het", "het_"}));
}

TEST(CountTable, CountsIteratesAndClears) {
    CountTable t;
    std::string term;
    std::int32_t count = 0;
    EXPECT_EQ(t.First(term, count), -1);
    t.Increment("a");
    t.Increment("a");
    t.Add("b", 5);
    t.Add("a", -1);
    EXPECT_TRUE(t.Contains("a"));
    EXPECT_FALSE(t.Contains("c"));
    EXPECT_EQ(t.Get("a"), 1);
    EXPECT_EQ(t.Get("b"), 5);
    EXPECT_EQ(t.Get("c"), 0);
    std::map<std::string, int> seen;
    for (int r = t.First(term, count); r == 1; r = t.Next(term, count))
        seen[term] = count;
    EXPECT_EQ(seen, (std::map<std::string, int>{{"a", 1}, {"b", 5}}));
    EXPECT_EQ(t.Next(term, count), -1);
    EXPECT_EQ(t.Clear(), 1);
    EXPECT_EQ(t.Size(), 0);
    EXPECT_EQ(t.First(term, count), -1);
}

class StopWords : public TempDirTest {};

TEST_F(StopWords, LoadsPlainAndScrambledListsAndTestsExactly) {
    Write("stopnl.txt", "de\nhet\neen lidwoord\n\n");
    // The scrambled Italian list, written through the same class that reads it.
    {
        ScrambledFile out("stopit.dat", ".", 0, "wb");
        const std::string words = "il\nla\n\nche\n";
        ASSERT_EQ(out.write(words.data(), 1, words.size()), words.size());
    }
    Stopper s(Stopper::kModeNgrams, 4, 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(s.InitStoppers(".", nullptr), 1);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("skipping:\n"), std::string::npos) << err;
    const std::string missing = std::string(".") + zkDirSeparator + "stopnl.dat";
    EXPECT_NE(err.find("Couldn't open: " + missing + " ENOENT\n"), std::string::npos) << err;

    EXPECT_TRUE(s.IsStopWord("een", 2));
    EXPECT_TRUE(s.IsStopWord("het", 2));
    EXPECT_FALSE(s.IsStopWord("Een", 2));
    EXPECT_FALSE(s.IsStopWord("lidwoord", 2));
    EXPECT_TRUE(s.IsStopWord("che", 5));
    EXPECT_FALSE(s.IsStopWord("", 5));
    EXPECT_EQ(s.Dutch.Get("de"), 1);

    // With the filter on, both ways of counting leave out the same words.
    s.UseStopWords = 1;
    const std::string text = "Het huis van de buren, een HUIS aan de gracht";
    for (int keepCase : {0, 1}) {
        s.KeepCase = keepCase;
        int stringTotal = -1, packedTotal = -1;
        testing::internal::CaptureStderr();
        const Counted expected = StringTableOrder(s, text, stringTotal, 2);
        EXPECT_EQ(FourGramTableOrder(s, text, packedTotal, 2), expected) << keepCase;
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(packedTotal, stringTotal) << keepCase;
        // "het", "de" and "een" go; kept in case, "Het" is no stop word.
        EXPECT_EQ(stringTotal, keepCase == 0 ? 19 : 21) << keepCase;
    }
}

TEST(StopWordErrors, UnloadedTableAndUnknownCodeRaise) {
    Stopper s(Stopper::kModeNgrams, 4, 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(s.InitStoppers(nullptr, nullptr), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Stoppers will not be initialized, some methods will not function properly\n");
    struct {
        int code;
        const char* message;
    } cases[] = {{1, "Stopper is not initialized!"},
                 {0, "Unknown language code"},
                 {7, "Unknown language code"}};
    for (const auto& c : cases) {
        try {
            s.IsStopWord("the", c.code);
            ADD_FAILURE() << "no exception for code " << c.code;
        } catch (zkCException* e) {
            EXPECT_STREQ(e->Message.c_str(), c.message);
            delete e;
        }
    }
    // A Stopper with stop words on and the documents' language option 0 cannot filter.
    Stopper filtering(Stopper::kModeNgrams, 4, 1);
    TermList list;
    try {
        filtering.ExtractIndexTerms("huis", list, 0);
        ADD_FAILURE() << "stop words filtered without a language";
    } catch (zkCException* e) {
        EXPECT_STREQ(e->Message.c_str(), "Unknown language code");
        delete e;
    }
}

} // namespace
