#include <korp/KorpMIME.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <korp/KorpErrors.h>
#include <korp/KorpMsg.h>

#include "TempDirGuard.h"

using namespace korp;

namespace {

// Every chunk goes to the same decoder in its own Write; returns the decoded bytes.
std::string Base64(const std::vector<std::string>& writes,
                   std::vector<std::size_t>* counts = nullptr) {
    TMemoryStream out;
    {
        TBase64DecodingStream decoder(out);
        for (const auto& w : writes) {
            const std::size_t n = decoder.Write(w.data(), w.size());
            if (counts != nullptr) counts->push_back(n);
        }
    }
    return std::string(out.Bytes());
}

std::string UU(const std::vector<std::string_view>& lines) {
    TMemoryStream out;
    DecodeUULines(lines, out);
    return std::string(out.Bytes());
}

} // namespace

TEST(Base64DecodingStream, DecodesGroupsAndCarriesPartialGroupsOverOnce) {
    struct Case {
        std::vector<std::string> writes;
        std::string expected;
    };
    const Case cases[] = {
        {{"SGVsbG8="}, "Hello"},
        {{"SGVsbA=="}, "Hell"},
        {{"SGVs\r\nbG8="}, "Hello"},
        {{"SGV", "sbG8="}, "Hello"},
        {{"S", "G", "V", "s", "bG8="}, "Hello"},
        {{"====SGVs"}, "Hel"}, // "====" yields nothing, decoding goes on
        {{"SGVs", "===="}, "Hel"},
        {{"SGV sbG8="}, "He\xA3\xB1\xB1\xBC"}, // a blank takes a place and shifts later groups
        {{"SGVsbG"}, "Hel"},                   // an unfinished group is dropped at the end
        {{""}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Base64(c.writes), c.expected) << "first write: " << c.writes.front();
}

TEST(Base64DecodingStream, WriteReturnsTheBytesItWroteToTheTarget) {
    std::vector<std::size_t> counts;
    EXPECT_EQ(Base64({"SGV", "sbG8=", "SGVs"}, &counts), "HelloHel");
    EXPECT_EQ(counts, (std::vector<std::size_t>{0, 5, 3}));
}

TEST(Base64DecodingStream, CannotBeReadOrSought) {
    TMemoryStream target;
    TBase64DecodingStream decoder(target);
    char c;
    EXPECT_THROW(decoder.Read(&c, 1), EStreamError);
    EXPECT_THROW(decoder.Seek(0, TSeekOrigin::soBeginning), EStreamError);
}

TEST(QuotedPrintable, DecodesEscapesAndSoftBreaksAndKeepsUnderscores) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"caf=E9", "caf\xE9"},
        {"caf=e9", "caf\xE9"},
        {"a=3Db", "a=b"},
        {"x=ZZy", "x@y"},
        {"regel=\r\nvervolg", "regelvervolg"},
        {"klant_service@example.nl", "klant_service@example.nl"}, // "_" is a blank only in Q words
        {"eind=", "eind"},
        {"eind=4", "eind"},
        {"", ""},
        {"=\n", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeQuotedPrintable(c.in), c.out) << c.in;
}

TEST(EncodedWords, DecodesQAndBWordsJoinsAdjacentOnesAndLeavesBrokenOnesAlone) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"=?iso-8859-1?Q?Caf=E9_open?=", "Caf\xE9 open"},
        {"=?utf-8?B?SGVsbG8=?=", "Hello"},
        {"=?iso-8859-1?X?abc?= rest", " rest"},
        {"a =? b", "a =? b"},
        {"=?iso-8859-1?Q?abc", "=?iso-8859-1?Q?abc"},
        {"=?a?Q?offerte_2025?= =?a?Q?offerte=5F2025?=", "offerte 2025offerte_2025"},
        // White space between two encoded words goes, next to ordinary text it stays.
        {"x =?a?Q?1?= =?a?Q?2?= y", "x 12 y"},
        {"=?a?Q?werkt?= \t =?a?Q?ijden?=", "werktijden"},
        {"=?a?Q?nieuwe?= =?a?Q?_regeling?=", "nieuwe regeling"},
        {"=?a?Q?een?= en =?a?Q?twee?=", "een en twee"},
        {"=?a?Q?een?= =?a?Q?open", "een =?a?Q?open"},
        {"=?a?q?lower?=", "lower"},
        {"=?a?Q?ok?= and =?a?Q?open", "ok and =?a?Q?open"},
        // Decoded text that forms a new encoded word is decoded again, also across the "=".
        {"=?us-ascii?Q?=3D=3Fus-ascii=3FQ=3Fx=3F=3D?=", "x"},
        {"==?us-ascii?Q?=3Fus-ascii=3FQ=3Fy?=?=", "y"},
        {"=?", "=?"},
        {"=?a?", "=?a?"},
        // Declared charsets other than Latin-1 are converted to Windows-1252.
        {"=?utf-8?Q?caf=C3=A9?=", "caf\xE9"},
        {"=?UTF-8?B?4oCcdGhlZeKAnQ==?=", "\"thee\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeEncodedWords(c.in), c.out) << c.in;
}

