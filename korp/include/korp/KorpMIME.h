// Content decoders of the mail component: base64 (a write-only decoding stream), quoted-printable
// (also the Q form of encoded header words), encoded header words, uuencode, and the two
// attachment decoders that spool through a temporary file.
//
// All work on 8-bit bytes and are lenient: malformed input yields odd bytes rather than errors.
// The one exception is uudecoding, which throws EKorpDecodeError ("Oops...") for a character
// outside its alphabet. Encoded header words whose charset is not Windows-1252 compatible are
// converted to Windows-1252 (see KorpCharset.h); nothing else converts charsets.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include <korp/KorpStreams.h>

namespace korp {

class TAttachedFile;

/// Accepts base64 text through Write and writes the decoded bytes to a target stream.
/// CR and LF are skipped; every other byte takes a place in a group of four, a foreign byte with
/// the value 99. A group starting with "=" yields nothing; "=" third or fourth shortens the group.
/// Characters of an unfinished group carry over to the next Write, exactly once; at destruction
/// they are dropped.
class TBase64DecodingStream : public TStream {
public:
    /// target is not owned and must outlive the decoder.
    explicit TBase64DecodingStream(TStream& target) : target_(target) {}

    /// Read and Seek throw EStreamError "Invalid stream operation" (inherited).
    /// Returns the number of bytes this call wrote to the target.
    std::size_t Write(const void* buffer, std::size_t count) override;

private:
    std::array<unsigned char, 4> group_{};
    std::int32_t groupCount_ = 0;
    std::int32_t written_ = 0;
    TStream& target_;
    std::string out_; // decoded bytes of one Write, handed to the target at once
};

/// Decodes quoted-printable text (RFC 2045 6.7): "=XX" becomes the byte XX (either case; "@"
/// when XX is not hexadecimal), "=" before CR or LF drops itself and the next two bytes, "=" with
/// one byte before the end drops both; every other byte, "_" included, stays.
std::string DecodeQuotedPrintable(std::string text);

/// Replaces every decodable encoded word (=?charset?Q|B?text?=) of a header value; in a Q word
/// "_" is a blank (RFC 2047 4.2). White space between two adjacent encoded words goes (RFC 2047
/// 6.2); white space next to ordinary text stays. An unknown encoding letter drops the word; a
/// word without its closing "?=" and everything after it stay as written. Decoded text that forms
/// a new encoded word is decoded again.
std::string DecodeEncodedWords(std::string_view s);

/// The 6-bit value of a uuencode character: the grave accent and the blank are 0, codes 33 to 95
/// their code minus 32. Throws EKorpDecodeError ("Oops...") for any other character.
int UUDecodeChar(char ch);

/// Decodes lines of base64 into data, spooled through a temporary file that is always deleted.
void DecodeBase64Lines(std::span<const std::string_view> lines, TMemoryStream& data);
/// Decodes a uuencoded block (its first line is the "begin" line) into data, spooled through a
/// temporary file that is always deleted. Throws EKorpDecodeError for a malformed line.
void DecodeUULines(std::span<const std::string_view> lines, TMemoryStream& data);

/// Fill item.Data from item.EncodedLines.
void DecodeBase64Attachment(TAttachedFile& item);
void DecodeUUAttachment(TAttachedFile& item);

} // namespace korp
