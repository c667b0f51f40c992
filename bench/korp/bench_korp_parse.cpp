// Parse throughput of TKorpMsg on generated messages: the raw text is split into RawMail lines
// (as the POP3 client loads its spool file) and parsed; bytes/second counts the raw message.
// Each shape runs at two sizes, so a slower-than-linear path shows as falling throughput.

#include <cstdint>
#include <string>

#include <benchmark/benchmark.h>

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

void Parse(benchmark::State& state, const std::string& message) {
    for (auto _ : state) {
        korp::TKorpMsg msg;
        msg.RawMail.SetText(message);
        msg.ParseRawMail();
        benchmark::DoNotOptimize(msg.Text.Count());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * message.size()));
    state.counters["MB"] = static_cast<double>(message.size()) / 1e6;
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

} // namespace

BENCHMARK_MAIN();
