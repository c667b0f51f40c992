// Throughput of the preprocessor engines on mail bodies of realistic size: a long plain reply
// with quotes and numbers, and an HTML newsletter with its plain alternative.
#include <string>

#include <benchmark/benchmark.h>

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

void runChain(benchmark::State& state, const std::string& body) {
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
}

void BM_PlainReply(benchmark::State& state) {
    runChain(state, plainBody(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_PlainReply)->Arg(10)->Arg(300);

void BM_HtmlNewsletter(benchmark::State& state) {
    runChain(state, htmlBody(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_HtmlNewsletter)->Arg(10)->Arg(1000);

} // namespace
