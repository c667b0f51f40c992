// When a message arrived, said relative to now in Dutch: "vandaag om tien over negen",
// "gisteren om half vier", "op maandag", "op 3 maart".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brevon {

// The time now and the user's time zone; the program's answers from the system, tests' from a
// fake.
class Clock {
public:
    virtual ~Clock() = default;
    // Seconds since 1970-01-01 00:00 UTC.
    virtual std::int64_t Now() const = 0;
    // Seconds east of UTC of the user's zone at that moment (summer time included).
    virtual std::int32_t UtcOffset(std::int64_t utc) const = 0;
};

// The system's clock and zone.
const Clock& SystemClock();

// A Date header value (RFC 5322 3.3, with the obsolete forms of 4.3: two-digit years, zone
// names) as seconds since 1970 UTC; nothing for a value that is no date or no possible one.
std::optional<std::int64_t> ParseMailDate(std::string_view value);

// The Date header relative to now in the user's zone. Empty for a missing or unreadable date
// and for one further ahead than a sender's clock may drift. Windows-1252.
std::string ArrivalPhrase(std::string_view dateHeader, const Clock& clock);

} // namespace brevon