TEST(UUDecode, MapsTheAlphabetAndRejectsEverythingElse) {
    EXPECT_EQ(UUDecodeChar('`'), 0);
    EXPECT_EQ(UUDecodeChar(' '), 0);
    EXPECT_EQ(UUDecodeChar('!'), 1);
    EXPECT_EQ(UUDecodeChar('M'), 45);
    EXPECT_EQ(UUDecodeChar('_'), 63);
    for (const char bad : {'a', 'z', '~', '\0', '\x80', '\t'}) {
        try {
            UUDecodeChar(bad);
            ADD_FAILURE() << "no error for code " << int(static_cast<unsigned char>(bad));
        } catch (const EKorpDecodeError& e) {
            EXPECT_STREQ(e.what(), "Oops...");
        }
    }
}

TEST(UUDecode, DecodesLinesUntilEndOrGraveAccent) {
    TempDirGuard tmp;
    const std::string full = "M" + std::string(60, '!'); // each character 000001
    const std::string stripped = "M" + std::string(59, '!');
    std::string expected45;
    for (int i = 0; i < 15; ++i)
        expected45 += "\x04\x10\x41";
    struct Case {
        std::vector<std::string_view> lines;
        std::string out;
    };
    const Case cases[] = {
        {{"begin 644 cat.txt", "#0V%T"}, "Cat"},
        {{"begin 644 cat.txt", "#0V%T", "end", "#0V%T"}, "Cat"},
        {{"begin 644 cat.txt", "#0V%T", "`", "#0V%T"}, "Cat"},
        {{"begin 644 x", full}, expected45},
        // Trailing blanks stripped by a mail gateway: the missing characters are 0 bits.
        {{"begin 644 x", stripped}, expected45.substr(0, 44) + "\x40"},
        {{"begin 644 x", "", "#0V%T"}, "Cat"},
        {{"begin 644 x"}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UU(c.lines), c.out) << c.lines.back();
    EXPECT_EQ(tmp.FilesLeft(), 0);
}

TEST(UUDecode, ALowerCaseLetterRaisesOopsAndLeavesNoTemporaryFile) {
    TempDirGuard tmp;
    try {
        UU({"begin 644 x", "#0V%T", "#0v%T"});
        ADD_FAILURE() << "no error";
    } catch (const EKorpDecodeError& e) {
        EXPECT_STREQ(e.what(), "Oops...");
    }
    EXPECT_EQ(tmp.FilesLeft(), 0);
}

TEST(AttachmentDecoders, AFailedDecodingLeavesDataAsItWas) {
    // Decoded bytes before the bad line must not stay behind, in empty Data or in Data that
    // already held something.
    for (const std::string before : {"", "earlier"}) {
        TMemoryStream data;
        data.WriteBuffer(before);
        const std::vector<std::string_view> lines = {"begin 644 x", "#0V%T", "#0v%T"};
        EXPECT_THROW(DecodeUULines(lines, data), EKorpDecodeError);
        EXPECT_EQ(data.Bytes(), before);
    }
}

TEST(AttachmentDecoders, FillDataFromEncodedLinesAndLeaveNoFile) {
    TempDirGuard tmp;
    TAttachedFiles files;
    TAttachedFile& b64 = files.Add("a.txt");
    b64.EncodedLines.SetText("SGVs\r\nbG8=\r\n");
    DecodeBase64Attachment(b64);
    EXPECT_EQ(b64.Data.Bytes(), "Hello");
    TAttachedFile& uu = files.Add("b.txt");
    uu.EncodedLines.SetText("begin 644 b.txt\n#0V%T\n`\nend\n");
    DecodeUUAttachment(uu);
    EXPECT_EQ(uu.Data.Bytes(), "Cat");
    EXPECT_EQ(tmp.FilesLeft(), 0);
}
