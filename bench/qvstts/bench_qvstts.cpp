// Speech engine speed: time to first audio for a 1,000-character text (the listener's wait
// after pressing play) and the real-time factor of synthesis.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include <benchmark/benchmark.h>

#include "BenchMain.h"

#include <qvstts/AudioSink.h>
#include <qvstts/Engine.h>
#include <qvstts/SpeechText.h>
#include <qvstts/Synth.h>
#include <qvstts/Voices.h>

namespace {

using Clock = std::chrono::steady_clock;

// A 1,000-character Dutch mail body, Windows-1252, with line ends and a stress mark.
std::string thousandCharacters() {
    const std::string para =
        "Beste Jan,\r\nDank je wel voor je bericht van gisteren. De vergadering is verplaatst naar "
        "donderdag om half drie, in de grote zaal op de eerste verdieping. Wil je de stukken "
        "\\+vooraf even lezen? Caf\xE9 De Hoek verzorgt de lunch; de kosten zijn \x80 12,50 per "
        "persoon.\r\n";
    std::string text;
    while (text.size() < 1000)
        text += para;
    text.resize(1000);
    return text;
}

// Notes when the first audible sample arrives (espeak-ng starts with a little silence), then
// consumes the rest at once.
class FirstAudioSink : public qvstts::AudioSink {
public:
    Clock::time_point write(const int16_t* samples, size_t count) override {
        std::lock_guard lock(mutex_);
        if (!heard_) {
            for (size_t i = 0; i < count && !heard_; ++i)
                heard_ = samples[i] > 300 || samples[i] < -300;
            if (heard_) {
                at_ = Clock::now();
                changed_.notify_all();
            }
        }
        return Clock::now();
    }
    void reset() {
        std::lock_guard lock(mutex_);
        heard_ = false;
    }
    Clock::time_point waitFirst() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return heard_; });
        return at_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool heard_ = false;
    Clock::time_point at_;
};

void BM_TimeToFirstAudio(benchmark::State& state) {
    qvstts::Synth* synth = qvstts::Synth::instance();
    if (!synth) {
        state.SkipWithError("espeak-ng not available");
        return;
    }
    auto owned = std::make_unique<FirstAudioSink>();
    FirstAudioSink* sink = owned.get();
    qvstts::Engine engine(*synth, std::move(owned), nullptr);
    const std::string text = thousandCharacters();
    const qvstts::VoiceParams voice = qvstts::voiceParams(qvstts::defaultLevels());
    for (auto _ : state) {
        sink->reset();
        const auto start = Clock::now();
        // What QVS_Say does on the caller's thread, then the speaking thread's first piece.
        engine.say(nullptr, qvstts::toSsml(text, nullptr), voice);
        const auto first = sink->waitFirst();
        state.SetIterationTime(std::chrono::duration<double>(first - start).count());
        engine.stop();
    }
}
BENCHMARK(BM_TimeToFirstAudio)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

void BM_RealTimeFactor(benchmark::State& state) {
    qvstts::Synth* synth = qvstts::Synth::instance();
    if (!synth) {
        state.SkipWithError("espeak-ng not available");
        return;
    }
    const std::string ssml = qvstts::toSsml(thousandCharacters(), nullptr);
    const qvstts::VoiceParams voice = qvstts::voiceParams(qvstts::defaultLevels());
    double audioSeconds = 0;
    double wallSeconds = 0;
    for (auto _ : state) {
        size_t samples = 0;
        const auto start = Clock::now();
        synth->speak(ssml, voice, [&](const int16_t*, size_t n) {
            samples += n;
            return true;
        });
        wallSeconds += std::chrono::duration<double>(Clock::now() - start).count();
        audioSeconds += static_cast<double>(samples) / synth->sampleRate();
    }
    state.counters["audio_s"] = audioSeconds / static_cast<double>(state.iterations());
    state.counters["x_realtime"] = audioSeconds / wallSeconds;
}
BENCHMARK(BM_RealTimeFactor)->Unit(benchmark::kMillisecond);

} // namespace

BREVON_BENCHMARK_MAIN()
