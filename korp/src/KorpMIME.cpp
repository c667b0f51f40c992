#include <korp/KorpMIME.h>

#include <algorithm>
#include <vector>

#include <korp/KorpCharset.h>
#include <korp/KorpErrors.h>
#include <korp/KorpMsg.h>
#include <korp/korp_util.h>

namespace korp {

namespace {

// Base64 values (RFC 2045 section 6.8); "=" is 64 and every foreign byte 99.
constexpr std::array<unsigned char, 256> MakeBase64Table() {
    std::array<unsigned char, 256> t{};
    for (auto& v : t)
        v = 99;
    for (int i = 0; i < 26; ++i) {
        t['A' + i] = static_cast<unsigned char>(i);
        t['a' + i] = static_cast<unsigned char>(26 + i);
    }
    for (int i = 0; i < 10; ++i)
        t['0' + i] = static_cast<unsigned char>(52 + i);
    t['+'] = 62;
    t['/'] = 63;
    t['='] = 64;
    return t;
}
constexpr std::array<unsigned char, 256> kBase64 = MakeBase64Table();

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Decodes one uuencoded line into out: its first character tells how many bytes it carries.
void DecodeUULine(std::string_view line, std::string& out) {
    if (line.empty()) return; // a blank line carries nothing
    const int n = UUDecodeChar(line[0]);
    const std::size_t available = line.size() - 1;
    // A full line has 60 characters; encoders that strip trailing blanks leave fewer, and the
    // missing ones stand for 0 bits.
    const std::size_t count = std::min<std::size_t>(n == 45 ? 60 : available, 60);
    std::array<unsigned char, 45> bytes{};
    std::uint32_t bits = 0;
    int bitCount = 0;
    std::size_t b = 0;
    for (std::size_t j = 0; j < count; ++j) {
        const int v = j < available ? UUDecodeChar(line[1 + j]) : 0;
        bits = (bits << 6) | static_cast<std::uint32_t>(v);
        bitCount += 6;
        if (bitCount >= 8) {
            bitCount -= 8;
            bytes[b++] = static_cast<unsigned char>((bits >> bitCount) & 0xFF);
        }
    }
    if (bitCount > 0 && b < bytes.size())
        bytes[b] = static_cast<unsigned char>((bits << (8 - bitCount)) & 0xFF);
    out.append(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::size_t>(std::min(n, 45)));
}

} // namespace

std::size_t TBase64DecodingStream::Write(const void* buffer, std::size_t count) {
    written_ = 0;
    out_.resize(count / 4 * 3 + 6);
    char* out = out_.data();
    std::size_t o = 0;
    const auto* p = static_cast<const unsigned char*>(buffer);
    std::size_t i = 0;
    while (i < count) {
        // Whole groups of four alphabet characters, the common case, in one step each.
        if (groupCount_ == 0) {
            while (i + 4 <= count) {
                const unsigned s0 = kBase64[p[i]];
                const unsigned s1 = kBase64[p[i + 1]];
                const unsigned s2 = kBase64[p[i + 2]];
                const unsigned s3 = kBase64[p[i + 3]];
                if ((s0 | s1 | s2 | s3) >= 64) break; // "=", CR, LF or a foreign byte
                const unsigned v = (s0 << 18) | (s1 << 12) | (s2 << 6) | s3;
                out[o] = static_cast<char>(v >> 16);
                out[o + 1] = static_cast<char>((v >> 8) & 0xFF);
                out[o + 2] = static_cast<char>(v & 0xFF);
                o += 3;
                i += 4;
            }
            if (i >= count) break;
        }
        const unsigned char c = p[i++];
        if (c == '\r' || c == '\n') continue;
        group_[static_cast<std::size_t>(groupCount_++)] = c;
        if (groupCount_ < 4) continue;
        groupCount_ = 0;
        unsigned s0 = kBase64[group_[0]];
        unsigned s1 = kBase64[group_[1]];
        unsigned s2 = kBase64[group_[2]];
        unsigned s3 = kBase64[group_[3]];
        std::size_t yield = 3;
        if (s0 == 64) {
            yield = 0;
        } else if (s2 == 64) {
            yield = 1;
            s2 = 0;
            s3 = 0;
        } else if (s3 == 64) {
            yield = 2;
            s3 = 0;
        }
        // Foreign bytes (99) and an "=" in second place (64) enter the arithmetic as they are.
        const char bytes[3] = {static_cast<char>((s0 * 4 + s1 / 16) % 256),
                               static_cast<char>(((s1 % 16) * 16 + s2 / 4) % 256),
                               static_cast<char>(((s2 % 4) * 64 + s3) % 256)};
        if (o + yield > out_.size()) {
            out_.resize(o + yield + 16);
            out = out_.data();
        }
        for (std::size_t k = 0; k < yield; ++k)
            out[o++] = bytes[k];
    }
    if (o > 0) target_.WriteBuffer(out, o);
    written_ = static_cast<std::int32_t>(o);
    return o;
}

std::string DecodeQuotedPrintable(std::string text) {
    const std::size_t n = text.size();
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < n) {
        const char c = text[i];
        if (c != '=') {
            text[j++] = c;
            ++i;
        } else if (i + 1 < n && (text[i + 1] == '\r' || text[i + 1] == '\n')) {
            i += 3; // soft line break: "=" CR LF
        } else if (i + 2 < n) {
            const int hi = HexValue(text[i + 1]);
            const int lo = HexValue(text[i + 2]);
            text[j++] = hi < 0 || lo < 0 ? '@' : static_cast<char>(hi * 16 + lo);
            i += 3;
        } else {
            break; // "=" with at most one byte before the end
        }
    }
    text.resize(j);
    return text;
}

