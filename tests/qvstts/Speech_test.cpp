// The engine through its exports, as brevon uses it: real espeak-ng speech into the null sink
// (paced like a sound card) or a WAV file.
#include <qvstts/qvstts.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <stdlib.h>
#include "TempDir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Stands in for the host's event loop: records every posted message.
class Recorder {
public:
    struct Notice {
        void* window;
        uint32_t message;
        std::thread::id thread;
    };

    static void QVS_CALL post(void* context, QVS_WINDOW window, uint32_t message) {
        auto* self = static_cast<Recorder*>(context);
        std::lock_guard lock(self->mutex_);
        self->notices_.push_back({window, message, std::this_thread::get_id()});
        self->changed_.notify_all();
    }

    bool waitFor(size_t count, std::chrono::milliseconds timeout = 10s) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return notices_.size() >= count; });
    }

    std::vector<Notice> notices() {
        std::lock_guard lock(mutex_);
        return notices_;
    }

    size_t count() {
        std::lock_guard lock(mutex_);
        return notices_.size();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Notice> notices_;
};

// Distinct window handles; the engine only hands them back.
int windowA, windowB, windowC;
void* const kA = &windowA;
void* const kB = &windowB;
void* const kC = &windowC;

const char* const kLongText =
    "Dit is een lange tekst die het programma voorleest, zodat er tijd genoeg is om te pauzeren "
    "en om te stoppen. Er volgen nog een paar zinnen. De zon schijnt en het waait een beetje. "
    "Morgen wordt het weer wat kouder, met af en toe een bui.";

struct Wav {
    int rate = 0;
    std::vector<int16_t> samples;
    double seconds() const { return rate ? static_cast<double>(samples.size()) / rate : 0; }
    double rms() const {
        double sum = 0;
        for (int16_t s : samples)
            sum += static_cast<double>(s) * s;
        return samples.empty() ? 0 : std::sqrt(sum / static_cast<double>(samples.size()));
    }
};

Wav readWav(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), {});
    Wav wav;
    if (b.size() < 44 || std::string(b.begin(), b.begin() + 4) != "RIFF") return wav;
    const auto le32 = [&](size_t at) {
        return static_cast<uint32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24);
    };
    wav.rate = static_cast<int>(le32(24));
    const uint32_t bytes = le32(40);
    EXPECT_EQ(bytes + 44, b.size()) << "header and file size agree";
    for (size_t i = 44; i + 1 < b.size(); i += 2)
        wav.samples.push_back(static_cast<int16_t>(b[i] | b[i + 1] << 8));
    return wav;
}

class Speech : public ::testing::Test {
protected:
    void SetUp() override {
        transcript_ = dir_ / "transcript.txt";
        setenv("QVSTTS_TRANSCRIPT", transcript_.c_str(), 1);
        setenv("XDG_DATA_HOME", dir_.c_str(), 1);
        QVS_SetPostMessageProc(&Recorder::post, &recorder_);
        restart("null:50");
    }

    void TearDown() override {
        QVS_SetLanguage("nl"); // the language outlives the engine, as the voice does
        QVS_Close();
        QVS_SetPostMessageProc(nullptr, nullptr);
        unsetenv("QVSTTS_TRANSCRIPT");
    }

    // The sink is read when the engine is made ready.
    void restart(const std::string& sink) {
        QVS_Close();
        setenv("QVSTTS_SINK", sink.c_str(), 1);
        ASSERT_EQ(QVS_Init(0xA2000), QVS_OK);
    }

    // Speaks text into a fresh WAV file with the given levels and returns it.
    Wav speakToWav(const char* text, int voice = 4, int tempo = 5, int pitch = 5, int volume = 5) {
        const fs::path file = dir_ / ("speech" + std::to_string(++wavCount_) + ".wav");
        restart("wav:" + file.string());
        QVS_SetTempo(tempo);
        QVS_SetPitch(pitch);
        QVS_SetVolume(volume);
        QVS_SetVoice(voice);
        const size_t before = recorder_.count();
        QVS_Say(kA, text);
        EXPECT_TRUE(recorder_.waitFor(before + 1));
        QVS_Close();
        return readWav(file);
    }

