// brevon-say: speaks a text through the speech engine library, using its exports only.
#include <charconv>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <mutex>
#include <string>
#include <string_view>

#include <qvstts/qvstts.h>

namespace {

constexpr const char* kUsage =
    "usage: brevon-say [--voice CODE] [--tempo N] [--pitch N] [--volume N] [--wav FILE] TEXT...\n"
    "       TEXT '-' reads standard input. The text is UTF-8 and may hold the stress marks\n"
    "       \\+ and \\- before a word. Voices: 4 man, 7 vrouw, 10 jongen, 13 meisje, 0 robot,\n"
    "       16 muisje, 17 slang. Levels 0 to 10, 5 is the middle.\n";

std::mutex gMutex;
std::condition_variable gDone;
bool gClosed = false;

void onPost(void*, QVS_WINDOW, uint32_t message) {
    if (message != QVS_MM_WOM_CLOSE) return;
    std::lock_guard lock(gMutex);
    gClosed = true;
    gDone.notify_all();
}

bool parseInt(std::string_view s, int& value) {
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    return ec == std::errc{} && end == s.data() + s.size();
}

// The engine takes Windows-1252, as brevon does; the command line is UTF-8.
std::string toCp1252(std::string_view utf8) {
    static constexpr char32_t kHigh[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const size_t len = b < 0x80         ? 1
                           : (b >> 5) == 6  ? 2
                           : (b >> 4) == 14 ? 3
                           : (b >> 3) == 30 ? 4
                                            : 1;
        char32_t cp = len == 1 ? b : b & (0x7F >> len);
        for (size_t k = 1; k < len && i + k < utf8.size(); ++k)
            cp = (cp << 6) | (utf8[i + k] & 0x3F);
        i += len;
        if (len == 1 && b >= 0x80) cp = U'?';
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out += static_cast<char>(cp);
            continue;
        }
        char mapped = '?';
        for (int k = 0; k < 32; ++k)
            if (kHigh[k] == cp) mapped = static_cast<char>(0x80 + k);
        out += mapped;
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    int voice = -1, tempo = -1, pitch = -1, volume = -1;
    std::string wav, text;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        int* level = arg == "--voice"    ? &voice
                     : arg == "--tempo"  ? &tempo
                     : arg == "--pitch"  ? &pitch
                     : arg == "--volume" ? &volume
                                         : nullptr;
        if (level || arg == "--wav") {
            if (i + 1 >= argc) {
                std::cerr << "brevon-say: " << arg << " needs a value\n" << kUsage;
                return 2;
            }
            const std::string_view value = argv[++i];
            if (!level) {
                wav = value;
            } else if (!parseInt(value, *level) ||
                       (level != &voice && (*level < 0 || *level > 10))) {
                std::cerr << "brevon-say: bad value for " << arg << ": " << value << '\n';
                return 2;
            }
        } else if (arg == "-h" || arg == "--help") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "-") {
            text.append(std::istreambuf_iterator<char>(std::cin), {});
        } else if (arg.starts_with("--")) {
            std::cerr << "brevon-say: unknown option " << arg << '\n' << kUsage;
            return 2;
        } else {
            if (!text.empty()) text += ' ';
            text += arg;
        }
    }
    if (text.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    if (!wav.empty()) {
        // Fail before speaking rather than leave the user without the file they asked for.
        if (std::FILE* f = std::fopen(wav.c_str(), "ab")) {
            std::fclose(f);
        } else {
            std::cerr << "brevon-say: cannot write " << wav << ": " << std::strerror(errno) << '\n';
            return 1;
        }
        const std::string sink = "wav:" + wav;
#ifdef _WIN32
        _putenv_s("QVSTTS_SINK", sink.c_str());
#else
        setenv("QVSTTS_SINK", sink.c_str(), 1);
#endif
    }

    QVS_SetPostMessageProc(onPost, nullptr);
    if (QVS_Init(0xA2000) != QVS_OK) {
        std::cerr << "brevon-say: the speech engine could not start\n";
        return 1;
    }
    int32_t dv, dt, dp, dvol;
    QVS_GetDefaultSettings(&dv, &dt, &dp, &dvol);
    QVS_SetTempo(tempo >= 0 ? tempo : dt);
    QVS_SetPitch(pitch >= 0 ? pitch : dp);
    QVS_SetVolume(volume >= 0 ? volume : dvol);
    if (voice >= 0 && QVS_SetVoice(voice) != QVS_OK) {
        std::cerr << "brevon-say: unknown voice " << voice << '\n';
        QVS_Close();
        return 2;
    }
    static int window; // any non-null handle: the end notice comes to our poster
    QVS_Say(&window, toCp1252(text).c_str());
    {
        std::unique_lock lock(gMutex);
        gDone.wait(lock, [] { return gClosed; });
    }
    QVS_Close();
    return 0;
}
