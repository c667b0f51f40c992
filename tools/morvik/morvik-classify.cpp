// morvik-classify [--html] [--lang xx] [--lines] CONFIG: reads a text on standard input and
// prints the best of the six languages ("nl 0.1734", or "?? 0.0123" under the threshold), or with
// --lang the text's score in that one language; with --lines each line is a text of its own and
// gets its own answer line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <morvik/morvik.h>
#include <morvik/api/LanguageProfile.h>
#include <morvik/base/zkCConfigFile.h>
#include <morvik/base/zkCException.h>

#include "ToolConfig.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: morvik-classify [--html] [--lang xx] [--lines] CONFIG < text\n"
                 "Prints the language of the text on standard input (en nl fr de it es) and its\n"
                 "score, or \"??\" when no language scores above the threshold; with --lang, the\n"
                 "score of the text in that language. --html strips markup first. --lines:\n"
                 "each line is a text of its own, answered on a line of its own.\n");
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

// One answer for one text, as the options ask.
std::string Answer(const std::string& text, const std::string& language, bool html,
                   const std::string& config) {
    const char* type = html ? "HTMLDocument" : "ASCIIDocument";
    char answer[32];
    if (!language.empty()) {
        std::snprintf(answer, sizeof answer, "%.4f",
                      static_cast<double>(C_Classify(text.c_str(), language.c_str(), type)));
        return answer;
    }
    if (!html) return C_ClassifyLanguage(text.c_str());
    // The configured document type decides for C_ClassifyLanguage; --html asks for HTML
    // whatever it says, so the six scores are taken one by one.
    float scores[6];
    for (int i = 0; i < 6; ++i)
        scores[i] = C_Classify(text.c_str(), kDecisionOrder[i], type);
    SixWayDecision(scores, Threshold(config), answer, sizeof answer);
    return answer;
}

int main(int argc, char** argv) {
    bool html = false;
    bool lines = false;
    std::string language;
    std::string configArg;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--html") == 0) {
            html = true;
        } else if (std::strcmp(argv[i], "--lines") == 0) {
            lines = true;
        } else if (std::strcmp(argv[i], "--lang") == 0 && i + 1 < argc) {
            language = argv[++i];
        } else if (argv[i][0] == '-' || !configArg.empty()) {
            return Usage();
        } else {
            configArg = argv[i];
        }
    }
    if (configArg.empty()) return Usage();
#ifdef _WIN32
    // The text is bytes, read whole (a text-mode stdin would drop CRs and stop at a Ctrl+Z), and
    // the answers are the same bytes as everywhere else.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif

    const std::string text = ReadAll(stdin);
    const std::string config = EnterConfigFolder(configArg);
    if (config.empty()) return 1;
    if (C_InitLanguageClassifier(config.c_str()) != 0) return 1;

    if (!lines) {
        std::printf("%s\n", Answer(text, language, html, config).c_str());
    } else {
        for (std::size_t start = 0; start < text.size();) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            std::printf("%s\n", Answer(line, language, html, config).c_str());
            start = end + 1;
        }
    }
    C_Close();
    return 0;
}