    std::vector<std::string> transcriptLines() {
        std::ifstream in(transcript_, std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    Recorder recorder_;
    testsupport::TempDir temp_{"qvstts-speech"};
    const fs::path dir_ = temp_.Path();
    fs::path transcript_;
    int wavCount_ = 0;
};

TEST_F(Speech, FinishedTextEndsExactlyOnceAtItsWindowOffTheCallersThread) {
    QVS_Say(nullptr, "Zonder venster.");
    QVS_Say(kA, "Hallo daar.");
    ASSERT_TRUE(recorder_.waitFor(1));
    std::this_thread::sleep_for(300ms);
    const auto notices = recorder_.notices();
    ASSERT_EQ(notices.size(), 1u) << "a text without a window posts nothing";
    EXPECT_EQ(notices[0].window, kA);
    EXPECT_EQ(notices[0].message, 0x3BCu);
    EXPECT_NE(notices[0].thread, std::this_thread::get_id()) << "QVS_Say returned at once";
}

TEST_F(Speech, StoppedTextEndsExactlyOnceAndAtOnce) {
    restart("null"); // real time: the text would take many seconds
    QVS_Say(kA, kLongText);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(recorder_.count(), 0u);
    // The text lasts well over ten seconds: a stop that waited for it would take that long,
    // whatever the machine's speed.
    const auto start = Clock::now();
    QVS_Stop();
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_EQ(recorder_.count(), 1u) << "the end is posted before QVS_Stop returns";
    QVS_Stop();
    std::this_thread::sleep_for(200ms);
    ASSERT_EQ(recorder_.count(), 1u);
    EXPECT_EQ(recorder_.notices()[0].window, kA);
}

TEST_F(Speech, QueuedTextsEndInOrderAndStopEndsEachOnce) {
    QVS_Say(kA, "Een.");
    QVS_Say(kB, "Twee.");
    QVS_Say(kC, "Drie.");
    ASSERT_TRUE(recorder_.waitFor(3));
    restart("null");
    QVS_Say(kA, kLongText);
    QVS_Say(kB, "Twee.");
    QVS_Say(nullptr, "Drie.");
    QVS_Say(kC, "Vier.");
    std::this_thread::sleep_for(100ms);
    QVS_Stop();
    // The text said right after a stop ends after the stopped ones.
    QVS_Say(kB, "Vijf.");
    restart("null:50");
    ASSERT_TRUE(recorder_.waitFor(7));
    std::this_thread::sleep_for(200ms);
    const auto notices = recorder_.notices();
    ASSERT_EQ(notices.size(), 7u);
    const void* expected[] = {kA, kB, kC, kA, kB, kC, kB};
    for (size_t i = 0; i < 7; ++i)
        EXPECT_EQ(notices[i].window, expected[i]) << i;
}

TEST_F(Speech, PauseHoldsTheSpeechAndPauseAgainResumesIt) {
    restart("null:2"); // the text lasts about a second and a half here
    QVS_Say(kA, "Hallo, dit is een korte zin om te pauzeren.");
    std::this_thread::sleep_for(100ms);
    QVS_Pause();
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(recorder_.count(), 0u) << "paused speech does not run out";
    QVS_Pause();
    EXPECT_TRUE(recorder_.waitFor(1, 5s));

    // Stop lifts a pause, and a pause without speech does nothing.
    QVS_Say(kB, kLongText);
    QVS_Pause();
    QVS_Stop();
    ASSERT_EQ(recorder_.count(), 2u);
    QVS_Pause();
    QVS_Say(kC, "Nog een.");
    EXPECT_TRUE(recorder_.waitFor(3, 5s)) << "the next text is not left paused";
}

TEST_F(Speech, TranscriptHoldsExactlyWhatWasSaid) {
    QVS_Say(nullptr, "Er zijn \\+geen \\-nieuwe berichten");
    QVS_Say(kA, "Goedemorgen!\rHier spreekt Tolvani!");
    QVS_Say(nullptr, "caf\xE9 \x80 5\tx\x01");
    QVS_Say(nullptr, nullptr);
    const auto lines = transcriptLines();
    ASSERT_EQ(lines.size(), 4u);
    const std::regex form(R"((\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})\t(none|0x[0-9a-f]+)\t(.*))");
    const std::string expected[][2] = {
        {"none", "Er zijn \\+geen \\-nieuwe berichten"},
        {"", "Goedemorgen!\\rHier spreekt Tolvani!"},
        {"none", "café € 5\\tx\\x01"},
        {"none", ""},
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, form)) << lines[i];
        if (expected[i][0].empty()) {
            EXPECT_NE(m[2], "none");
        } else {
            EXPECT_EQ(m[2], expected[i][0]);
        }
        EXPECT_EQ(m[3], expected[i][1]);
    }
}

