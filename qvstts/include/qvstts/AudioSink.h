// Where the engine's audio goes: the sound device, nowhere at real-time pace, or a WAV file.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct audio_object; // pcaudiolib

namespace qvstts {

class AudioSink {
public:
    using Clock = std::chrono::steady_clock;

    virtual ~AudioSink() = default;

    // Consumes 16-bit mono samples; returns the moment by which they will have been heard, so
    // the engine can wait for it (and be woken by a pause or a stop meanwhile).
    virtual Clock::time_point write(const int16_t* samples, size_t count) = 0;
    // A text was spoken to the end: play out what is buffered.
    virtual void finish() {}
    // A text was cut off: drop what is buffered.
    virtual void discard() {}
};

// Consumes audio at factor times real time, the way a sound card would.
class NullSink : public AudioSink {
public:
    NullSink(int rate, double factor) : rate_(rate), factor_(factor) {}
    Clock::time_point write(const int16_t* samples, size_t count) override;
    void discard() override { due_ = Clock::time_point{}; }

private:
    int rate_;
    double factor_;
    Clock::time_point due_{};
};

// Writes everything said in the session into one WAV file, whose header is brought up to date
// after every text so the file is always complete.
class WavSink : public AudioSink {
public:
    ~WavSink() override;
    static std::unique_ptr<WavSink> create(const std::string& path, int rate, std::string* error);
    Clock::time_point write(const int16_t* samples, size_t count) override;
    void finish() override { updateHeader(); }
    void discard() override { updateHeader(); }

private:
    WavSink() = default;
    void updateHeader();

    std::FILE* file_ = nullptr;
    int rate_ = 0;
    uint32_t dataBytes_ = 0;
};

// The platform's sound output through pcaudiolib (PulseAudio, ALSA, ...).
class DeviceSink : public AudioSink {
public:
    ~DeviceSink() override;
    static std::unique_ptr<DeviceSink> create(int rate, std::string* error);
    Clock::time_point write(const int16_t* samples, size_t count) override;
    void finish() override;
    void discard() override;

private:
    explicit DeviceSink(int rate) : pacer_(rate, 1.0) {}
    ::audio_object* audio_ = nullptr;
    NullSink pacer_; // the listener's clock
};

// Makes the sink a QVSTTS_SINK value names: "device" (falls back to real-time null when there
// is no sound device), "null", "null:FACTOR", "wav:FILE". An empty setting is "device". Null, with
// the reason in error, for a malformed setting or a WAV file that cannot be written.
std::unique_ptr<AudioSink> makeSink(std::string_view setting, int rate, std::string* error);

} // namespace qvstts
