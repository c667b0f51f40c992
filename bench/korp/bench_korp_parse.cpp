// Parse throughput of TKorpMsg on generated messages: the raw text is split into RawMail lines
// (as the POP3 client loads its spool file) and parsed; bytes/second counts the raw message.
// Each shape runs at two sizes, so a slower-than-linear path shows as falling throughput, and
// peak_heap_MB is the most heap one parse held on top of the message text.
//
// Besides ordinary mail there are hostile shapes: nesting 10,000 levels deep, header searches
// that could run on to the end of the message at every level, one folded header found again by
// every enclosed level, many uuencoded blocks and many encoded words.
//
// GMime 3 does the same work on the large attachment-heavy message, the many-part message and
// a large plain message, in the same run (BM_GMime...): parse from the bytes, every header's
// value decoded, every leaf transfer-decoded, and every text leaf converted to Windows-1252.

#include <cstdint>
#include <cstring>
#include <string>

#include <benchmark/benchmark.h>

#include "BenchMain.h"
#include "HeapPeak.h"

#include <korp/KorpErrors.h>
#include <korp/KorpMsg.h>

#include <gmime/gmime.h>

namespace {

std::string Base64Lines(std::size_t bytes, std::uint32_t seed) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve(bytes * 4 / 3 + bytes / 38 + 8);
    std::uint32_t x = seed;
    std::size_t column = 0;
    for (std::size_t i = 0; i < bytes; i += 3) {
        for (int k = 0; k < 4; ++k) {
            x = x * 1664525u + 1013904223u;
            out += alphabet[(x >> 24) & 63];
        }
        if ((column += 4) == 76) {
            out += "\r\n";
            column = 0;
        }
    }
    out += "\r\n";
    return out;
}

// Dutch-looking text with accented letters, soft breaks and "=3D", encoded quoted-printable.
std::string QuotedPrintableText(std::size_t bytes) {
    std::string out;
    const std::string line =
        "Beste collega's, het caf=E9 op de hoek is vanaf maandag weer open =\r\n"
        "en de koffie kost dan 2,50 euro; a=3Db is geen formule.\r\n";
    while (out.size() < bytes)
        out += line;
    return out;
}

std::string AttachmentMessage(std::size_t scale) {
    std::string m = "From: Jan <jan@example.nl>\r\nTo: piet@example.nl\r\nSubject: Rapport\r\n"
                    "Content-Type: multipart/mixed; boundary=\"XYZ\"\r\n\r\n--XYZ\r\n"
                    "Content-Type: text/plain; charset=iso-8859-1\r\n"
                    "Content-Transfer-Encoding: quoted-printable\r\n\r\n";
    m += QuotedPrintableText(3'000'000 * scale);
    m += "--XYZ\r\nContent-Type: application/pdf; name=\"rapport.pdf\"\r\n"
         "Content-Transfer-Encoding: base64\r\n\r\n";
    m += Base64Lines(5'250'000 * scale, 1);
    m += "--XYZ--\r\n";
    return m;
}

std::string AlternativeMessage(std::size_t scale) {
    std::string m = "From: Jan <jan@example.nl>\r\nSubject: Nieuwsbrief\r\n"
                    "Content-Type: multipart/alternative; boundary=alt\r\n\r\n--alt\r\n"
                    "Content-Type: text/plain; charset=utf-8\r\n"
                    "Content-Transfer-Encoding: quoted-printable\r\n\r\n";
    m += QuotedPrintableText(1'000'000 * scale);
    m += "--alt\r\nContent-Type: text/html; charset=iso-8859-1\r\n\r\n";
    while (m.size() < 2'000'000 * scale)
        m += "<p>Het caf\xE9 op de hoek is <b>open</b>.</p>\r\n";
    m += "--alt--\r\n";
    return m;
}

