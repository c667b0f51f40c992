#include <qvstts/Engine.h>

#include <algorithm>
#include <chrono>
#include <cmath>

#include <qvstts/Synth.h>

namespace qvstts {

Engine::Engine(Synth& synth, std::unique_ptr<AudioSink> sink, Notify notify)
    : synth_(synth), sink_(std::move(sink)), notify_(std::move(notify)),
      chunk_(static_cast<size_t>(std::max(1, synth.sampleRate() / 50))) {
    worker_ = std::thread([this] { run(); });
}

Engine::~Engine() {
    close();
}

void Engine::say(void* window, std::string ssml, VoiceParams voice) {
    {
        std::lock_guard lock(mutex_);
        if (quit_) return;
        queue_.push_back(Job{nextSeq_++, window, std::move(ssml), std::move(voice)});
    }
    wake_.notify_all();
}

bool Engine::togglePause() {
    bool now;
    {
        std::lock_guard lock(mutex_);
        if (!speaking_ && queue_.empty()) return paused_ = false;
        now = paused_ = !paused_;
    }
    wake_.notify_all();
    return now;
}

void Engine::stop() {
    std::unique_lock lock(mutex_);
    const uint64_t target = nextSeq_ - 1;
    stopSeq_ = std::max(stopSeq_, target);
    paused_ = false;
    wake_.notify_all();
    // The notices of the cut-off texts go out before this returns, so they always precede
    // the notice of a text said right after the stop.
    wake_.wait_for(lock, std::chrono::seconds(2), [&] { return doneSeq_ >= target; });
}

void Engine::close() {
    {
        std::lock_guard lock(mutex_);
        if (quit_ && !worker_.joinable()) return;
        quit_ = true;
    }
    stop();
    if (worker_.joinable()) worker_.join();
}

bool Engine::paused() const {
    std::lock_guard lock(mutex_);
    return paused_;
}

bool Engine::busy() const {
    std::lock_guard lock(mutex_);
    return speaking_ || !queue_.empty();
}

void Engine::run() {
    for (;;) {
        Job job;
        bool skip;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return quit_ || !queue_.empty(); });
            if (queue_.empty()) break; // quitting and nothing left to report
            job = std::move(queue_.front());
            queue_.pop_front();
            skip = cancelled(job.seq);
            speaking_ = true;
        }
        if (!skip) speakJob(job);
        if (job.window && notify_) notify_(job.window);
        {
            std::lock_guard lock(mutex_);
            doneSeq_ = job.seq;
            speaking_ = false;
            if (queue_.empty()) paused_ = false;
        }
        wake_.notify_all();
    }
}

void Engine::speakJob(const Job& job) {
    SpeedUp speedUp(job.voice.speedUp);
    std::vector<int16_t> buffer;
    const bool whole = synth_.speak(job.ssml, job.voice, [&](const int16_t* s, size_t n) {
        buffer.clear();
        if (job.voice.speedUp != 1.0)
            speedUp.process(s, n, buffer);
        else
            buffer.assign(s, s + n);
        applyGain(buffer, job.voice.gain);
        return play(job.seq, buffer.data(), buffer.size());
    });
    bool cut;
    {
        std::lock_guard lock(mutex_);
        cut = cancelled(job.seq);
    }
    if (whole && !cut)
        sink_->finish();
    else
        sink_->discard();
}

bool Engine::play(uint64_t seq, const int16_t* samples, size_t count) {
    size_t done = 0;
    while (done < count) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return !paused_ || cancelled(seq); });
            if (cancelled(seq)) return false;
        }
        const size_t n = std::min(chunk_, count - done);
        const auto due = sink_->write(samples + done, n);
        done += n;
        std::unique_lock lock(mutex_);
        // Waits until the sink has consumed the piece; a pause or stop wakes it early. After a
        // pause the remaining wait is dropped: the null sink restarts its clock from now.
        wake_.wait_until(lock, due, [&] { return paused_ || cancelled(seq); });
        // Hold here too, so a pause during the very last piece still holds back the end.
        wake_.wait(lock, [&] { return !paused_ || cancelled(seq); });
        if (cancelled(seq)) return false;
    }
    return true;
}

void SpeedUp::process(const int16_t* in, size_t count, std::vector<int16_t>& out) {
    if (count == 0) return;
    auto at = [&](size_t i) -> double { return i == 0 ? previous_ : in[i - 1]; };
    while (pos_ < static_cast<double>(count)) {
        const auto i = static_cast<size_t>(pos_);
        const double frac = pos_ - static_cast<double>(i);
        out.push_back(static_cast<int16_t>(std::lround(at(i) + (at(i + 1) - at(i)) * frac)));
        pos_ += ratio_;
    }
    pos_ -= static_cast<double>(count);
    previous_ = in[count - 1];
}

void applyGain(std::vector<int16_t>& samples, double gain) {
    if (gain == 1.0) return;
    constexpr double knee = 0.6;
    for (int16_t& s : samples) {
        double x = s / 32768.0 * gain;
        const double a = std::fabs(x);
        if (a > knee)
            x = std::copysign(knee + (1.0 - knee) * std::tanh((a - knee) / (1.0 - knee)), x);
        s = static_cast<int16_t>(std::lround(std::clamp(x * 32767.0, -32767.0, 32767.0)));
    }
}

} // namespace qvstts
