#include <string>

#include <gtest/gtest.h>

#include "ZqTestSupport.h"

namespace {

struct Case {
    const char* input;
    const char* expected;
};

class NumberSolver : public ::testing::Test {
protected:
    static void SetUpTestSuite() { zqtest::startEngines(); }
    static void check(const Case* cases, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            SCOPED_TRACE(cases[i].input);
            EXPECT_EQ(zqtest::numbers(cases[i].input), cases[i].expected);
        }
    }
};

// \xE9 is é, \xEB is ë (Windows-1252)
TEST_F(NumberSolver, CardinalsAreSpelledAsDutchSpeaksThem) {
    const Case cases[] = {
        {"0", "nul"},
        {"1", "\xE9\xE9n"},
        {"13 boeken", "dertien boeken"},
        {"21", "eenentwintig"},
        {"22", "twee\xEBntwintig"},
        {"33", "drie\xEBndertig"},
        {"99", "negenennegentig"},
        {"100", "honderd"},
        {"101", "honderdeen"},
        {"342", "driehonderdtwee\xEBnveertig"},
        {"1000", "duizend"},
        {"1001", "duizend \xE9\xE9n"},
        {"1250", "twaalfhonderdvijftig"},
        {"1999", "negentienhonderdnegenennegentig"},
        {"2000", "tweeduizend"},
        {"2024", "tweeduizend vierentwintig"},
        {"3400", "drieduizend vierhonderd"},
        {"1.250.000", "\xE9\xE9n miljoen tweehonderdvijftigduizend"},
        {"12.500 mensen", "twaalfduizend vijfhonderd mensen"},
        {"2.000.000.000", "twee miljard"},
        {"3,5", "drie komma vijf"},
        {"0,05", "nul komma nul vijf"},
        {"versie 2.4.1", "versie twee punt vier punt \xE9\xE9n"},
        {"192.168.1.10",
         "honderdtwee\xEBnnegentig punt honderdachtenzestig punt \xE9\xE9n punt tien"},
        {"-5 graden", "min vijf graden"},
        {"mp3", "mp drie"},
    };
    check(cases, std::size(cases));
}

TEST_F(NumberSolver, TimesReadAsClockTimes) {
    const Case cases[] = {
        {"om 14:30", "om veertien uur dertig"},
        {"om 14:30 uur", "om veertien uur dertig"},
        {"9:05", "negen uur vijf"},
        {"14:00", "veertien uur"},
        {"1:00", "\xE9\xE9n uur"},
        {"om 9.30 uur", "om negen uur dertig"},
        {"om 9.30 beginnen", "om negen uur dertig beginnen"},
        {"10:00-11:00", "tien uur tot elf uur"},
        {"10.00 - 12.30 uur", "tien uur tot twaalf uur dertig"},
        {"14u30", "veertien uur dertig"},
        {"tot 17.30u.", "tot zeventien uur dertig."},
        {"vanaf 10u", "vanaf tien uur"},
        {"10:00 PM", "twee\xEBntwintig uur"},
        {"12:15:30", "twaalf uur vijftien en dertig seconden"},
        // no cue: not a time
        {"2.30", "twee punt dertig"},
        {"16:9", "zestien:negen"},
    };
    check(cases, std::size(cases));
}

TEST_F(NumberSolver, DatesGetMonthNames) {
    const Case cases[] = {
        {"14-03-2000", "veertien maart tweeduizend"},
        {"1/4/2024", "\xE9\xE9n april tweeduizend vierentwintig"},
        {"31.12.1999", "eenendertig december negentienhonderdnegenennegentig"},
        {"2000-03-14", "veertien maart tweeduizend"},
        {"14 maart 2000", "veertien maart tweeduizend"},
        {"op di 14 mrt. 2000", "op dinsdag veertien maart tweeduizend"},
        // a whole month name's dot ends the sentence
        {"op 18 mei. Daarna", "op achttien mei. Daarna"},
        {"tot 1 juli.", "tot \xE9\xE9n juli."},
        {"vr 3 jan", "vrijdag drie januari"},
        {"ma t/m vr", "maandag tot en met vrijdag"},
        {"(ma-za 9-17 uur)", "(maandag tot en met zaterdag negen tot zeventien uur)"},
        {"zo 5 km en do mee", "zo vijf kilometer en do mee"},
        // not a date: month 13, or a day 32
        {"14-13-2000", "veertien-dertien-tweeduizend"},
    };
    check(cases, std::size(cases));
}

TEST_F(NumberSolver, AmountsPercentagesAndOrdinals) {
    const Case cases[] = {
        {"\x80 12,50", "twaalf euro vijftig"},
        {"\x80"
         "12,50",
         "twaalf euro vijftig"},
        {"12,50 euro", "twaalf euro vijftig"},
        {"EUR 7,05", "zeven euro vijf"},
        {"\x80 1,-", "\xE9\xE9n euro"},
        {"\x80 0,99", "negenennegentig cent"},
        {"\x80 1.250,00", "twaalfhonderdvijftig euro"},
        {"\x80 2,5 miljoen", "twee komma vijf miljoen euro"},
        {"$ 20", "twintig dollar"},
        {"25%", "vijfentwintig procent"},
        {"2,5 %", "twee komma vijf procent"},
        {"10-20%", "tien tot twintig procent"},
        {"de 1e keer", "de eerste keer"},
        {"de 2de", "de tweede"},
        {"de 3e", "de derde"},
        {"8ste", "achtste"},
        {"21ste", "eenentwintigste"},
        {"100ste", "honderdste"},
        {"3x per week", "drie keer per week"},
        {"20\xB0"
         "C",
         "twintig graden Celsius"},
        {"1\xBD uur", "anderhalf uur"},
    };
    check(cases, std::size(cases));
}

