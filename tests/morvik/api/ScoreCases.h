// Three small models and texts with their exact scores, as the library has given them since
// its first version. A score is a float sum over the text's distinct 4-grams in the order of
// the counting table, so any change in the 4-grams, their counts, the values added or the order
// of the sum changes some of these bits.
#pragma once

#include <string>

namespace score_cases {

struct Training {
    const char* code;
    const char* text; // Latin-1
};

inline const Training kTraining[] = {
    {"nl", "Het weer blijft deze week grotendeels droog, al neemt de wind op donderdag flink toe. "
           "De boeren in het noorden hopen nog op regen voordat de oogst begint. Beste Marieke, "
           "dank je wel voor je uitnodiging voor het feest van zaterdag. Ik kom graag, maar ik "
           "weet nog niet of ik de trein van half zeven haal. Open eerst het deksel aan de "
           "achterkant van het apparaat en plaats de batterijen met de platte kant naar de veer. "
           "De gemeenteraad heeft gisteravond besloten dat de nieuwe fietsenstalling bij het "
           "station er volgend voorjaar komt. Caf\xE9s mogen hun terrassen langer openhouden; "
           "z\xE9\xE9r veel mensen zijn daar blij mee, zegt een co\xF6rdinator."},
    {"en", "The weather will stay dry for most of the week, although the wind picks up on "
           "Thursday. Farmers in the north are hoping for rain before the harvest begins. Dear "
           "Mary, thank you for the invitation to the party on Saturday. I would love to come, "
           "but I do not know yet whether I will catch the train at half past six. First open "
           "the lid at the back of the device and insert the batteries with the flat side "
           "towards the spring. The council decided last night that the new bicycle shed at the "
           "station will be built next spring. Caf\xE9s may keep their terraces open longer."},
    {"de", "Das Wetter bleibt in dieser Woche \xFC"
           "berwiegend trocken, obwohl der Wind am Donnerstag deutlich zunimmt. Die Bauern im "
           "Norden hoffen noch auf Regen, bevor die Ernte beginnt. Liebe Marie, vielen Dank f\xFC"
           "r die Einladung zum Fest am Samstag. Ich komme gern, wei\xDF aber noch nicht, ob ich "
           "den Zug um halb sieben erreiche. \xD6"
           "ffnen Sie zuerst den Deckel auf der R\xFC"
           "ckseite des Ger\xE4ts und legen Sie die Batterien mit der flachen Seite zur Feder "
           "ein. Der Gemeinderat hat gestern Abend beschlossen, dass der neue Fahrradstand am "
           "Bahnhof im n\xE4"
           "chsten Fr\xFChjahr kommt."},
};

struct Case {
    const char* what;
    std::string text;
    float nl, en, de;
};

// A long text: the paragraphs of all three languages twice, in changing case.
inline std::string Mixed() {
    std::string s;
    for (int round = 0; round < 2; ++round) {
        for (const Training& t : kTraining) {
            std::string p = t.text;
            if (round == 1) {
                for (char& c : p) {
                    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
                }
            }
            s += p + "\r\n";
        }
    }
    return s;
}

// Each model made from its own training text alone, with the scores the string-keyed counting
// gave before 4-grams had a table of their own.
inline const Case kCases[] = {
    {"Dutch sentence", "De trein naar Amsterdam vertrekt vandaag een kwartier later dan gepland.",
     0x1.a085b4p-5f, 0x1.4bfe9p-5f, 0x1.46b3bp-5f},
    {"English sentence",
     "The train to London leaves a quarter of an hour later than planned today.", 0x1.4bdc28p-5f,
     0x1.b2e5a8p-5f, 0x1.37701cp-5f},
    {"German sentence",
     "Der Zug nach Berlin f\xE4hrt heute eine Viertelstunde sp\xE4ter als geplant.", 0x1.41dfccp-5f,
     0x1.47ae42p-5f, 0x1.5c72aap-5f},
    {"two short words", "het huis", 0x1.39d238p-4f, 0x1.47ae14p-5f, 0x1.2f6848p-5f},
    {"Latin-1 capitals and letters",
     "CAF\xC9 \xDC"
     "BER caf\xE9 co\xF6rdinator Stra\xDF"
     "e",
     0x1.c15cbp-5f, 0x1.627938p-5f, 0x1.375e9p-5f},
    {"markup read as plain text", "<p>Beste Marieke,</p> &amp; dank je wel!", 0x1.171e2p-4f,
     0x1.5e555cp-5f, 0x1.8c6ebp-5f},
    {"words no model knows", "xyzzy qwvx zzzq", 0x1.3b13b6p-5f, 0x1.47ae14p-5f, 0x1.2f6848p-5f},
    {"no 4-gram", "a b c 12 34", 0.0f, 0.0f, 0.0f},
    {"the three paragraphs twice", Mixed(), 0x1.c585ap-5f, 0x1.c5902ap-5f, 0x1.9894e2p-5f},
};

} // namespace score_cases
