#include <qvstts/AudioSink.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <pcaudiolib/audio.h>

namespace qvstts {
namespace {

void putLe(uint8_t* at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

} // namespace

AudioSink::Clock::time_point NullSink::write(const int16_t*, size_t count) {
    const auto now = Clock::now();
    // After a pause or between texts the deadline lies in the past: start afresh from now.
    if (due_ < now) due_ = now;
    const double seconds = static_cast<double>(count) / (rate_ * factor_);
    due_ += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    return due_;
}

std::unique_ptr<WavSink> WavSink::create(const std::string& path, int rate, std::string* error) {
    std::unique_ptr<WavSink> sink(new WavSink);
    sink->file_ = std::fopen(path.c_str(), "wb");
    if (!sink->file_) {
        if (error) *error = "cannot write " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    sink->rate_ = rate;
    sink->updateHeader();
    return sink;
}

WavSink::~WavSink() {
    if (file_) {
        updateHeader();
        std::fclose(file_);
    }
}

AudioSink::Clock::time_point WavSink::write(const int16_t* samples, size_t count) {
    // WAV data is little-endian.
    std::array<uint8_t, 2048> buf;
    size_t done = 0;
    while (done < count) {
        const size_t n = std::min(count - done, buf.size() / 2);
        for (size_t i = 0; i < n; ++i)
            putLe(&buf[2 * i], static_cast<uint16_t>(samples[done + i]), 2);
        if (dataBytes_ + 2 * n < dataBytes_ || dataBytes_ + 2 * n > 0xFFFFFFF0u) break; // 4 GB cap
        if (std::fwrite(buf.data(), 2, n, file_) != n) break;
        dataBytes_ += static_cast<uint32_t>(2 * n);
        done += n;
    }
    return Clock::now();
}

void WavSink::updateHeader() {
    if (!file_) return;
    std::array<uint8_t, 44> h{};
    std::memcpy(&h[0], "RIFF", 4);
    putLe(&h[4], 36 + dataBytes_, 4);
    std::memcpy(&h[8], "WAVEfmt ", 8);
    putLe(&h[16], 16, 4);
    putLe(&h[20], 1, 2); // PCM
    putLe(&h[22], 1, 2); // mono
    putLe(&h[24], static_cast<uint32_t>(rate_), 4);
    putLe(&h[28], static_cast<uint32_t>(rate_) * 2, 4);
    putLe(&h[32], 2, 2);
    putLe(&h[34], 16, 2);
    std::memcpy(&h[36], "data", 4);
    putLe(&h[40], dataBytes_, 4);
    std::fseek(file_, 0, SEEK_SET);
    std::fwrite(h.data(), 1, h.size(), file_);
    std::fseek(file_, 0, SEEK_END);
    std::fflush(file_);
}

std::unique_ptr<DeviceSink> DeviceSink::create(int rate, std::string* error) {
#if defined(__linux__)
    // Without a sound server or a sound card, pcaudiolib's ALSA attempt only floods stderr.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const bool server =
        std::getenv("PULSE_SERVER") ||
        (runtime && std::filesystem::exists(std::filesystem::path(runtime) / "pulse" / "native"));
    std::error_code ec;
    if (!server && !std::filesystem::exists("/dev/snd", ec)) {
        if (error) *error = "no sound server and no sound card";
        return nullptr;
    }
#endif
    audio_object* audio = create_audio_device_object(nullptr, "Tolvani", "Tolvani spraak");
    if (!audio) {
        if (error) *error = "no audio output available";
        return nullptr;
    }
    const int rc =
        audio_object_open(audio, AUDIO_OBJECT_FORMAT_S16LE, static_cast<uint32_t>(rate), 1);
    if (rc != 0) {
        if (error) *error = std::string("no sound device: ") + audio_object_strerror(audio, rc);
        audio_object_destroy(audio);
        return nullptr;
    }
    std::unique_ptr<DeviceSink> sink(new DeviceSink(rate));
    sink->audio_ = audio;
    return sink;
}

DeviceSink::~DeviceSink() {
    if (audio_) {
        audio_object_flush(audio_);
        audio_object_close(audio_);
        audio_object_destroy(audio_);
    }
}

AudioSink::Clock::time_point DeviceSink::write(const int16_t* samples, size_t count) {
    const auto due = pacer_.write(samples, count);
    // A failing device (unplugged, server gone) still keeps real-time pace.
    if (audio_object_write(audio_, samples, count * sizeof(int16_t)) != 0) return due;
    // Stay only a little ahead of the listener: a sound server may buffer seconds, and what
    // it holds would play on after a pause.
    return due - std::chrono::milliseconds(150);
}

void DeviceSink::finish() {
    audio_object_drain(audio_);
    pacer_.discard();
}

void DeviceSink::discard() {
    audio_object_flush(audio_);
    pacer_.discard();
}

std::unique_ptr<AudioSink> makeSink(std::string_view setting, int rate, std::string* error) {
    if (setting.empty() || setting == "device") {
        std::string why;
        if (auto device = DeviceSink::create(rate, &why)) return device;
        std::fprintf(stderr, "qvstts: %s; speech goes to the null sink\n", why.c_str());
        return std::make_unique<NullSink>(rate, 1.0);
    }
    if (setting == "null") return std::make_unique<NullSink>(rate, 1.0);
    if (setting.starts_with("null:")) {
        const std::string_view number = setting.substr(5);
        double factor = 0;
        const auto [end, ec] =
            std::from_chars(number.data(), number.data() + number.size(), factor);
        if (ec != std::errc{} || end != number.data() + number.size() || !(factor > 0) ||
            factor > 1e6) {
            if (error) *error = "bad QVSTTS_SINK factor: " + std::string(number);
            return nullptr;
        }
        return std::make_unique<NullSink>(rate, factor);
    }
    if (setting.starts_with("wav:") && setting.size() > 4)
        return WavSink::create(std::string(setting.substr(4)), rate, error);
    if (error) *error = "bad QVSTTS_SINK: " + std::string(setting);
    return nullptr;
}

} // namespace qvstts
