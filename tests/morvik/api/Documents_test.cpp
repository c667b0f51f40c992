#include <morvik/api/ASCIIDocument.h>
#include <morvik/api/HTMLDocument.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

std::string HtmlClean(const std::string& in) {
    HTMLDocument doc;
    EXPECT_EQ(doc.Init(in, nullptr, 0, 0), 1);
    return doc.CleanText;
}

std::string PlainClean(const std::string& in) {
    ASCIIDocument doc;
    EXPECT_EQ(doc.Init(in, nullptr, 0, 0), 1);
    return doc.CleanText;
}

struct CleanCase {
    const char* what;
    std::string in;
    std::string out;
};

TEST(HTMLDocument, CleansEntitiesTagsAndCommentsAsWritten) {
    const std::string farSemicolon = "&a" + std::string(23, 'b') + ";";
    const std::string longTag = "<" + std::string(250, 'x') + ">";
    const CleanCase cases[] = {
        {"Latin-1 and markup entity", "caf&eacute; &amp; bar", "caf\xE9 & bar"},
        {"markup entities are not tags", "&lt;b&gt;", "<b>"},
        {"unknown entity deleted", "a &unknown; b", "a  b"},
        {"numeric reference", "x &#65; y", "x A y"},
        {"numeric reference modulo 256", "&#321;", "A"},
        {"numeric reference 0 appends nothing", "a&#0;b", "ab"},
        {"hex is read as 0", "a&#x41;b", "ab"},
        {"huge number", "a&#99999999999999999;b",
         "a\xFF"
         "b"},
        {"case matters", "&Eacute;&eacute;&AMP;", "\xC9\xE9"},
        {"& without ;", "a & b", "a & b"},
        {"; 20 or more away", farSemicolon, farSemicolon},
        {"; 19 away is an entity", "&" + std::string(18, 'q') + ";x", "x"},
        {"< without >", "x < y", "x < y"},
        {"tag removed", "a<b>c</b>d", "acd"},
        {"tag over 200 characters stays", longTag, longTag},
        {"tag of exactly 200 characters goes", "<" + std::string(198, 'x') + ">z", "z"},
        {"entity-written comment removed", "&lt;!-- hidden --&gt;shown", "shown"},
        {"script text between removed tags stays", "<script>var x;</script>text", "var x;text"},
        {"entity-written script removed", "&lt;SCRIPT&gt;a&lt;/script&gt;b", "b"},
        {"end marker first stops removal", "--> &lt;!--x--&gt;", "--> <!--x-->"},
        {"span to first end marker", "&lt;!--a&lt;!--b--&gt;c--&gt;d", "c-->d"},
        {"control characters", "a\tb\r\nc", "a b\nc"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HtmlClean(c.in), c.out) << c.what;
}

TEST(ASCIIDocument, CleansOnlyControlCharacters) {
    const CleanCase cases[] = {
        {"tab, CR LF", "a\tb\r\nc", "a b\nc"},
        {"markup untouched", "&amp; <b>&#65;</b>", "&amp; <b>&#65;</b>"},
        {"zero byte becomes a blank", std::string("a\0b", 3), "a b"},
        {"nothing to clean", "Het huis.\n", "Het huis.\n"},
        {"CR after clean text", "abc\r\ndef\r", "abc\ndef"},
        {"only CRs", "\r\r\r", ""},
        {"control character last", "abc\x01", "abc "},
        {"DEL and C1 bytes", "a\x7F\x80\xBF\xC0", "a   \xC0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlainClean(c.in), c.out) << c.what;
}

TEST(Text, CheckGarbageReportsWhatItChanges) {
    struct {
        int verbose;
        const char* expected; // on stderr
    } cases[] = {
        {0, ""},
        {1, "Warning: deleting CR \nWarning: skipping char 9: \t\n"},
        // Every byte is shown, the clean ones before the first change too.
        {4, "debug: char 97: a\ndebug: char 98: b\ndebug: char 13: \r\nWarning: deleting CR \n"
            "debug: char 9: \t\nWarning: skipping char 9: \t\n"},
    };
    for (const auto& c : cases) {
        std::string text = "ab\r\t";
        testing::internal::CaptureStderr();
        EXPECT_EQ(Text::CheckGarbage(text, c.verbose), 1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.expected) << c.verbose;
        EXPECT_EQ(text, "ab ") << c.verbose;
    }
}

TEST(Documents, HighBytesBlankBelow192AndStayFrom192) {
    std::string in, expected;
    for (int b = 128; b < 256; ++b) {
        in.push_back(static_cast<char>(b));
        expected.push_back(b < 192 ? ' ' : static_cast<char>(b));
    }
    EXPECT_EQ(PlainClean(in), expected);
    EXPECT_EQ(HtmlClean(in), expected);
}

// The rule as written: search both markers from the start, delete, repeat.
std::string ReferenceRemove(std::string s, const std::string& start, const std::string& end) {
    for (;;) {
        std::string lower = s;
        for (char& c : lower) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        }
        auto a = lower.find(start), b = lower.find(end);
        if (a == std::string::npos || b == std::string::npos || a >= b + end.size()) return s;
        s.erase(a, b + end.size() - a);
    }
}

TEST(SGMLDocument, ScriptAndCommentRemovalMatchesTheRepeatedSearchRule) {
    // Small alphabets make overlapping and straddling markers frequent.
    const std::string alphabet = "<!->-sScRIiPpTt/x";
    std::mt19937 rng(42);
    for (int round = 0; round < 20000; ++round) {
        std::string s;
        const int len = static_cast<int>(rng() % 40);
        for (int i = 0; i < len; ++i) {
            if (rng() % 6 == 0) {
                const char* pieces[] = {"<!--", "-->", "<script", "</script>", "<SCRIPT", "<!"};
                s += pieces[rng() % 6];
            } else {
                s.push_back(alphabet[rng() % alphabet.size()]);
            }
        }
        std::string expected =
            ReferenceRemove(ReferenceRemove(s, "<!--", "-->"), "<script", "</script>");
        std::string got = s;
        SGMLDocument::RemoveScriptsAndComments(got);
        ASSERT_EQ(got, expected) << "input: " << s;
    }
}

TEST(SGMLDocument, PathologicalTextsFinish) {
    // Each of these is quadratic for a cleaner that searches again from the start per match;
    // a regression shows as a test that never ends.
    const std::size_t size = 1 << 20;
    auto repeat = [&](const std::string& piece) {
        std::string s;
        while (s.size() < size)
            s += piece;
        return s;
    };
    for (const std::string& text : {repeat("&"), repeat("<"), repeat("&lt;!----&gt;"),
                                    repeat("&lt;script&gt;&lt;/script&gt;"), repeat("&lt;!--"),
                                    repeat("--&gt;"), repeat("\r")}) {
        std::string out = HtmlClean(text);
        EXPECT_LE(out.size(), text.size());
    }
}

} // namespace