TEST_F(Speech, WavFromTheFileSinkHoldsSpeechOfPlausibleLength) {
    const std::string text =
        "Er is een nieuw bericht van Jan de Vries over de vergadering van morgen.";
    const Wav wav = speakToWav(text.c_str());
    EXPECT_EQ(wav.rate, 22050);
    // Dutch speech at a natural tempo runs at about 12 to 16 characters a second.
    EXPECT_GT(wav.seconds(), static_cast<double>(text.size()) / 30);
    EXPECT_LT(wav.seconds(), static_cast<double>(text.size()) / 6);
    EXPECT_GT(wav.rms(), 500) << "speech, not silence";
}

TEST_F(Speech, StressMarksAreNeverSpoken) {
    const double plain = speakToWav("Er zijn geen nieuwe berichten").seconds();
    const double marked = speakToWav("Er zijn \\+geen \\-nieuwe berichten").seconds();
    ASSERT_GT(plain, 0.5);
    // "backslash plus" read aloud would add a second or more.
    EXPECT_NEAR(marked / plain, 1.0, 0.2);
}

TEST_F(Speech, LevelsAndVoicesChangeTheSpeech) {
    const char* text = "Hier spreekt Tolvani, uw voorleesprogramma.";
    const Wav slow = speakToWav(text, 4, 0);
    const Wav fast = speakToWav(text, 4, 10);
    EXPECT_LT(fast.seconds(), slow.seconds() * 0.5);

    const Wav soft = speakToWav(text, 4, 5, 5, 0);
    const Wav loud = speakToWav(text, 4, 5, 5, 10);
    EXPECT_GT(loud.rms(), soft.rms() * 8);
    EXPECT_GT(soft.rms(), 0) << "the lowest volume is soft, not silent";
    size_t clipped = 0;
    for (int16_t s : loud.samples)
        clipped += (s >= 32767 || s <= -32767);
    EXPECT_EQ(clipped, 0u);

    std::vector<std::vector<int16_t>> seen;
    for (int code : {4, 7, 10, 13, 0, 16, 17}) {
        const Wav wav = speakToWav(text, code);
        EXPECT_GT(wav.seconds(), 0.8) << code;
        for (const auto& other : seen)
            EXPECT_NE(wav.samples, other) << code;
        seen.push_back(wav.samples);
    }
}

TEST_F(Speech, UnknownVoiceKeepsThePreviousOne) {
    const Wav man = speakToWav("Hier piept een muisje in de kast, heel zachtjes en heel snel.", 4);
    const Wav mouse =
        speakToWav("Hier piept een muisje in de kast, heel zachtjes en heel snel.", 16);
    ASSERT_GT(std::abs(mouse.seconds() / man.seconds() - 1.0), 0.08) << "told apart by length";
    const fs::path file = dir_ / "kept.wav";
    restart("wav:" + file.string());
    EXPECT_EQ(QVS_SetVoice(16), QVS_OK);
    EXPECT_EQ(QVS_SetVoice(5), QVS_E_ARGUMENT);
    QVS_Say(kA, "Hier piept een muisje in de kast, heel zachtjes en heel snel.");
    ASSERT_TRUE(recorder_.waitFor(recorder_.count() + 1));
    QVS_Close();
    EXPECT_NEAR(readWav(file).seconds() / mouse.seconds(), 1.0, 0.02);
}

