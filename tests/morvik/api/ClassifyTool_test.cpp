// morvik-classify with the shipped lid.cfg and models on a paragraph of each language. Needs
// the built models; without them the cases are skipped.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

struct Paragraph {
    const char* code;
    const char* text; // Latin-1
};

const Paragraph kParagraphs[] = {
    {"en", "The weather will stay dry for most of the week, although the wind picks up on "
           "Thursday. Farmers in the north are hoping for rain before the harvest begins, because "
           "the soil has become very hard after three warm months without much water."},
    {"nl", "Het weer blijft deze week grotendeels droog, al neemt de wind op donderdag flink toe. "
           "De boeren in het noorden hopen nog op regen voordat de oogst begint, want de grond is "
           "na drie warme maanden zonder veel water erg hard geworden."},
    {"fr", "Le temps restera sec pendant la plus grande partie de la semaine, m\xEA"
           "me si le vent se l\xE8"
           "vera jeudi. Les agriculteurs du nord esp\xE8"
           "rent encore de la pluie avant le d\xE9"
           "but de la r\xE9"
           "colte, car la terre est devenue tr\xE8"
           "s dure apr\xE8"
           "s trois mois chauds."},
    {"de", "Das Wetter bleibt in dieser Woche \xFC"
           "berwiegend trocken, obwohl der Wind am Donnerstag deutlich zunimmt. Die Bauern im "
           "Norden hoffen noch auf Regen, bevor die Ernte beginnt, denn der Boden ist nach drei "
           "warmen Monaten ohne viel Wasser sehr hart geworden."},
    {"it", "Il tempo rester\xE0"
           " asciutto per gran parte della settimana, anche se gioved\xEC"
           " il vento si rinforzer\xE0"
           ". Gli agricoltori del nord sperano ancora nella pioggia prima che cominci il raccolto, "
           "perch\xE9"
           " il terreno \xE8"
           " diventato molto duro dopo tre mesi caldi senza acqua."},
    {"es", "El tiempo seguir\xE1"
           " seco durante la mayor parte de la semana, aunque el viento aumentar\xE1"
           " el jueves. Los agricultores del norte todav\xED"
           "a esperan lluvia antes de que empiece la cosecha, porque la tierra se ha vuelto muy "
           "dura despu\xE9"
           "s de tres meses calurosos sin agua."},
};

// Runs morvik-classify with args on text and returns its first output line.
std::string RunClassify(const std::string& args, const std::string& text) {
    const std::string input = std::filesystem::temp_directory_path() /
                              ("morvik_classify_in_" + std::to_string(::getpid()));
    std::FILE* f = std::fopen(input.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    const std::string cmd =
        std::string("\"") + MORVIK_CLASSIFY + "\" " + args + " < \"" + input + "\"";
    std::FILE* p = ::popen(cmd.c_str(), "r");
    std::string out;
    char buf[256];
    while (p != nullptr && std::fgets(buf, sizeof buf, p) != nullptr)
        out += buf;
    if (p != nullptr) ::pclose(p);
    std::remove(input.c_str());
    return out;
}

class ClassifyTool : public testing::Test {
protected:
    void SetUp() override {
        for (const char* code : {"en", "nl", "fr", "de", "it", "es"})
            ASSERT_TRUE(std::filesystem::exists(std::string(MORVIK_DATA) + "/" + code + "4.bin"))
                << "the " << code << " model was not built in " << MORVIK_DATA;
    }
    const std::string config_ = std::string("\"") + MORVIK_DATA + "/lid.cfg\"";
};

TEST_F(ClassifyTool, AnswersTheLanguageOfEachParagraph) {
    for (const auto& p : kParagraphs) {
        const std::string answer = RunClassify(config_, p.text);
        EXPECT_EQ(answer.substr(0, 3), std::string(p.code) + " ") << answer;
        const std::string html =
            RunClassify("--html " + config_, std::string("<p>") + p.text + "</p>");
        EXPECT_EQ(html.substr(0, 3), std::string(p.code) + " ") << html;
    }
}

TEST_F(ClassifyTool, ScoresOneLanguageOnRequest) {
    const double nl = std::atof(RunClassify("--lang NL " + config_, kParagraphs[1].text).c_str());
    const double en = std::atof(RunClassify("--lang en " + config_, kParagraphs[1].text).c_str());
    EXPECT_GT(nl, 0.1);
    EXPECT_GT(nl, en);
}

} // namespace