TEST_F(NumberSolver, TelephoneNumbersReadInDigitGroups) {
    const Case cases[] = {
        {"06-12345678", "nul zes, twaalf, vierendertig, zesenvijftig, achtenzeventig"},
        {"0612345678", "nul zes, twaalf, vierendertig, zesenvijftig, achtenzeventig"},
        {"06 12 34 56 78", "nul zes, twaalf, vierendertig, zesenvijftig, achtenzeventig"},
        {"020-1234567", "nul twee nul, \xE9\xE9n twee drie, vijfenveertig, zevenenzestig"},
        {"bel 010-4051020.", "bel nul \xE9\xE9n nul, vier nul vijf, tien, twintig."},
        {"+31 6 12345678",
         "plus eenendertig, zes, twaalf, vierendertig, zesenvijftig, achtenzeventig"},
        // the (0) is not dialled from abroad
        {"+31 (0)20 1234567",
         "plus eenendertig, twee nul, \xE9\xE9n twee drie, vijfenveertig, zevenenzestig"},
        {"0800-1234", "nul acht nul nul, twaalf, vierendertig"},
        // leading zeros: an identifier, digit by digit
        {"code 007", "code nul nul zeven"},
        {"order 12345678901", "order \xE9\xE9n twee drie vier vijf zes zeven acht negen nul "
                              "\xE9\xE9n"},
        {"1234 AB Amsterdam", "twaalf vierendertig A B Amsterdam"},
        {"3511AB", "vijfendertig elf A B"},
        {"2000 GB", "tweeduizend gigabyte"},
    };
    check(cases, std::size(cases));
}

TEST_F(NumberSolver, UnitsFromTheRuleFile) {
    const Case cases[] = {
        {"5 km", "vijf kilometer"},
        {"3kg", "drie kilo"},
        {"1 min", "\xE9\xE9n minuut"},
        {"10 min.", "tien minuten."},
        {"120 km/u", "honderdtwintig kilometer per uur"},
        {"2 mannen", "twee mannen"},
    };
    check(cases, std::size(cases));
}

// Text that looks like a date, a code or a Roman numeral but is none keeps its reading.
TEST_F(NumberSolver, LookalikesOfDatesCodesAndNumeralsKeepTheirReading) {
    const Case cases[] = {
        // a score, a version, a time after "voor", opening hours after a range of days
        {"eindigde in 3-1.", "eindigde in drie-\xE9\xE9n."},
        {"Versie 1.6 is uit.", "Versie \xE9\xE9n punt zes is uit."},
        {"Kom voor 10.05 langs.", "Kom voor tien uur vijf langs."},
        {"ma-vr 9-12", "maandag tot en met vrijdag negen tot twaalf"},
        // no such day: 31 April, 30 February
        {"Op 31-4 niets.", "Op eenendertig-vier niets."},
        {"Op 30/2 niets.", "Op dertig/twee niets."},
        // chapters one and two, not a half nor a date
        {"Lees hoofdstuk 1/2.", "Lees hoofdstuk \xE9\xE9n twee."},
        // a count after a code word, a postcode after one
        {"De code is 14 dagen geldig.", "De code is veertien dagen geldig."},
        {"Postcode 1234AB", "Postcode twaalf vierendertig A B"},
        // product names with a number, in capitals or not
        {"MP3, A4, COVID-19 en iPhone15", "MP drie, A vier, COVID-negentien en iPhone vijftien"},
        // a single "I", a letter after a word that is no ruler's name, numerals spelled wrong
        {"Karel I en Deel I", "Karel I en Deel I"},
        {"Generatie X", "Generatie X"},
        {"Karel IIII en Karel VX", "Karel IIII en Karel VX"},
        {"Maat XL en MIX", "Maat XL en MIX"},
        // "vs" in lower case is "versus" to a voice, and meant so
        {"Ajax vs PSV", "Ajax vs PSV"},
        // a count of times and a short number with no word to call with
        {"Wij bellen u 2 keer.", "Wij bellen u twee keer."},
        {"Kamer 204", "Kamer tweehonderdvier"},
    };
    check(cases, std::size(cases));
}

TEST_F(NumberSolver, StressMarksAndPlainTextPassUnchanged) {
    const Case cases[] = {
        {"Dit \\-bericht \\-bevat \\+geen tekst", "Dit \\-bericht \\-bevat \\+geen tekst"},
        {"Caf\xE9 \x80", "Caf\xE9 \x80"},
        {"Geen cijfers hier.\r\nTweede regel.", "Geen cijfers hier.\r\nTweede regel."},
    };
    check(cases, std::size(cases));
}

} // namespace