std::string ManyPartsMessage(std::size_t parts) {
    std::string m = "From: Jan <jan@example.nl>\r\nSubject: Foto's\r\n"
                    "Content-Type: multipart/mixed; boundary=p\r\n\r\n";
    for (std::size_t i = 0; i < parts; ++i) {
        if (i % 2 == 0) {
            m += "--p\r\nContent-Type: image/jpeg; name=\"foto" + std::to_string(i) +
                 ".jpg\"\r\nContent-Transfer-Encoding: base64\r\n\r\n";
            m += Base64Lines(7'500, static_cast<std::uint32_t>(i));
        } else {
            m += "--p\r\nContent-Type: text/plain\r\n\r\n";
            for (int k = 0; k < 40; ++k)
                m += "Bij deze de volgende foto uit de serie.\r\n";
        }
    }
    m += "--p--\r\n";
    return m;
}

// Nested multiparts, each with a text part before the next level; every level is closed.
std::string DeepMultipartMessage(int levels) {
    std::string m = "From: Jan <jan@example.nl>\r\nSubject: Diep\r\n";
    for (int k = 0; k < levels; ++k) {
        // (GCC 12 warns wrongly about "x" + std::string at -O3.)
        std::string b = "b";
        b += std::to_string(k);
        m += "Content-Type: multipart/mixed; boundary=" + b + "\r\n\r\n--" + b +
             "\r\nContent-Type: text/plain\r\n\r\nniveau " + std::to_string(k) + "\r\n--" + b +
             "\r\n";
    }
    m += "Content-Type: text/plain\r\n\r\ndiep\r\n";
    for (int k = levels - 1; k >= 0; --k) {
        m += "--b";
        m += std::to_string(k);
        m += "--\r\n";
    }
    return m;
}

// Enclosed messages whose header blocks end in a line of one blank: that ends a part's header
// block, but a header search runs on to the first truly empty line, here at the very end.
std::string DeepEnclosedMessage(int levels) {
    std::string m = "From: Jan <jan@example.nl>\r\nSubject: Doorgestuurd\r\n";
    for (int k = 0; k < levels; ++k)
        m += "Content-Type: message/rfc822\r\n \r\n";
    m += "Subject: diep\r\n\r\ndiep\r\n";
    return m;
}

// Header blocks ended by a line of one blank, before a Content-Type folded over as many lines:
// every enclosed level finds that same header again, continuation lines and all, next to an
// encoding header of its own.
std::string RefoundFoldedHeaderMessage(int lines) {
    std::string m = "From: Jan <jan@example.nl>\r\n";
    for (int k = 0; k < lines; ++k)
        m += "X-Kop: " + std::to_string(k) + "\r\nContent-Transfer-Encoding: 7bit\r\n \r\n";
    m += "Content-Type: message/rfc822;\r\n";
    for (int k = 0; k < lines; ++k)
        m += " x-vervolg=" + std::to_string(k) + ";\r\n";
    m += "\r\ndiep\r\n";
    return m;
}

// Empty uuencoded blocks, one after the other: each becomes an attachment.
std::string ManyUuBlocksMessage(int blocks) {
    std::string m = "From: Jan <jan@example.nl>\r\nSubject: Blokken\r\n\r\n";
    for (int k = 0; k < blocks; ++k)
        m += "begin 644 b" + std::to_string(k) + ".bin\r\nend\r\n";
    return m;
}

// A subject folded over many lines, one encoded word on each.
std::string ManyEncodedWordsMessage(int words) {
    std::string m = "From: =?utf-8?Q?Andr=C3=A9?= <andre@example.be>\r\nSubject: "
                    "=?utf-8?Q?caf=C3=A9?=\r\n";
    for (int k = 0; k < words; ++k)
        m += " =?iso-8859-1?B?dGFhcnQ=?= =?utf-8?Q?_th=C3=A9e?=\r\n";
    m += "\r\nKort.\r\n";
    return m;
}

// A plain letter of many megabytes, Latin-1, no MIME structure.
std::string PlainMessage(std::size_t bytes) {
    std::string m = "From: Jan <jan@example.nl>\r\nTo: piet@example.nl\r\nSubject: Verslag\r\n"
                    "Content-Type: text/plain; charset=iso-8859-1\r\n\r\n";
    while (m.size() < bytes)
        m += "Het caf\xE9 op de hoek is vanaf maandag weer open; de koffie kost 2,50 euro.\r\n";
    return m;
}

void Parse(benchmark::State& state, const std::string& message) {
    const std::size_t before = brevon_bench::StartHeapPeak();
    for (auto _ : state) {
        korp::TKorpMsg msg;
        msg.RawMail.SetText(message);
        try {
            msg.ParseRawMail();
        } catch (const korp::EKorpDecodeError&) {
            state.SkipWithError("unexpected decode error");
        }
        benchmark::DoNotOptimize(msg.Text.Count());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * message.size()));
    state.counters["MB"] = static_cast<double>(message.size()) / 1e6;
    state.counters["peak_heap_MB"] = static_cast<double>(brevon_bench::HeapPeak() - before) / 1e6;
}

void BM_AttachmentHeavy(benchmark::State& state) {
    const std::string m = AttachmentMessage(static_cast<std::size_t>(state.range(0)));
    Parse(state, m);
}
BENCHMARK(BM_AttachmentHeavy)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_Alternative(benchmark::State& state) {
    const std::string m = AlternativeMessage(static_cast<std::size_t>(state.range(0)));
    Parse(state, m);
}
BENCHMARK(BM_Alternative)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_ManyParts(benchmark::State& state) {
    const std::string m = ManyPartsMessage(static_cast<std::size_t>(state.range(0)));
    Parse(state, m);
}
BENCHMARK(BM_ManyParts)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond);

