#include <mail/ArrivalTime.h>

#include <array>
#include <cctype>
#include <chrono>
#include <ctime>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include <platform/AsciiText.h>

namespace brevon {

namespace {

// Pieces joined by appending: GCC 12 at -O3 warns wrongly (-Wrestrict) on "text" + std::string.
std::string Cat(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (std::string_view part : parts)
        out += part;
    return out;
}

constexpr std::int64_t kDay = 86400;
// A sender's clock that runs ahead by this much still gives a sensible time; beyond it the date
// is wrong and is not said.
constexpr std::int64_t kClockDrift = 15 * 60;

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar (H. Hinnant's
// days_from_civil).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Civil {
    std::int64_t year;
    unsigned month; // 1 to 12
    unsigned day;   // 1 to 31
};

Civil CivilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (const char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

int Number(std::string_view s) {
    int n = 0;
    for (const char c : s)
        n = n * 10 + (c - '0');
    return n;
}

// The value's words: comments left out (RFC 5322 3.2.2), commas and blanks between.
std::vector<std::string_view> Words(std::string_view value) {
    std::vector<std::string_view> words;
    int depth = 0;
    std::size_t start = std::string_view::npos;
    for (std::size_t i = 0; i <= value.size(); ++i) {
        const char c = i < value.size() ? value[i] : ' ';
        const bool separator = depth > 0 || c == '(' || c == ')' || c == ',' ||
                               std::isspace(static_cast<unsigned char>(c));
        if (separator && start != std::string_view::npos) {
            words.push_back(value.substr(start, i - start));
            start = std::string_view::npos;
        }
        if (c == '(') ++depth;
        if (c == ')' && depth > 0) --depth;
        if (!separator && start == std::string_view::npos) start = i;
    }
    return words;
}

constexpr std::array<std::string_view, 12> kMonthKeys{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<std::string_view, 12> kMonths{"januari",   "februari", "maart",    "april",
                                                   "mei",       "juni",     "juli",     "augustus",
                                                   "september", "oktober",  "november", "december"};
// From Monday, as ISO weeks count.
constexpr std::array<std::string_view, 7> kDays{"maandag", "dinsdag",  "woensdag", "donderdag",
                                                "vrijdag", "zaterdag", "zondag"};
// Hours on the clock face; Windows-1252 "één".
constexpr std::array<std::string_view, 13> kHours{"twaalf", "\xE9\xE9n", "twee",  "drie", "vier",
                                                  "vijf",   "zes",       "zeven", "acht", "negen",
                                                  "tien",   "elf",       "twaalf"};

// Zone names of RFC 5322 4.3, in minutes east of UTC.
std::optional<int> ZoneName(std::string_view word) {
    const struct {
        std::string_view name;
        int minutes;
    } zones[] = {{"UT", 0},     {"GMT", 0},    {"Z", 0},      {"EST", -300},
                 {"EDT", -240}, {"CST", -360}, {"CDT", -300}, {"MST", -420},
                 {"MDT", -360}, {"PST", -480}, {"PDT", -420}};
    for (const auto& zone : zones)
        if (platform::SameAsciiText(word, zone.name)) return zone.minutes;
    return std::nullopt;
}

// The time as a Dutch speaker reads a clock, to the nearest five minutes: "tien over negen",
// "tien voor half tien", "half vier", "kwart voor vijf", "negen uur".
std::string ClockWords(int hour, int minute) {
    int rounded = (minute + 2) / 5 * 5;
    if (rounded == 60) {
        rounded = 0;
        hour = (hour + 1) % 24;
    }
    const std::string now(kHours[hour % 12]);
    const std::string next(kHours[(hour + 1) % 12]);
    switch (rounded) {
    case 0:
        return Cat({now, " uur"});
    case 5:
        return Cat({"vijf over ", now});
    case 10:
        return Cat({"tien over ", now});
    case 15:
        return Cat({"kwart over ", now});
    case 20:
        return Cat({"tien voor half ", next});
    case 25:
        return Cat({"vijf voor half ", next});
    case 30:
        return Cat({"half ", next});
    case 35:
        return Cat({"vijf over half ", next});
    case 40:
        return Cat({"tien over half ", next});
    case 45:
        return Cat({"kwart voor ", next});
    case 50:
        return Cat({"tien voor ", next});
    default:
        return Cat({"vijf voor ", next});
    }
}

class System final : public Clock {
public:
    std::int64_t Now() const override {
        return std::chrono::duration_cast<std::chrono::seconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    }
    std::int32_t UtcOffset(std::int64_t utc) const override {
        // The one thread of the program calls this; the C library's zone rules do the rest.
        const auto time = static_cast<std::time_t>(utc);
        const std::tm* local = std::localtime(&time);
        if (!local) return 0;
        const std::int64_t asUtc =
            DaysFromCivil(local->tm_year + 1900, static_cast<unsigned>(local->tm_mon + 1),
                          static_cast<unsigned>(local->tm_mday)) *
                kDay +
            local->tm_hour * 3600 + local->tm_min * 60 + local->tm_sec;
        return static_cast<std::int32_t>(asUtc - utc);
    }
};

} // namespace

const Clock& SystemClock() {
    static const System clock;
    return clock;
}

std::optional<std::int64_t> ParseMailDate(std::string_view value) {
    std::vector<std::string_view> words = Words(value);
    // An optional day of the week first.
    if (!words.empty() && !AllDigits(words.front())) words.erase(words.begin());
    if (words.size() < 4) return std::nullopt;
    if (!AllDigits(words[0]) || words[0].size() > 2) return std::nullopt;
    const int day = Number(words[0]);
    int month = 0;
    for (std::size_t i = 0; i < kMonthKeys.size(); ++i)
        if (platform::SameAsciiText(words[1].substr(0, 3), kMonthKeys[i]) && words[1].size() >= 3)
            month = i + 1;
    if (month == 0 || !AllDigits(words[2]) || words[2].size() > 4) return std::nullopt;
    int year = Number(words[2]);
    if (words[2].size() <= 2)
        year += year < 50 ? 2000 : 1900; // RFC 5322 4.3
    else if (words[2].size() == 3)
        year += 1900;
    // hh:mm or hh:mm:ss.
    const std::string_view time = words[3];
    int parts[3] = {0, 0, 0};
    int count = 0;
    for (std::size_t at = 0; at <= time.size() && count < 3;) {
        const std::size_t colon = std::min(time.find(':', at), time.size());
        const std::string_view part = time.substr(at, colon - at);
        if (!AllDigits(part) || part.size() > 2) return std::nullopt;
        parts[count++] = Number(part);
        if (colon == time.size()) break;
        at = colon + 1;
    }
    if (count < 2) return std::nullopt;
    int zone = 0; // no zone: taken as UTC
    if (words.size() > 4) {
        const std::string_view word = words[4];
        if ((word[0] == '+' || word[0] == '-') && word.size() == 5 && AllDigits(word.substr(1))) {
            const int hours = Number(word.substr(1, 2));
            const int minutes = Number(word.substr(3, 2));
            if (hours > 23 || minutes > 59) return std::nullopt;
            zone = (word[0] == '-' ? -1 : 1) * (hours * 60 + minutes);
        } else if (const std::optional<int> named = ZoneName(word)) {
            zone = *named;
        }
    }
    static constexpr int kMonthDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (year < 1970 || day < 1 || day > kMonthDays[month - 1] ||
        (month == 2 && day == 29 && !leap) || parts[0] > 23 || parts[1] > 59 || parts[2] > 60)
        return std::nullopt;
    return DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * kDay +
           parts[0] * 3600 + parts[1] * 60 + parts[2] - zone * 60;
}

std::string ArrivalPhrase(std::string_view dateHeader, const Clock& clock) {
    const std::optional<std::int64_t> sent = ParseMailDate(dateHeader);
    if (!sent) return {};
    const std::int64_t now = clock.Now();
    if (*sent > now + kClockDrift) return {};
    // A little ahead is now.
    const std::int64_t at = std::min(*sent, now);
    const std::int64_t local = at + clock.UtcOffset(at);
    const std::int64_t localNow = now + clock.UtcOffset(now);
    const std::int64_t day = FloorDiv(local, kDay);
    const std::int64_t days = FloorDiv(localNow, kDay) - day;
    const std::int64_t second = local - day * kDay;
    const int hour = static_cast<int>(second / 3600);
    const int minute = static_cast<int>(second / 60 % 60);
    if (days == 0) return Cat({"vandaag om ", ClockWords(hour, minute)});
    if (days == 1) return Cat({"gisteren om ", ClockWords(hour, minute)});
    // 1970-01-01 was a Thursday.
    if (days < 7)
        return Cat({"op ", std::string(kDays[static_cast<std::size_t>(((day + 3) % 7 + 7) % 7)])});
    const Civil date = CivilFromDays(day);
    std::string text = Cat({"op ", std::to_string(date.day), " ", kMonths[date.month - 1]});
    if (date.year != CivilFromDays(FloorDiv(localNow, kDay)).year) {
        text += ' ';
        text += std::to_string(date.year);
    }
    return text;
}

} // namespace brevon
