#pragma once
// Google Benchmark's own main ends with status 0 even when a benchmark stopped with an error
// (SkipWithError): `make bench` would pass over it. Here the errors are counted on top of the
// reporter, and the program fails when there was any.
#include <cstdio>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>

namespace brevon_bench {

template <class Reporter> class CountingErrors : public Reporter {
public:
    using Reporter::Reporter;
    void ReportRuns(const std::vector<benchmark::BenchmarkReporter::Run>& runs) override {
        for (const auto& run : runs)
            if (run.error_occurred) ++errors_;
        Reporter::ReportRuns(runs);
    }
    int Errors() const { return errors_; }

private:
    int errors_ = 0;
};

// The exit status after the runs: 1 when any benchmark failed.
inline int Status(int errors) {
    if (errors == 0) return 0;
    std::fprintf(stderr, "%d benchmark run(s) failed\n", errors);
    return 1;
}

// The console table, as BENCHMARK_MAIN() prints it; 1 when any benchmark failed, 2 for an
// unknown argument.
inline int RunBenchmarks(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    CountingErrors<benchmark::ConsoleReporter> reporter(isatty(STDOUT_FILENO)
                                                            ? benchmark::ConsoleReporter::OO_Color
                                                            : benchmark::ConsoleReporter::OO_None);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return Status(reporter.Errors());
}

} // namespace brevon_bench

#define BREVON_BENCHMARK_MAIN()                                                                    \
    int main(int argc, char** argv) {                                                              \
        return brevon_bench::RunBenchmarks(argc, argv);                                            \
    }
