#include <qvstts/Voices.h>

#include <cmath>
#include <set>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include <qvstts/Engine.h>

namespace qvstts {
namespace {

constexpr int kCodes[] = {4, 7, 10, 13, 0, 16, 17};

TEST(Voices, TheSevenCodesAreKnownAndSoundDistinct) {
    std::set<std::tuple<std::string, int, int, double>> seen;
    for (int code : kCodes) {
        EXPECT_TRUE(isKnownVoice(code)) << code;
        const VoiceParams p = voiceParams({code, 5, 5, 5});
        EXPECT_TRUE(p.name.starts_with("nl")) << code;
        seen.insert({p.name, p.pitch, p.range, p.speedUp});
    }
    EXPECT_EQ(seen.size(), std::size(kCodes));
    for (int code : {-1, 1, 5, 18, 1000})
        EXPECT_FALSE(isKnownVoice(code)) << code;
    EXPECT_EQ(voiceParams({4, 5, 5, 5}).name, "nl+m3");
    EXPECT_EQ(voiceParams({0, 5, 5, 5}).range, 0);      // the robot is flat
    EXPECT_GT(voiceParams({16, 5, 5, 5}).speedUp, 1.3); // the mouse goes beyond espeak-ng's pitch
}

TEST(Voices, EveryVoiceKeepsItsCharacterInTheOtherLanguages) {
    for (int code : kCodes) {
        const VoiceParams dutch = voiceParams({code, 3, 7, 2});
        for (const char* language : {"en", "fr", "de", "it", "es"}) {
            VoiceParams other = voiceParams({code, 3, 7, 2, language});
            EXPECT_EQ(other.name, language + dutch.name.substr(2)) << code;
            other.name = dutch.name;
            EXPECT_EQ(other, dutch) << code << " " << language;
        }
        // Anything else is read in Dutch.
        EXPECT_EQ(voiceParams({code, 3, 7, 2, "pt"}), dutch);
    }
    EXPECT_EQ(voiceParams({17, 5, 5, 5, "fr"}).name, "fr+whisper");
    EXPECT_TRUE(isKnownLanguage("es"));
    EXPECT_FALSE(isKnownLanguage(""));
}

TEST(Voices, LevelsRiseMonotonicallyAndAreClamped) {
    for (int l = 1; l <= 10; ++l) {
        const VoiceParams lower = voiceParams({7, l - 1, l - 1, l - 1});
        const VoiceParams higher = voiceParams({7, l, l, l});
        EXPECT_GT(higher.rate, lower.rate) << l;
        EXPECT_GT(higher.pitch, lower.pitch) << l;
        EXPECT_GT(higher.gain, lower.gain) << l;
    }
    EXPECT_EQ(voiceParams({7, -5, -5, -5}), voiceParams({7, 0, 0, 0}));
    EXPECT_EQ(voiceParams({7, 99, 99, 99}), voiceParams({7, 10, 10, 10}));
    const VoiceParams middle = voiceParams({4, 5, 5, 5}); // the man
    EXPECT_DOUBLE_EQ(middle.gain, 1.0);
    EXPECT_NEAR(middle.rate, 170, 10);
    EXPECT_GT(voiceParams({7, 0, 5, 0}).gain, 0.0); // soft, never silent
    for (int code : kCodes) {
        const VoiceParams p = voiceParams({code, 10, 10, 10});
        EXPECT_LE(p.pitch, 100);
        EXPECT_GE(voiceParams({code, 0, 0, 0}).rate, 80);
    }
}

TEST(Voices, DefaultsAreAKnownVoiceAtMiddleLevels) {
    const Levels d = defaultLevels();
    EXPECT_TRUE(isKnownVoice(d.voice));
    EXPECT_EQ(d.tempo, 5);
    EXPECT_EQ(d.pitch, 5);
    EXPECT_EQ(d.volume, 5);
}

TEST(Voices, GainAtTheTopLevelNeverClips) {
    const double gain = voiceParams({4, 5, 5, 10}).gain;
    std::vector<int16_t> samples = {0, 1000, -1000, 16000, -16000, 32767, -32768};
    const std::vector<int16_t> before = samples;
    applyGain(samples, gain);
    for (size_t i = 0; i < samples.size(); ++i) {
        EXPECT_LE(std::abs(static_cast<int>(samples[i])), 32767);
        if (std::abs(before[i]) <= 16000) {
            EXPECT_GE(std::abs(static_cast<int>(samples[i])), std::abs(static_cast<int>(before[i])))
                << "louder, not softer, at " << before[i];
        }
    }
    EXPECT_LT(samples[5], 32767); // bent under full scale
    EXPECT_GT(samples[3], samples[1]);
}

TEST(Voices, SpeedUpShortensAudioByItsRatio) {
    std::vector<int16_t> in(22050);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<int16_t>(8000 * std::sin(static_cast<double>(i) * 0.05));
    SpeedUp speedUp(1.6);
    std::vector<int16_t> out;
    // In uneven pieces, as espeak-ng delivers them.
    for (size_t at = 0; at < in.size(); at += 441 + at % 7)
        speedUp.process(in.data() + at, std::min<size_t>(441 + at % 7, in.size() - at), out);
    EXPECT_NEAR(static_cast<double>(out.size()), in.size() / 1.6, 2.0);
    // Interpolated, not garbled: the output is the input read faster.
    for (size_t k = 0; k < out.size(); k += 997)
        EXPECT_NEAR(out[k], 8000 * std::sin(static_cast<double>(k) * 1.6 * 0.05), 200) << k;
}

} // namespace
} // namespace qvstts
