// Throughput of the preprocessor engines on mail bodies of realistic size: a long plain reply
// with quotes and numbers, an HTML newsletter with its plain alternative, and a thread of
// forwards and replies with signatures, disclaimers and a newsletter footer. Then hostile
// bodies, each at two sizes or more so that a slower-than-linear path shows as falling
// throughput: megabytes of "<a" that no ">" closes, a plain text followed by many HTML parts
// that repeat it, blockquotes nested thousands deep, tags nested without end (hidden ones too),
// a closing on every line, brackets and entities without their ends, chains of numbers for the
// number reader. peak_heap_MB is the most heap one run held on top of the body.
#include <string>

#include <benchmark/benchmark.h>

#include "BenchMain.h"
#include "HeapPeak.h"

#include "zq/zq.h"

namespace {

std::string plainBody(int paragraphs) {
    std::string body = "Beste Jan,\r\n\r\n";
    for (int i = 0; i < paragraphs; ++i)
        body += "De vergadering van 14-03-2000 om 14:30 kost \x80 12,50 per persoon, dat is\r\n"
                "25% minder dan vorig jaar. Bel 06-12345678 of kijk op www.example.nl voor\r\n"
                "de 2e ronde van 1.250.000 deelnemers.\r\n\r\n";
    body += "Groeten,\r\nPiet\r\n-- \r\nPiet\r\n\r\nOp 1 mei schreef Jan <jan@example.nl>:\r\n";
    for (int i = 0; i < paragraphs; ++i)
        body += "> Een oude regel van het vorige bericht.\r\n";
    return body;
}

std::string htmlBody(int paragraphs) {
    std::string plain = "Nieuwsbrief\r\n", html = "<html><head><style>p{}</style></head><body>";
    for (int i = 0; i < paragraphs; ++i) {
        plain += "Nieuws over de tuin en het weer van deze week.\r\n";
        html += "<p>Nieuws over de <b>tuin</b> en het weer van deze&nbsp;week.</p>\r\n";
    }
    return plain + html + "</body></html>\r\n";
}

// An HTML body of "<a" over and over, no ">" anywhere.
std::string unclosedTags(std::size_t bytes) {
    std::string body = "<html><body>\r\n";
    while (body.size() < bytes)
        body += "<a";
    return body;
}

// Half the body plain text, then HTML parts of one line each that add no words to it, as a
// multipart/alternative repeated over and over would give.
std::string repeatedAlternatives(std::size_t bytes) {
    std::string body;
    for (int i = 0; body.size() < bytes / 2; ++i)
        body += "Woord" + std::to_string(i) + " en nog wat tekst op deze regel.\r\n";
    while (body.size() < bytes)
        body += "<p></html>\r\n";
    return body;
}

// Blockquotes opened one inside the other, a word in each, never closed.
std::string nestedQuotes(int levels) {
    std::string body = "<html><body>";
    for (int i = 0; i < levels; ++i)
        body += "<blockquote>a";
    return body;
}

// A thread passed on and answered over and over: each message has a closing, a contact block, a
// disclaimer and Outlook's header block above the one before; the last is a newsletter footer.
std::string wrappedThread(int messages) {
    std::string body;
    for (int i = 0; i < messages; ++i) {
        body += i % 3 == 0 ? "Ter info.\r\n\r\n" : "Akkoord, zo doen we het.\r\n\r\n";
        body +=
            "Het overleg van 14-03-2000 om 14:30 gaat door in zaal 3. Neem de stukken mee.\r\n"
            "\r\nMet vriendelijke groet,\r\n\r\nJan Jansen\r\nProjectleider\r\n"
            "Bouwbedrijf Voorbeeld BV\r\nDorpsstraat 12\r\n1234 AB Ergenshuizen\r\n"
            "T: +31 (0)20 123 4567\r\nE: jan@voorbeeld.nl | W: www.voorbeeld.nl\r\n\r\n"
            "Dit e-mailbericht is uitsluitend bestemd voor de geadresseerde. Aan dit bericht\r\n"
            "kunnen geen rechten worden ontleend.\r\n\r\n"
            "________________________________\r\nVan: Piet <piet@example.nl>\r\n"
            "Verzonden: maandag 4 maart 2024 16:02\r\nAan: Jan <jan@voorbeeld.nl>\r\n"
            "Onderwerp: RE: Overleg\r\n\r\n";
    }
    body += "Je ontvangt deze e-mail omdat je je hebt aangemeld.\r\n"
            "Afmelden <https://x.example.nl/u?id=1> | Voorkeuren wijzigen\r\n"
            "Facebook | Instagram | LinkedIn\r\n";
    return body;
}

// Tags opened one inside the other and never closed; hidden ones keep an end searched for.
std::string nestedTags(std::size_t bytes, bool hidden) {
    std::string body = "<html><body>\r\n";
    const std::string piece =
        hidden ? "<div style=\"display:none\">a<span hidden>b" : "<div><span><b>a<i>b<td>";
    while (body.size() < bytes)
        body += piece;
    return body;
}

// Hostile plain text: a closing on every line, '[' that no ']' ends, entities without ';'.
std::string hostileLines(std::size_t bytes, int kind) {
    std::string body;
    const char* piece = kind == 0   ? "Groet,\r\nJan\r\nT: 020 123 4567\r\n"
                        : kind == 1 ? "[image: [cid:[ [Logo "
                                    : "<p>&amp&nbsp&eacute&#233&#x1F600&rarr;&unknownentity";
    if (kind == 2) body = "<html><body>";
    while (body.size() < bytes)
        body += piece;
    return body;
}

// Hostile text for the number reader alone (the cleaning would drop much of it first): chains
// of numbers and letters joined by hyphens, one long run of digits and letters, sizes without
// end, a code word before endless groups.
std::string numberChains(std::size_t bytes, int kind) {
    static const char* const pieces[] = {"1-1-",        "a-a-",
                                         "1x1x",        "1 x 1 x ",
                                         "code 12 AB ", "op 2-5 NL12 RABO 3/4 van #1 Karel XIV "};
    std::string body;
    while (body.size() < bytes)
        body += pieces[kind];
    return body;
}

void runNumbers(benchmark::State& state, const std::string& body) {
    ZQ_NumberSolver_Start(ZQ_DATA_DIR);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ZQ_NumberSolver_RetrieveBufferLen(body.c_str()));
        ZQ_NumberSolver_Clear();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(body.size()));
}