void BM_DeepMultipart(benchmark::State& state) {
    Parse(state, DeepMultipartMessage(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_DeepMultipart)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_DeepEnclosed(benchmark::State& state) {
    Parse(state, DeepEnclosedMessage(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_DeepEnclosed)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_RefoundFoldedHeader(benchmark::State& state) {
    Parse(state, RefoundFoldedHeaderMessage(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_RefoundFoldedHeader)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);

void BM_ManyUuBlocks(benchmark::State& state) {
    Parse(state, ManyUuBlocksMessage(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_ManyUuBlocks)->Arg(5000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_ManyEncodedWords(benchmark::State& state) {
    Parse(state, ManyEncodedWordsMessage(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_ManyEncodedWords)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);

void BM_Plain(benchmark::State& state) {
    Parse(state, PlainMessage(static_cast<std::size_t>(state.range(0)) * 1'000'000));
}
BENCHMARK(BM_Plain)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);

// ---- GMime 3 on the same messages ----

void GMimeHeaders(GMimeObject* object, std::size_t& bytes) {
    GMimeHeaderList* headers = g_mime_object_get_header_list(object);
    const int count = g_mime_header_list_get_count(headers);
    for (int i = 0; i < count; ++i) {
        // The value unfolded and its encoded words decoded.
        const char* value = g_mime_header_get_value(g_mime_header_list_get_header_at(headers, i));
        if (value != nullptr) bytes += std::strlen(value);
    }
}

// Every header decoded; every leaf transfer-decoded, a text leaf converted to Windows-1252.
void GMimeLeaf(GMimeObject*, GMimeObject* object, gpointer data) {
    auto& bytes = *static_cast<std::size_t*>(data);
    GMimeHeaders(object, bytes);
    if (!GMIME_IS_PART(object)) return;
    GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(object));
    if (content == nullptr) return;
    GMimeStream* out = g_mime_stream_mem_new();
    GMimeStream* sink = out;
    GMimeContentType* type = g_mime_object_get_content_type(object);
    if (type != nullptr && g_mime_content_type_is_type(type, "text", "*")) {
        const char* charset = g_mime_object_get_content_type_parameter(object, "charset");
        sink = g_mime_stream_filter_new(out);
        GMimeFilter* convert =
            g_mime_filter_charset_new(charset != nullptr ? charset : "us-ascii", "windows-1252");
        if (convert != nullptr) {
            g_mime_stream_filter_add(GMIME_STREAM_FILTER(sink), convert);
            g_object_unref(convert);
        }
    }
    g_mime_data_wrapper_write_to_stream(content, sink);
    g_mime_stream_flush(sink);
    bytes += g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out))->len;
    if (sink != out) g_object_unref(sink);
    g_object_unref(out);
}

void GMimeParse(benchmark::State& state, const std::string& message) {
    static const bool ready = [] {
        g_mime_init();
        return true;
    }();
    (void)ready;
    std::size_t decoded = 0; // headers and leaves, the last time: proof the work was done
    for (auto _ : state) {
        GMimeStream* stream = g_mime_stream_mem_new_with_buffer(message.data(), message.size());
        GMimeParser* parser = g_mime_parser_new_with_stream(stream);
        GMimeMessage* msg = g_mime_parser_construct_message(parser, nullptr);
        std::size_t bytes = 0;
        if (msg == nullptr) {
            state.SkipWithError("GMime could not parse the message");
        } else {
            GMimeHeaders(GMIME_OBJECT(msg), bytes);
            g_mime_message_foreach(msg, GMimeLeaf, &bytes);
            g_object_unref(msg);
        }
        g_object_unref(parser);
        g_object_unref(stream);
        decoded = bytes;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * message.size()));
    state.counters["MB"] = static_cast<double>(message.size()) / 1e6;
    state.counters["decoded_MB"] = static_cast<double>(decoded) / 1e6;
}

void BM_GMimeAttachmentHeavy(benchmark::State& state) {
    GMimeParse(state, AttachmentMessage(static_cast<std::size_t>(state.range(0))));
}
BENCHMARK(BM_GMimeAttachmentHeavy)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_GMimeManyParts(benchmark::State& state) {
    GMimeParse(state, ManyPartsMessage(static_cast<std::size_t>(state.range(0))));
}
BENCHMARK(BM_GMimeManyParts)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond);

void BM_GMimePlain(benchmark::State& state) {
    GMimeParse(state, PlainMessage(static_cast<std::size_t>(state.range(0)) * 1'000'000));
}
BENCHMARK(BM_GMimePlain)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);

// A spooled message of one line of many megabytes, loaded back into lines as the POP3 client
// does after a retrieve.
void BM_LongLineLoad(benchmark::State& state) {
    const std::string line(static_cast<std::size_t>(state.range(0)) << 20, 'x');
    korp::TMemoryStream spool;
    spool.WriteBuffer(line);
    for (auto _ : state) {
        spool.SetPosition(0);
        korp::TStringList lines;
        lines.LoadFromStream(spool);
        benchmark::DoNotOptimize(lines.Count());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * line.size()));
}
BENCHMARK(BM_LongLineLoad)->Arg(8)->Arg(32)->Unit(benchmark::kMillisecond);

} // namespace

BREVON_BENCHMARK_MAIN()