TEST_F(Speech, ATextIsReadInTheLanguageSetBeforeItWasSaid) {
    // Numbers take much longer to say in Dutch, so the two readings differ in length.
    const char* text = "Call me on 0612345678 before 1999 euros are gone.";
    const Wav dutch = speakToWav(text);
    ASSERT_EQ(QVS_SetLanguage("en"), QVS_OK);
    const Wav english = speakToWav(text);
    EXPECT_GT(english.seconds(), 1.0);
    EXPECT_GT(english.rms(), 500);
    EXPECT_NE(english.samples, dutch.samples);
    // Each voice keeps its character in the other language.
    const Wav mouse = speakToWav(text, 16);
    EXPECT_NE(mouse.samples, english.samples);
    ASSERT_LT(english.seconds() / dutch.seconds(), 0.92) << "told apart by length";

    // An unknown code keeps the language; null and empty are Dutch.
    EXPECT_EQ(QVS_SetLanguage("pt"), QVS_E_ARGUMENT);
    EXPECT_EQ(QVS_SetLanguage("EN"), QVS_E_ARGUMENT);
    EXPECT_NEAR(speakToWav(text).seconds() / english.seconds(), 1.0, 0.03);
    EXPECT_EQ(QVS_SetLanguage(nullptr), QVS_OK);
    EXPECT_NEAR(speakToWav(text).seconds() / dutch.seconds(), 1.0, 0.03);

    // A text queued keeps its language when the next is set; the transcript names it.
    std::error_code ec;
    fs::remove(transcript_, ec);
    restart("null:50");
    const size_t before = recorder_.count();
    QVS_Say(nullptr, "Dit bericht is in het Engels.");
    for (const char* code : {"en", "fr", "de", "it", "es"}) {
        ASSERT_EQ(QVS_SetLanguage(code), QVS_OK) << code;
        QVS_Say(kA, "Text & more");
    }
    QVS_SetLanguage("");
    QVS_Say(kA, "Klaar.");
    ASSERT_TRUE(recorder_.waitFor(before + 6));
    const auto lines = transcriptLines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_TRUE(lines[0].ends_with("\tDit bericht is in het Engels.")) << lines[0];
    EXPECT_TRUE(lines[1].ends_with("\tText & more\ten")) << lines[1];
    EXPECT_TRUE(lines[5].ends_with("\tText & more\tes")) << lines[5];
    EXPECT_TRUE(lines[6].ends_with("\tKlaar.")) << lines[6];
}

TEST_F(Speech, CloseEndsPendingTextsAndTheEngineComesBack) {
    restart("null");
    QVS_Say(kA, kLongText);
    QVS_Say(kB, "Twee.");
    EXPECT_EQ(QVS_Close(), QVS_OK);
    EXPECT_EQ(recorder_.count(), 2u);
    EXPECT_EQ(QVS_Stop(), QVS_OK);
    EXPECT_EQ(QVS_Close(), QVS_OK);
    EXPECT_EQ(QVS_Pause(), QVS_OK);
    // Speech after a close makes the engine ready again rather than never ending.
    QVS_Say(kC, "Weer terug.");
    ASSERT_TRUE(recorder_.waitFor(3, 20s));
    EXPECT_EQ(recorder_.notices()[2].window, kC);
}

TEST_F(Speech, DefaultsFillEveryGivenPointer) {
    int32_t voice = -1, tempo = -1, pitch = -1, volume = -1;
    EXPECT_EQ(QVS_GetDefaultSettings(&voice, &tempo, &pitch, &volume), QVS_OK);
    EXPECT_EQ(QVS_SetVoice(voice), QVS_OK);
    for (int32_t level : {tempo, pitch, volume}) {
        EXPECT_GE(level, 0);
        EXPECT_LE(level, 10);
    }
    EXPECT_EQ(QVS_GetDefaultSettings(nullptr, nullptr, nullptr, nullptr), QVS_OK);
}

TEST_F(Speech, LargeAndOddTextsAreSpokenOrStoppedSafely) {
    std::string big;
    while (big.size() < 200000)
        big += "Een zin met <tags> & \\+nadruk, \x80 en \x81\x01 tekens.\r\n";
    QVS_Say(kA, big.c_str());
    QVS_Say(kB, "\\+");
    QVS_Say(kC, "\\");
    std::this_thread::sleep_for(100ms);
    QVS_Stop();
    EXPECT_EQ(recorder_.count(), 3u);
}

TEST_F(Speech, LexiconWithoutAnApplicationSaysSo) {
    EXPECT_EQ(QVS_Lexicon(nullptr), QVS_E_NO_DISPLAY);
}

} // namespace