void runChain(benchmark::State& state, const std::string& body) {
    const std::size_t before = brevon_bench::StartHeapPeak();
    ZQ_Schoonmaken_Start(ZQ_DATA_DIR);
    ZQ_AlineaHerstellen_Start(ZQ_DATA_DIR);
    ZQ_NumberSolver_Start(ZQ_DATA_DIR);
    for (auto _ : state) {
        std::string text = body;
        if (ZQ_Schoonmaken_RetrieveBufferLen(text.c_str(), -1) > 0)
            text = ZQ_Schoonmaken_RetrieveText();
        ZQ_Schoonmaken_Clear();
        if (ZQ_AlineaHerstellen_RetrieveBufferLen(text.c_str()) >= 0)
            text = ZQ_AlineaHerstellen_RetrieveText();
        if (ZQ_NumberSolver_RetrieveBufferLen(text.c_str()) >= 0)
            text = ZQ_NumberSolver_RetrieveText();
        ZQ_NumberSolver_Clear();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(body.size()));
    state.counters["peak_heap_MB"] = static_cast<double>(brevon_bench::HeapPeak() - before) / 1e6;
}

void BM_PlainReply(benchmark::State& state) {
    runChain(state, plainBody(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_PlainReply)->Arg(10)->Arg(300);

void BM_HtmlNewsletter(benchmark::State& state) {
    runChain(state, htmlBody(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_HtmlNewsletter)->Arg(10)->Arg(1000);

void BM_UnclosedTags(benchmark::State& state) {
    runChain(state, unclosedTags(static_cast<std::size_t>(state.range(0)) << 10));
}
BENCHMARK(BM_UnclosedTags)
    ->Arg(256)
    ->Arg(1024)
    ->Arg(4096)
    ->Arg(10240)
    ->Unit(benchmark::kMillisecond);

void BM_RepeatedAlternatives(benchmark::State& state) {
    runChain(state, repeatedAlternatives(static_cast<std::size_t>(state.range(0)) << 10));
}
BENCHMARK(BM_RepeatedAlternatives)->Arg(128)->Arg(256)->Unit(benchmark::kMillisecond);

void BM_NestedQuotes(benchmark::State& state) {
    runChain(state, nestedQuotes(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_NestedQuotes)->Arg(5000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_WrappedThread(benchmark::State& state) {
    runChain(state, wrappedThread(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_WrappedThread)->Arg(10)->Arg(300);

void BM_NestedTags(benchmark::State& state) {
    runChain(state, nestedTags(static_cast<std::size_t>(state.range(0)) << 10, false));
}
BENCHMARK(BM_NestedTags)->Arg(2560)->Arg(10240)->Unit(benchmark::kMillisecond);

void BM_NestedHiddenTags(benchmark::State& state) {
    runChain(state, nestedTags(static_cast<std::size_t>(state.range(0)) << 10, true));
}
BENCHMARK(BM_NestedHiddenTags)->Arg(2560)->Arg(10240)->Unit(benchmark::kMillisecond);

void BM_ClosingOnEveryLine(benchmark::State& state) {
    runChain(state, hostileLines(static_cast<std::size_t>(state.range(0)) << 10, 0));
}
BENCHMARK(BM_ClosingOnEveryLine)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond);

void BM_UnendedBrackets(benchmark::State& state) {
    runChain(state, hostileLines(static_cast<std::size_t>(state.range(0)) << 10, 1));
}
BENCHMARK(BM_UnendedBrackets)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond);

void BM_EntitiesWithoutEnd(benchmark::State& state) {
    runChain(state, hostileLines(static_cast<std::size_t>(state.range(0)) << 10, 2));
}
BENCHMARK(BM_EntitiesWithoutEnd)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond);

void BM_NumberChains(benchmark::State& state) {
    runNumbers(state, numberChains(static_cast<std::size_t>(state.range(1)) << 10,
                                   static_cast<int>(state.range(0))));
}
BENCHMARK(BM_NumberChains)
    ->ArgsProduct({{0, 1, 2, 3, 4, 5}, {64, 256}})
    ->Unit(benchmark::kMillisecond);

} // namespace

BREVON_BENCHMARK_MAIN()
