// Parse throughput of TKorpMsg on generated messages: the raw text is split into RawMail lines
// (as the POP3 client loads its spool file) and parsed; bytes/second counts the raw message.
// Each shape runs at two sizes, so a slower-than-linear path shows as falling throughput, and
// peak_heap_MB is the most heap one parse held on top of the message text.
//
// Besides ordinary mail there are hostile shapes: nesting 10,000 levels deep, header searches
// that could run on to the end of the message at every level, one folded header found again by
// every enclosed level, many uuencoded blocks and many encoded words.

#include <cstdint>
#include <string>

#include <benchmark/benchmark.h>

#include "BenchMain.h"
#include "HeapPeak.h"

#include <korp/KorpErrors.h>
#include <korp/KorpMsg.h>

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
