#include <qvstts/AudioSink.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

namespace qvstts {
namespace {

namespace fs = std::filesystem;

TEST(AudioSink, SettingsNameTheSinkOrGiveAReason) {
    const fs::path wav =
        fs::temp_directory_path() / ("qvstts-setting-" + std::to_string(getpid()) + ".wav");
    struct Case {
        std::string setting;
        bool ok;
    };
    const Case cases[] = {
        {"null", true},
        {"null:20", true},
        {"null:0.5", true},
        {"null:0", false},
        {"null:-3", false},
        {"null:abc", false},
        {"null:", false},
        {"wav:", false},
        {"wav:/nonexistent/dir/x.wav", false},
        {"wav:" + wav.string(), true},
        {"speaker", false},
    };
    for (const auto& c : cases) {
        std::string error;
        auto sink = makeSink(c.setting, 22050, &error);
        EXPECT_EQ(sink != nullptr, c.ok) << c.setting;
        if (!c.ok) {
            EXPECT_FALSE(error.empty()) << c.setting;
        }
    }
    fs::remove(wav);
    // Without a sound device (as on a build machine) "device" still gives a working sink.
    std::string error;
    EXPECT_NE(makeSink("device", 22050, &error), nullptr);
    EXPECT_NE(makeSink("", 22050, &error), nullptr);
}

TEST(AudioSink, NullSinkConsumesAudioAtItsPace) {
    using namespace std::chrono;
    NullSink sink(22050, 10.0);
    // A minute of audio, six seconds at ten times the pace: the next write comes well within
    // that even on a loaded machine, so it queues behind it.
    const std::vector<int16_t> minute(22050 * 60);
    // The sink reads the clock inside write: its answer lies between the audio's length after
    // the time before the call and after the time after it, however slow the call was.
    const auto within = [](AudioSink::Clock::time_point due, AudioSink::Clock::time_point before,
                           AudioSink::Clock::time_point after, double seconds) {
        const auto length = duration_cast<AudioSink::Clock::duration>(duration<double>(seconds));
        const auto rounding = microseconds(1);
        return due >= before + length - rounding && due <= after + length + rounding;
    };
    auto before = AudioSink::Clock::now();
    const auto due = sink.write(minute.data(), minute.size());
    EXPECT_TRUE(within(due, before, AudioSink::Clock::now(), 6.0));
    const auto due2 = sink.write(minute.data(), 11025);
    EXPECT_NEAR(duration<double>(due2 - due).count(), 0.05, 0.001); // queued behind the first
    sink.discard();
    before = AudioSink::Clock::now();
    EXPECT_TRUE(within(sink.write(minute.data(), 2205), before, AudioSink::Clock::now(), 0.01));
}

TEST(AudioSink, WavSinkKeepsAValidHeaderAfterEveryText) {
    const fs::path file =
        fs::temp_directory_path() / ("qvstts-sink-" + std::to_string(getpid()) + ".wav");
    std::string error;
    auto sink = WavSink::create(file.string(), 22050, &error);
    ASSERT_NE(sink, nullptr) << error;
    std::vector<int16_t> samples(1000, 0x1234);
    samples[1] = -2;
    sink->write(samples.data(), samples.size());
    sink->finish();
    {
        std::ifstream in(file, std::ios::binary);
        std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
        ASSERT_EQ(bytes.size(), 44u + 2000u);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
        EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
        const auto le32 = [&](size_t at) {
            return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | bytes[at + 3] << 24;
        };
        EXPECT_EQ(le32(4), 36u + 2000u);
        EXPECT_EQ(le32(24), 22050u);
        EXPECT_EQ(le32(40), 2000u);
        EXPECT_EQ(bytes[44], 0x34); // little-endian samples
        EXPECT_EQ(bytes[45], 0x12);
        EXPECT_EQ(bytes[46], 0xFE);
        EXPECT_EQ(bytes[47], 0xFF);
    }
    sink.reset();
    EXPECT_EQ(fs::file_size(file), 44u + 2000u);
    fs::remove(file);
}

} // namespace
} // namespace qvstts
