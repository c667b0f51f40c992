// TKorpMsg: one fetched mail message, and the parser that fills it from its raw lines.
//
// Parsing is line-based and lenient: a message is never rejected, and an odd structure gives less
// text or an extra attachment. Multiparts and enclosed messages are opened 100 levels deep at
// most: a part nested deeper is kept whole, unread, as an attachment named "_cosa_.eml". No input
// makes parsing slower than O(n log n) in the size of the message. Of a multipart/alternative
// one part is read: the plain text, unless it is empty or only points to the HTML, which is then
// read instead. The one error is EKorpDecodeError ("Oops...", KorpErrors.h) from a malformed
// uuencoded line; it ends ParseRawMail with the fields parsed so far kept.
//
// Text is kept as received, 8-bit, with one exception: a text part or encoded header word that
// declares a charset other than US-ASCII, ISO-8859-1 or Windows-1252 is converted to Windows-1252
// (KorpCharset.h). Parts without a charset come out byte for byte; attachments are never converted.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <korp/KorpStreams.h>

namespace korp {

/// Attachments kept per message at most; further ones are left out (their lines never reach
/// the text either).
inline constexpr std::size_t kMaxAttachments = 1000;

enum TPriority { prHighest, prHigh, prNormal, prLow, prLowest };
enum TTextEncoding { te8Bit, teBase64 };

/// One attachment of a message.
class TAttachedFile {
public:
    std::string FileName;     ///< FilePath without any path: after its last "\" or ":"
    std::string FilePath;     ///< the name given to TAttachedFiles::Add
    TStringList EncodedLines; ///< the part's lines while they are decoded; empty afterwards
    TMemoryStream Data;       ///< the decoded content
    std::string MimeType;     ///< GetMimeTypeForFile(FilePath)
};

/// The attachments of a message, in the order their parts were met, read by index from 0.
class TAttachedFiles {
public:
    /// Appends a new item named after name and returns it; it stays valid while the collection
    /// lives.
    TAttachedFile& Add(const std::string& name);
    std::size_t Count() const { return items_.size(); }
    TAttachedFile& operator[](std::size_t i) { return *items_[i]; }
    const TAttachedFile& operator[](std::size_t i) const { return *items_[i]; }
    void Clear() { items_.clear(); }

private:
    std::vector<std::unique_ptr<TAttachedFile>> items_;
};

/// A parsed mail message. The POP3 client fills RawMail, sets Size and calls ParseRawMail; the
/// reading code then reads From, Subject, Text and the rest.
class TKorpMsg {
public:
    TKorpMsg() = default;
    TKorpMsg(const TKorpMsg&) = delete;
    TKorpMsg& operator=(const TKorpMsg&) = delete;

    /// Parses RawMail into the fields below; appends to Headers, Text and AttachedFiles. Clears
    /// RawMail afterwards when ClearRawMailAfterParse is set. Throws EKorpDecodeError for a
    /// malformed uuencoded line (fields and Text parsed until then stay).
    void ParseRawMail();
    /// Parses raw as ParseRawMail parses the lines of RawMail, which stays as it is: for a caller
    /// that holds the message's bytes itself. The views need stay valid only during the call.
    void ParseLines(std::span<const std::string_view> raw);

    TPriority Priority = prNormal;
    std::string UserName;
    std::string From; ///< the From header's value; empty without one
    std::string Sender;
    std::string MessageId;
    std::string InReplyTo;
    std::string ReturnPath;
    std::string ReplyTo;
    std::string SendTo;
    std::string CC;
    std::string BCC;
    std::string Date;
    std::string Subject;
    TStringList Text;
    TStringList ExtraHeaders;
    TAttachedFiles AttachedFiles;
    std::string ContentType;
    std::string ContentTransferEncoding;
    TStringList Headers;
    std::string CharSet = "ISO-8859-1";
    std::int32_t Size = 0;
    std::string UIDL;
    TStringList RawMail;
    bool ClearRawMailAfterParse = true;
    /// Why parsing stopped early (a malformed uuencoded line); empty when the message was parsed
    /// whole. Set by the POP3 client, which hands out what was parsed up to the fault.
    std::string ParseError;
    TTextEncoding TextEncoding = te8Bit;

private:
    using Lines = std::span<const std::string_view>;
    void SetHeaderFields();
    void ProcessPart(Lines whole);
    void AddTextPart(Lines body, const std::string& encoding, const std::string& charset);
    void AddTextLines(Lines lines, const std::string& charset);
    void AddAttachment(Lines lines, const std::string& type, std::string name,
                       const std::string& encoding);
};

// Header helpers, shared by the message's own header and its parts. Lines are given as views so
// that parts are ranges of the raw lines rather than copies.

/// The header line whose upper-case form begins with name ("CONTENT-TYPE:"), unfolded: its
/// continuation lines appended as they are, the blank or tab that starts each one kept. Leading
/// empty lines are skipped; the search ends at the next empty line.
std::optional<std::string> FindHeader(std::string_view name,
                                      std::span<const std::string_view> lines);
std::optional<std::string> FindHeader(std::string_view name, const TStringList& lines);

/// The whole value of a header line, trimmed: everything after the colon that ends its name.
std::string GetHeaderValue(std::string_view line);

/// The value of a header with parameters (Content-Type, Content-Disposition) without them: the
/// trimmed text before the first ";" that is not inside a quoted string.
std::string GetHeaderValueWithoutParams(std::string_view line);

/// The value of the parameter attribute (any case) of a header with parameters, as
/// "attribute=value" after a ";" (RFC 2045 5.1): a quoted string without its quotes and
/// backslashes, or the trimmed text up to the next ";". RFC 2231 extended values
/// ("attribute*=charset''text") and sections ("attribute*0", "attribute*1" ...) are joined,
/// decoded and converted to Windows-1252, and win over a plain value. Empty when there is none.
std::string GetHeaderParam(std::string_view attribute, std::string_view line);

/// How many lines the header block and the blank lines after it take at the top of lines.
std::size_t HeaderBlockLength(std::span<const std::string_view> lines);
/// Deletes the header block and the blank lines after it, leaving the body.
void StripHeaderBlock(TStringList& lines);

/// "--" followed by the boundary parameter of a Content-Type header line (trimmed).
std::string GetBoundary(std::string_view headerLine);

/// The leaf parts of a (possibly nested) multipart, each with its own header block, in document
/// order. A part that is not multipart is its own single leaf, and so is a multipart nested 100
/// levels deep: it is not split further.
std::vector<std::span<const std::string_view>>
SplitMultipart(std::span<const std::string_view> lines);

/// Rewrites an address header as '"name" <address>' entries joined by ", ".
std::string DecodeAddressList(std::string_view value);
std::string ExtractAddress(std::string_view entry);
std::string ExtractDisplayName(std::string_view entry);

} // namespace korp