std::string DecodeEncodedWords(std::string_view s) {
    // The live input is buf[pos..]; decoded text goes back in front of it to be searched again,
    // so the work stays linear however many words there are.
    std::string buf(s);
    std::size_t pos = 0;
    std::string out;
    auto pushFront = [&](std::string_view text) {
        if (text.size() > pos) {
            const std::size_t live = buf.size() - pos;
            const std::size_t slack = std::max(text.size(), live);
            std::string grown(slack + live, '\0');
            std::copy(buf.begin() + static_cast<std::ptrdiff_t>(pos), buf.end(),
                      grown.begin() + static_cast<std::ptrdiff_t>(slack));
            buf.swap(grown);
            pos = slack;
        }
        pos -= text.size();
        std::copy(text.begin(), text.end(), buf.begin() + static_cast<std::ptrdiff_t>(pos));
    };
    // Where the text of the last decoded word ends in buf: white space from there to the next
    // encoded word separates two adjacent encoded words and is dropped (RFC 2047 6.2), so that a
    // word split over two encoded words, or over a folded line, is read whole.
    std::size_t wordEnd = std::string::npos;
    for (;;) {
        const std::size_t start = buf.find("=?", pos);
        if (start == std::string::npos) break;
        const std::size_t q = buf.find('?', start + 2);
        if (q == std::string::npos) break;
        const std::string_view charset(buf.data() + start + 2, q - start - 2);
        const char letter =
            q + 1 < buf.size() ? UpperCase(std::string_view(&buf[q + 1], 1))[0] : '\0';
        const std::size_t textStart = std::min(q + 3, buf.size());
        const std::size_t end = buf.find("?=", textStart);
        if (end == std::string::npos) break;

        std::string decoded;
        const std::string_view encoded(buf.data() + textStart, end - textStart);
        if (letter == 'Q') {
            // In the Q encoding "_" stands for a blank; "=5F" is an underscore (RFC 2047 4.2).
            std::string text(encoded);
            std::replace(text.begin(), text.end(), '_', ' ');
            decoded = DecodeQuotedPrintable(std::move(text));
        } else if (letter == 'B') {
            TMemoryStream mem;
            {
                TBase64DecodingStream decoder(mem);
                decoder.Write(encoded.data(), encoded.size());
            }
            decoded = mem.Bytes();
        }
        decoded = ConvertToWindows1252(decoded, charset);

        const bool adjacent =
            wordEnd != std::string::npos && wordEnd >= pos && wordEnd < start &&
            std::all_of(buf.begin() + static_cast<std::ptrdiff_t>(wordEnd),
                        buf.begin() + static_cast<std::ptrdiff_t>(start),
                        [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
        out.append(buf, pos, (adjacent ? wordEnd : start) - pos);
        pos = end + 2;
        // The next pass searches from the start of the new string; only a "=" that ended the
        // prefix can join the decoded text to a new "=?".
        pushFront(decoded);
        std::size_t joined = 0;
        if (!out.empty() && out.back() == '=' && pos < buf.size() && buf[pos] == '?') {
            out.pop_back();
            pushFront("=");
            joined = 1;
        }
        wordEnd = pos + joined + decoded.size();
    }
    out.append(buf, pos, std::string::npos);
    return out;
}

int UUDecodeChar(char ch) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '`' || c == ' ') return 0;
    if (c >= 33 && c <= 95) return c - 32;
    throw EKorpDecodeError();
}

// The attachment decoders write to memory and leave data as it was when decoding fails. (The
// decoded bytes end in memory either way; spooling them through a file first only cost a file's
// creation, writes and reads for every attachment.)
namespace {

// Runs decode(target) on data itself when it is empty (emptied again on a failure), else on
// memory of its own that replaces data's content only on success. expected sizes the target.
template <typename Decode>
void DecodeInto(TMemoryStream& data, std::size_t expected, Decode&& decode) {
    if (data.Size() != 0) {
        TMemoryStream decoded;
        decoded.Reserve(expected);
        decode(decoded);
        data.LoadFromStream(decoded);
        return;
    }
    try {
        data.Reserve(expected);
        decode(data);
    } catch (...) {
        data.Clear();
        throw;
    }
    data.SetPosition(0);
}

std::size_t TotalSize(std::span<const std::string_view> lines) {
    std::size_t total = 0;
    for (const std::string_view line : lines)
        total += line.size();
    return total;
}

} // namespace

void DecodeBase64Lines(std::span<const std::string_view> lines, TMemoryStream& data) {
    // Four characters give three bytes.
    DecodeInto(data, TotalSize(lines) / 4 * 3 + 3, [&](TMemoryStream& target) {
        TBase64DecodingStream decoder(target);
        for (const std::string_view line : lines)
            decoder.Write(line.data(), line.size());
    });
}

void DecodeUULines(std::span<const std::string_view> lines, TMemoryStream& data) {
    // A line of 61 characters gives 45 bytes.
    DecodeInto(data, TotalSize(lines) / 4 * 3 + 3, [&](TMemoryStream& target) {
        std::string bytes;
        for (std::size_t i = 1; i < lines.size(); ++i) {
            bytes.clear();
            DecodeUULine(lines[i], bytes);
            target.WriteBuffer(bytes);
            if (i + 1 < lines.size() && (lines[i + 1] == "end" || lines[i + 1] == "`")) break;
        }
    });
}

void DecodeBase64Attachment(TAttachedFile& item) {
    const auto views = item.EncodedLines.Views();
    DecodeBase64Lines(views, item.Data);
}

void DecodeUUAttachment(TAttachedFile& item) {
    const auto views = item.EncodedLines.Views();
    DecodeUULines(views, item.Data);
}

} // namespace korp
