// brevon-say as a user runs it.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

int run(const std::string& args) {
    const int status = std::system((std::string(BREVON_SAY) + " " + args + " 2>/dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(BrevonSay, SpeaksIntoAWavFileWithTheGivenVoiceAndLevels) {
    const fs::path wav =
        fs::temp_directory_path() / ("brevon-say-" + std::to_string(getpid()) + ".wav");
    ASSERT_EQ(run("--voice 7 --tempo 6 --pitch 4 --volume 8 --wav " + wav.string() +
                  " 'Er zijn \\+geen \\-nieuwe berichten. Één café.'"),
              0);
    ASSERT_TRUE(fs::exists(wav));
    // Over a second of 16-bit speech at 22050 Hz.
    EXPECT_GT(fs::file_size(wav), 44u + 22050u * 2);
    fs::remove(wav);
}

TEST(BrevonSay, RejectsBadUseWithAClearExitCode) {
    const struct {
        const char* args;
        int code;
    } cases[] = {
        {"", 2},
        {"--voice", 2},
        {"--voice 5 hallo", 2},
        {"--tempo 11 hallo", 2},
        {"--pitch x hallo", 2},
        {"--loud hallo", 2},
        {"--wav /nonexistent/dir/x.wav hallo", 1},
        {"--help", 0},
        {"hallo", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(run(c.args), c.code) << c.args;
}

} // namespace
