// Schoonmaken: cleans a mail body for speech. HTML source becomes text (and is dropped when it
// repeats the plain alternative before it), quoted replies go on request while a forwarded
// message is read after a short introduction, signatures' contact blocks, disclaimers, newsletter
// footers, separator lines and encoded garbage go, URLs and e-mail addresses get a short speakable
// form and common abbreviations are written out.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "MailWrapping.h"
#include "Text1252.h"

namespace zq {

class RuleFile;

class Schoonmaken {
public:
    // Sections [afkortingen] ("bijv. = bijvoorbeeld") and [weglaten] (lines starting with these
    // words are dropped: "Verzonden vanaf mijn"), and those MailWrapping reads.
    void setRules(const RuleFile& rules);
    void clearRules();

    // The cleaned text, lines separated by CR LF; empty when nothing speakable is left.
    std::string process(std::string_view text, bool skipQuoted) const;

private:
    std::vector<std::string> cleanSegment(const std::vector<std::string>& lines,
                                          bool skipQuoted) const;
    std::string cleanLine(std::string_view line) const;
    // The line without bracketed stand-ins for images, and with links apart from the words
    // before them.
    std::string withoutImages(std::string_view line) const;
    std::string cleanToken(std::string_view token, bool lastInLine) const;

    std::vector<std::pair<std::string, std::string>> abbreviations_; // longest first
    std::vector<std::string> abbreviationKeys_;
    FirstLetterIndex abbreviationIndex_;
    std::vector<std::string> dropPrefixes_;
    MailWrapping wrapping_;
};

// The speakable form of a host name: "www.example.nl" -> "example punt n l".
std::string speakableHost(std::string_view host);
// "jan.jansen@example.nl" -> "jan punt jansen apenstaartje example punt n l".
std::string speakableAddress(std::string_view address);

} // namespace zq
