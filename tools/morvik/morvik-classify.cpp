// morvik-classify [--html] [--lang xx] CONFIG: reads a text on standard input and prints the
// best of the six languages ("nl 0.1734", or "?? 0.0123" under the threshold), or with --lang
// the text's score in that one language.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <morvik/morvik.h>
#include <morvik/api/LanguageProfile.h>
#include <morvik/base/zkCConfigFile.h>
#include <morvik/base/zkCException.h>

#include "ToolConfig.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: morvik-classify [--html] [--lang xx] CONFIG < text\n"
                 "Prints the language of the text on standard input (en nl fr de it es) and its\n"
                 "score, or \"??\" when no language scores above the threshold; with --lang, the\n"
                 "score of the text in that language. --html strips markup first.\n");
    return 2;
}

std::string ReadAll(std::FILE* in) {
    std::string text;
    char piece[65536];
    std::size_t got;
    while ((got = std::fread(piece, 1, sizeof piece, in)) > 0)
        text.append(piece, got);
    return text;
}

float Threshold(const std::string& config) {
    try {
        zkCConfigFile cfg(config.c_str(), ".");
        return static_cast<float>(std::atof(cfg.GetString("Ngrams", "threshold").c_str()));
    } catch (zkCException* e) {
        delete e;
        return 0.8f;
    }
}

} // namespace

int main(int argc, char** argv) {
    bool html = false;
    std::string language;
    std::string configArg;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--html") == 0) {
            html = true;
        } else if (std::strcmp(argv[i], "--lang") == 0 && i + 1 < argc) {
            language = argv[++i];
        } else if (argv[i][0] == '-' || !configArg.empty()) {
            return Usage();
        } else {
            configArg = argv[i];
        }
    }
    if (configArg.empty()) return Usage();

    const std::string text = ReadAll(stdin);
    const std::string config = EnterConfigFolder(configArg);
    if (config.empty()) return 1;
    if (C_InitLanguageClassifier(config.c_str()) != 0) return 1;

    const char* type = html ? "HTMLDocument" : "ASCIIDocument";
    if (!language.empty()) {
        std::printf("%.4f\n",
                    static_cast<double>(C_Classify(text.c_str(), language.c_str(), type)));
    } else if (!html) {
        std::printf("%s\n", C_ClassifyLanguage(text.c_str()));
    } else {
        // The configured document type decides for C_ClassifyLanguage; --html asks for HTML
        // whatever it says, so the six scores are taken one by one.
        float scores[6];
        for (int i = 0; i < 6; ++i)
            scores[i] = C_Classify(text.c_str(), kDecisionOrder[i], type);
        char answer[32];
        SixWayDecision(scores, Threshold(config), answer, sizeof answer);
        std::printf("%s\n", answer);
    }
    C_Close();
    return 0;
}
