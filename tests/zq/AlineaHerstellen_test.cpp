#include <string>

#include <gtest/gtest.h>

#include "ZqTestSupport.h"

namespace {

struct Case {
    const char* name;
    const char* input;
    const char* expected;
};

class AlineaHerstellen : public ::testing::Test {
protected:
    static void SetUpTestSuite() { zqtest::startEngines(); }
};

TEST_F(AlineaHerstellen, JoinsWrappedLinesAndKeepsTheRest) {
    const Case cases[] = {
        {"wrapped paragraph",
         "Ik heb de stukken bekeken en ik denk dat we het voorstel zo kunnen\r\n"
         "indienen, mits we de begroting nog even nalopen. Kun je dat morgen\r\n"
         "doen?",
         "Ik heb de stukken bekeken en ik denk dat we het voorstel zo kunnen indienen, mits we "
         "de begroting nog even nalopen. Kun je dat morgen doen?"},
        {"greeting, paragraphs and closing",
         "Beste Jan,\r\n\r\nHierbij het verslag van de vergadering van gisteren, zoals we\r\n"
         "hadden afgesproken.\r\n\r\n\r\nMet vriendelijke groet,\r\nPiet",
         "Beste Jan,\r\n\r\nHierbij het verslag van de vergadering van gisteren, zoals we hadden "
         "afgesproken.\r\n\r\nMet vriendelijke groet,\r\nPiet."},
        {"list items keep their lines",
         "We moeten nog een paar dingen regelen voor het feest van zaterdag:\r\n- de tent\r\n"
         "- de muziek\r\n1. eerst bellen\r\n2) dan mailen",
         "We moeten nog een paar dingen regelen voor het feest van zaterdag:\r\n- de tent.\r\n"
         "- de muziek.\r\n1. eerst bellen.\r\n2) dan mailen."},
        {"short lines are not wrapped", "Jan Jansen\r\nKerkstraat 1\r\nAmsterdam",
         "Jan Jansen.\r\nKerkstraat 1.\r\nAmsterdam."},
        {"hyphenated word at the wrap",
         "Het gaat om de jaarlijkse bijeenkomst in de provincie Noord-\r\nHolland, volgende week.",
         "Het gaat om de jaarlijkse bijeenkomst in de provincie Noord-Holland, volgende week."},
        {"stress marks untouched", "Dit \\-bericht \\-bevat \\+geen tekst",
         "Dit \\-bericht \\-bevat \\+geen tekst."},
        {"spaces squeezed", "  Veel    ruimte\there  ", "Veel ruimte here."},
        {"a date broken off at the wrap goes on with its sentence",
         "Dank u voor uw belangstelling voor de woning aan de Lindelaan 14 in\r\n"
         "Amersfoort. U bent van harte welkom voor een bezichtiging op woensdag\r\n"
         "26 maart om half vijf. De huidige bewoners zijn dan niet thuis, dus u kunt\r\n"
         "rustig rondkijken.",
         "Dank u voor uw belangstelling voor de woning aan de Lindelaan 14 in Amersfoort. U bent "
         "van harte welkom voor een bezichtiging op woensdag 26 maart om half vijf. De huidige "
         "bewoners zijn dan niet thuis, dus u kunt rustig rondkijken."},
        {"empty", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(zqtest::paragraphs(c.input), c.expected);
    }
}

} // namespace
