#include <korp/KorpStreams.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <korp/KorpErrors.h>

#include "TempDirGuard.h"

using namespace korp;

namespace {

template <typename F> std::string ErrorText(F&& f) {
    try {
        f();
    } catch (const EKorpError& e) {
        return e.what();
    }
    return "(no error)";
}

} // namespace

TEST(StringList, LoadingSplitsAtCrLfLfOrCrAndTextJoinsWithCrLf) {
    struct Case {
        std::string text;
        std::vector<std::string> lines;
        std::string joined;
    };
    const Case cases[] = {
        {"", {}, ""},
        {"a", {"a"}, "a\r\n"},
        {"a\r\nb\r\n", {"a", "b"}, "a\r\nb\r\n"},
        {"a\nb\rc\r\nd", {"a", "b", "c", "d"}, "a\r\nb\r\nc\r\nd\r\n"},
        {"a\n\nb", {"a", "", "b"}, "a\r\n\r\nb\r\n"},
        {"\r\n", {""}, "\r\n"},
        {"a\r\r\nb", {"a", "", "b"}, "a\r\n\r\nb\r\n"},
        {std::string("nul\0byte", 8),
         {std::string("nul\0byte", 8)},
         std::string("nul\0byte\r\n", 10)},
        // Line ends on either side of a 16-byte border, and lines longer than that.
        {"0123456789abcde\r\n0123456789abcdef\r0123456789abcdefghij\n\r\r\n",
         {"0123456789abcde", "0123456789abcdef", "0123456789abcdefghij", "", ""},
         "0123456789abcde\r\n0123456789abcdef\r\n0123456789abcdefghij\r\n\r\n\r\n"},
    };
    for (const auto& c : cases) {
        TStringList list;
        list.SetText(c.text);
        EXPECT_EQ(list.Lines(), c.lines) << "text: " << c.text;
        EXPECT_EQ(list.Text(), c.joined) << "text: " << c.text;
        // The same lines when the text comes in two pieces, cut anywhere, or byte by byte.
        for (std::size_t cut = 0; cut <= c.text.size(); ++cut) {
            TLineStarts starts;
            starts.Add(std::string_view(c.text).substr(0, cut));
            starts.Add(std::string_view(c.text).substr(cut));
            const std::vector<std::string_view> pieced = starts.Lines(c.text);
            EXPECT_EQ(std::vector<std::string>(pieced.begin(), pieced.end()), c.lines)
                << "cut at " << cut;
        }
        TLineStarts bytes;
        for (const char b : c.text)
            bytes.Add(std::string_view(&b, 1));
        const std::vector<std::string_view> byByte = bytes.Lines(c.text);
        EXPECT_EQ(std::vector<std::string>(byByte.begin(), byByte.end()), c.lines);
    }
}

TEST(StringList, LoadsLineEndsSplitAcrossReadChunks) {
    // Lines of 1 MiB and more, with CR LF pairs, lone CRs and an LF falling on chunk borders.
    const std::size_t mib = 1 << 20;
    const std::string text = std::string(mib - 1, 'a') + "\r\n" + std::string(mib - 2, 'b') +
                             "\r\r" + std::string(2 * mib, 'c') + "\n" + "d\r";
    TMemoryStream stream;
    stream.WriteBuffer(text);
    stream.SetPosition(0);
    TStringList list;
    list.Add("old");
    list.LoadFromStream(stream);
    TStringList expected;
    expected.SetText(text);
    ASSERT_EQ(list.Count(), 5u);
    EXPECT_EQ(list.Lines(), expected.Lines());
    EXPECT_EQ(list[2], "");
}

TEST(Streams, TheBaseStreamSupportsNoOperation) {
    TStream base;
    char b = 0;
    EXPECT_EQ(ErrorText([&] { base.Read(&b, 1); }), "Invalid stream operation");
    EXPECT_EQ(ErrorText([&] { base.Write(&b, 1); }), "Invalid stream operation");
    EXPECT_EQ(ErrorText([&] { base.Seek(0, TSeekOrigin::soBeginning); }),
              "Invalid stream operation");
    EXPECT_EQ(ErrorText([&] { base.SetSize(0); }), "Invalid stream operation");
}

TEST(Streams, MemoryStreamReadsWritesSeeksAndGrows) {
    TMemoryStream m;
    m.WriteBuffer("hello world");
    EXPECT_EQ(m.Size(), 11);
    m.SetPosition(6);
    char buf[16] = {};
    EXPECT_EQ(m.Read(buf, sizeof buf), 5u);
    EXPECT_STREQ(buf, "world");
    m.Seek(2, TSeekOrigin::soEnd);
    m.WriteBuffer("!");
    EXPECT_EQ(m.Bytes(), std::string("hello world\0\0!", 14));
    m.SetSize(5);
    EXPECT_EQ(m.Bytes(), "hello");
    EXPECT_EQ(m.Position(), 5);
    EXPECT_EQ(ErrorText([&] { m.Seek(-1, TSeekOrigin::soBeginning); }), "Invalid stream operation");
    EXPECT_EQ(ErrorText([&] { m.ReadBuffer(buf, 1); }), "Stream read error");
}

TEST(Streams, FileStreamRoundTripsAndNamesTheFileItCannotOpen) {
    TempDirGuard tmp;
    const std::string name = tmp.Dir() + "/f.bin";
    {
        TFileStream f(name, TFileMode::fmCreate);
        f.WriteBuffer("abcdef");
        f.SetPosition(2);
        char two[2];
        f.ReadBuffer(two, 2);
        EXPECT_EQ(std::string(two, 2), "cd");
        f.WriteBuffer("XY"); // a write right after a read
        f.SetSize(5);
        EXPECT_EQ(f.Size(), 5);
    }
    TMemoryStream m;
    m.LoadFromFile(name);
    EXPECT_EQ(m.Bytes(), "abcdX");
    const std::string missing = tmp.Dir() + "/missing";
    EXPECT_EQ(ErrorText([&] {
                  TFileStream f(missing, TFileMode::fmOpenRead);
              }).rfind("Cannot open file \"" + missing + "\".", 0),
              0u);
}
