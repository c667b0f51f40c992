// The speaking thread: a queue of texts, spoken one after another through one audio sink,
// with pause, stop and one end-of-speech notice per text.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <qvstts/AudioSink.h>
#include <qvstts/Voices.h>

namespace qvstts {

class Synth;

class Engine {
public:
    // Told the window of each text whose speech output has closed; runs on the speaking thread,
    // in the order the texts were given.
    using Notify = std::function<void(void* window)>;

    Engine(Synth& synth, std::unique_ptr<AudioSink> sink, Notify notify);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Queues SSML behind what is still being spoken.
    void say(void* window, std::string ssml, VoiceParams voice);
    // Pauses or resumes; does nothing while there is nothing to speak. Returns the new state.
    bool togglePause();
    // Cuts off the current text and drops queued ones; returns once their notices are out
    // (or after a safety timeout).
    void stop();
    // Stops and ends the speaking thread.
    void close();

    bool paused() const;
    // True while a text is queued or being spoken.
    bool busy() const;

private:
    struct Job {
        uint64_t seq;
        void* window;
        std::string ssml;
        VoiceParams voice;
    };

    void run();
    void speakJob(const Job& job);
    // Sends PCM on, 20 ms at a time, honouring pause and stop. False once the job is cut off.
    bool play(uint64_t seq, const int16_t* samples, size_t count);
    bool cancelled(uint64_t seq) const { return seq <= stopSeq_; } // with mutex_ held

    Synth& synth_;
    std::unique_ptr<AudioSink> sink_;
    Notify notify_;
    size_t chunk_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> queue_;
    uint64_t nextSeq_ = 1;
    uint64_t stopSeq_ = 0; // jobs up to here are cut off or dropped
    uint64_t doneSeq_ = 0; // jobs up to here have had their notice
    bool speaking_ = false;
    bool paused_ = false;
    bool quit_ = false;
    std::thread worker_;
};

// Playback speed-up by linear interpolation, carried across buffers.
class SpeedUp {
public:
    explicit SpeedUp(double ratio) : ratio_(ratio) {}
    void process(const int16_t* in, size_t count, std::vector<int16_t>& out);

private:
    double ratio_;
    double pos_ = 1.0; // position in [previous sample, in[0], in[1], ...]
    int16_t previous_ = 0;
};

// Multiplies by gain and bends peaks softly under full scale instead of clipping them.
void applyGain(std::vector<int16_t>& samples, double gain);

} // namespace qvstts
