#include "MailWrapping.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "HtmlText.h"
#include "RuleFile.h"
#include "Text1252.h"

namespace zq {

namespace {

constexpr std::array<const char*, 5> kIntroStarts = {"op ", "on ", "am ", "le ", "el "};
constexpr std::array<const char*, 6> kIntroWords = {"schreef",
                                                    "geschreven",
                                                    "wrote",
                                                    "schrieb",
                                                    "\xE9"
                                                    "crit",
                                                    "escribi\xF3"};
constexpr std::array<const char*, 6> kOriginalMarkers = {
    "oorspronkelijk bericht",     "original message",  "origineel bericht",
    "urspr\xFCngliche nachricht", "message d'origine", "oorspronkelijke bericht"};
constexpr std::array<const char*, 5> kForwardMarkers = {"forwarded message", "doorgestuurd bericht",
                                                        "doorgestuurde bericht", "forwarded e-mail",
                                                        "doorgestuurde e-mail"};
constexpr std::array<const char*, 4> kSentFields = {"verzonden:", "sent:", "datum:", "date:"};
constexpr std::array<const char*, 2> kSubjectFields = {"onderwerp:", "subject:"};

enum class Field { None, From, Subject, Recipients, Other };
struct FieldName {
    const char* label;
    Field field;
};
// Longer labels first: "Verzonden op:" before "Verzonden:".
constexpr std::array<FieldName, 25> kFields = {{
    {"van", Field::From},
    {"from", Field::From},
    {"afzender", Field::From},
    {"onderwerp", Field::Subject},
    {"subject", Field::Subject},
    {"betreft", Field::Subject},
    {"aan", Field::Recipients},
    {"to", Field::Recipients},
    {"cc", Field::Recipients},
    {"bcc", Field::Recipients},
    {"kopie", Field::Recipients},
    {"verzonden op", Field::Other},
    {"verzonden", Field::Other},
    {"sent", Field::Other},
    {"datum", Field::Other},
    {"date", Field::Other},
    {"beantwoorden aan", Field::Other},
    {"antwoord aan", Field::Other},
    {"reply-to", Field::Other},
    {"urgentie", Field::Other},
    {"prioriteit", Field::Other},
    {"importance", Field::Other},
    {"priority", Field::Other},
    {"bijlagen", Field::Other},
    {"attachments", Field::Other},
}};
// What replies and forwards put before a subject.
constexpr std::array<const char*, 9> kSubjectPrefixes = {
    "re:", "fw:", "fwd:", "doorst:", "antw:", "tr:", "wg:", "aw:", "ant:"};
constexpr std::array<const char*, 8> kPostscripts = {"p.s", "ps.", "ps:", "ps ",
                                                     "n.b", "nb:", "nb ", "pps"};
constexpr std::array<const char*, 7> kImageExtensions = {".gif",  ".png", ".jpg", ".jpeg",
                                                         ".webp", ".bmp", ".svg"};
// Words around the names in a row of social media links: "Volg ons op Facebook en Instagram".
constexpr std::array<const char*, 12> kFollowWords = {
    "volg", "ons", "op", "via", "follow", "us", "on", "en", "and", "vind", "find", "like"};

constexpr std::size_t kMaxClosingLine = 80;
constexpr std::size_t kMaxNameLine = 60;
// Lines under a name searched for contact details; a block is seldom longer.
constexpr std::size_t kMaxSignatureLines = 25;
// A longer line is a sentence, not a line of a signature or a footer.
constexpr std::size_t kMaxSignatureLine = 100;
constexpr std::size_t kMaxLinkRow = 200;
constexpr std::size_t kMaxContactLine = 160;
// A paragraph of contact details beside a footer: the sender's address, a copyright.
constexpr std::size_t kMaxFooterParagraph = 8;
constexpr std::size_t kMaxHeaderLines = 16;
// A longer line is the letter itself (an HTML part without breaks), never a disclaimer to drop.
constexpr std::size_t kMaxFooterLine = 3000;
constexpr std::size_t kMaxIntro = 300;
// A footer known by its look is a few lines of small print; a longer run of it is the letter.
constexpr std::size_t kMaxLookedFooterLines = 20;
// Words of the letter a footer known by its look must follow: a mail all in small print is read.
constexpr std::size_t kMinLetterWords = 8;
// Marks of a company's legal lines: copyright, registration and tax numbers.
constexpr std::array<const char*, 16> kLegalMarks = {"\xA9",
                                                     "(c)",
                                                     "copyright",
                                                     "kvk",
                                                     "k.v.k",
                                                     "btw",
                                                     "iban",
                                                     "vat",
                                                     "tva",
                                                     "kbo",
                                                     "ondernemingsnummer",
                                                     "handelsregister",
                                                     "siret",
                                                     "registered in",
                                                     "company no",
                                                     "ust-id"};

template <std::size_t N>
bool startsWithAny(std::string_view s, const std::array<const char*, N>& list) {
    for (const char* p : list)
        if (startsWithNoCase(s, p)) return true;
    return false;
}

template <class List> bool containsExactly(const List& list, std::string_view s) {
    return std::find(list.begin(), list.end(), s) != list.end();
}

bool containsNoCase(std::string_view hay, std::string_view needle) {
    return lower(hay).find(lower(needle)) != std::string::npos;
}

std::size_t wordCount(std::string_view s) {
    std::size_t words = 0;
    bool in = false;
    for (char c : s) {
        const bool blank = isSpace(c) || uc(c) == 0xA0;
        if (!blank && !in) ++words;
        in = !blank;
    }
    return words;
}

bool endsSentence(std::string_view s) {
    s = trim(s);
    return !s.empty() && (s.back() == '.' || s.back() == '!' || s.back() == '?');
}

// A sentence or a long line: text of the letter, not a line of a signature or footer.
bool isProse(std::string_view s) {
    s = trim(s);
    if (s.size() > kMaxSignatureLine) return true;
    if (wordCount(s) < 5 || !endsSentence(s)) return false;
    // "Tuincentrum De Groene Vingers B.V." ends in an abbreviation, not a sentence
    const std::string_view last = s.substr(s.find_last_of(' ') + 1);
    return last.substr(0, last.size() - 1).find('.') == std::string_view::npos;
}

bool isSymbolsOnly(std::string_view s) {
    return std::none_of(s.begin(), s.end(), isAlnum);
}

// Nine digits or more with only spacing between them: "+31 (0)20 123 4567", "06-12345678".
bool hasPhoneNumber(std::string_view s) {
    std::size_t digits = 0;
    for (char c : s) {
        if (isDigit(c)) {
            if (++digits >= 9) return true;
        } else if (c != ' ' && c != '-' && c != '.' && c != '(' && c != ')' && c != '+' &&
                   c != '/') {
            digits = 0;
        }
    }
    return false;
}

// A Dutch postcode ("1234 AB") or a Belgian one with its country letter ("B-1000").
bool hasPostcode(std::string_view s) {
    auto upperAscii = [](char c) { return c >= 'A' && c <= 'Z'; };
    for (std::size_t i = 0; i + 4 <= s.size(); ++i) {
        if (i > 0 && isAlnum(s[i - 1])) continue;
        if (s.substr(i).starts_with("B-") && i + 6 <= s.size() &&
            std::all_of(s.begin() + i + 2, s.begin() + i + 6, isDigit))
            return true;
        if (s[i] == '0' || !std::all_of(s.begin() + i, s.begin() + i + 4, isDigit)) continue;
        std::size_t j = i + 4;
        if (j < s.size() && s[j] == ' ') ++j;
        if (j + 2 <= s.size() && upperAscii(s[j]) && upperAscii(s[j + 1]) &&
            (j + 2 == s.size() || !isLetter(s[j + 2])))
            return true;
    }
    return false;
}

// A postcode of another country before a place name ("10115 Berlin", "75008 Paris") or a British
// one ("CB2 1RX").
bool hasForeignPostcode(std::string_view s) {
    auto upperAscii = [](char c) { return c >= 'A' && c <= 'Z'; };
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (i > 0 && isAlnum(s[i - 1])) continue;
        std::size_t j = i;
        while (j < s.size() && isDigit(s[j]))
            ++j;
        if ((j - i == 4 || j - i == 5) && j + 2 < s.size() && s[j] == ' ' && isUpper(s[j + 1]) &&
            isLetter(s[j + 2]) && !isUpper(s[j + 2]))
            return true;
        // outward code: one or two letters, a digit, maybe a letter or digit; inward: digit, two
        // letters
        j = i;
        while (j < s.size() && j - i < 2 && upperAscii(s[j]))
            ++j;
        if (j == i || j >= s.size() || !isDigit(s[j])) continue;
        ++j;
        if (j < s.size() && (isDigit(s[j]) || upperAscii(s[j]))) ++j;
        if (j + 4 <= s.size() && s[j] == ' ' && isDigit(s[j + 1]) && upperAscii(s[j + 2]) &&
            upperAscii(s[j + 3]) && (j + 4 == s.size() || !isAlnum(s[j + 4])))
            return true;
    }
    return false;
}

// True when a word or mark of list stands on its own in text (lower case).
template <std::size_t N>
bool hasMark(std::string_view text, const std::array<const char*, N>& list) {
    for (const char* mark : list) {
        const std::string_view m = mark;
        const bool word = isLetter(m.front());
        for (std::size_t at = text.find(m); at != std::string_view::npos;
             at = text.find(m, at + 1)) {
            if (!word) return true;
            const std::size_t end = at + m.size();
            if ((at == 0 || !isAlnum(text[at - 1])) && (end == text.size() || !isLetter(text[end])))
                return true;
        }
    }
    return false;
}

// A line with the sender's address, telephone number or legal marks.
bool isAddressOrLegalLine(std::string_view line) {
    return hasPostcode(line) || hasForeignPostcode(line) || hasPhoneNumber(line) ||
           hasMark(lower(line), kLegalMarks);
}

bool hasWebOrMail(std::string_view s) {
    const std::string l = lower(s);
    if (l.find("www.") != std::string::npos || l.find("http://") != std::string::npos ||
        l.find("https://") != std::string::npos)
        return true;
    const std::size_t at = l.find('@');
    return at != std::string::npos && at > 0 && l.find('.', at) != std::string::npos;
}

// The item of a line in a list separated by '|', bullets or wide spaces.
std::vector<std::string_view> splitItems(std::string_view line) {
    std::vector<std::string_view> items;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= line.size(); ++i) {
        std::size_t width = 0;
        if (i == line.size()) {
            width = 1;
        } else {
            const unsigned char c = uc(line[i]);
            if (c == '|' || c == 0x95 || c == 0xB7 || c == 0xA6 || c == '\t') width = 1;
            if (line.substr(i).starts_with("  ") || line.substr(i).starts_with(" - ") ||
                line.substr(i).starts_with(" / ") || line.substr(i).starts_with(" \x96 "))
                width = 3;
        }
        if (width == 0) continue;
        items.push_back(trim(line.substr(start, i - start)));
        start = i + width;
        i = start - 1;
    }
    return items;
}

// The text of an item without bracketed parts ("[image: X]", "<https://...>") and links; sets
// debris when there were any.
std::string withoutLinks(std::string_view item, bool& debris) {
    std::string out;
    for (std::size_t i = 0; i < item.size(); ++i) {
        const char c = item[i];
        if (c == '[' || c == '<') {
            const std::size_t close = item.find(c == '[' ? ']' : '>', i);
            if (close != std::string_view::npos) {
                debris = true;
                i = close;
                out += ' ';
                continue;
            }
        }
        out += toLower(c);
    }
    // words that are links
    std::string kept;
    for (std::size_t i = 0; i < out.size();) {
        while (i < out.size() && out[i] == ' ')
            ++i;
        std::size_t j = i;
        while (j < out.size() && out[j] != ' ')
            ++j;
        const std::string_view word = std::string_view(out).substr(i, j - i);
        if (word.starts_with("http") || word.starts_with("www.") ||
            word.find('@') != std::string_view::npos) {
            debris = true;
        } else if (!word.empty()) {
            if (!kept.empty()) kept += ' ';
            kept += word;
        }
        i = j;
    }
    std::string_view t = kept;
    while (!t.empty() && (t.back() == ':' || t.back() == ',' || t.back() == '.' ||
                          t.back() == '!' || t.back() == '>' || t.back() == '\x94'))
        t.remove_suffix(1);
    return std::string(trim(t));
}

bool isIntroText(std::string_view t) {
    if (t.size() > kMaxIntro || t.empty() || t.back() != ':') return false;
    std::string_view body = trim(t.substr(0, t.size() - 1));
    for (const char* w : kIntroWords) {
        if (!containsNoCase(t, w)) continue;
        if (startsWithAny(t, kIntroStarts)) return true;
        // "Jan schreef:"
        if (endsWithNoCase(body, w)) return true;
    }
    return false;
}

// True when the next line with text is quoted ('>').
bool quoteFollows(const std::vector<std::string>& lines, std::size_t idx) {
    for (std::size_t k = idx; k < lines.size(); ++k) {
        std::string_view content;
        const std::size_t depth = quoteDepth(lines[k], content);
        if (depth > 0) return true;
        if (!trim(content).empty()) return false;
    }
    return false;
}

Field headerField(std::string_view t, std::string_view& value) {
    for (const FieldName& f : kFields) {
        if (!startsWithNoCase(t, f.label)) continue;
        std::size_t i = std::strlen(f.label);
        while (i < t.size() && (t[i] == ' ' || t[i] == '\t'))
            ++i;
        if (i < t.size() && t[i] == ':') {
            value = trim(t.substr(i + 1));
            return f.field;
        }
    }
    return Field::None;
}

// "Jan Jansen <jan@example.nl>" -> "Jan Jansen"; an address alone stays.
std::string senderName(std::string_view value) {
    value = trim(value);
    const std::size_t open = value.find_first_of("<[");
    std::string_view name = trim(value.substr(0, open));
    while (!name.empty() && (name.front() == '"' || name.front() == '\''))
        name.remove_prefix(1);
    while (!name.empty() && (name.back() == '"' || name.back() == '\''))
        name.remove_suffix(1);
    name = trim(name);
    if (!name.empty() || open == std::string_view::npos) return std::string(name);
    std::string_view address = value.substr(open + 1);
    address = address.substr(0, address.find_first_of(">]"));
    if (startsWithNoCase(address, "mailto:")) address.remove_prefix(7);
    return std::string(trim(address));
}

std::string bareSubject(std::string_view value) {
    value = trim(value);
    for (bool cut = true; cut;) {
        cut = false;
        for (const char* prefix : kSubjectPrefixes) {
            if (startsWithNoCase(value, prefix)) {
                value = trim(value.substr(std::strlen(prefix)));
                cut = true;
            }
        }
    }
    return std::string(value);
}

std::vector<std::string> lowerEntries(const RuleFile& rules, const char* section) {
    std::vector<std::string> out;
    for (const auto& [key, unused] : rules.section(section))
        out.push_back(lower(key));
    return out;
}

// A name under a closing: a few words, no digits, no sentence.
bool isNameLike(std::string_view s) {
    s = trim(s);
    while (!s.empty() && (s.back() == ',' || s.back() == '.'))
        s.remove_suffix(1);
    if (s.empty() || s.size() > kMaxNameLine || wordCount(s) > 5 || !isUpper(s[0])) return false;
    return std::none_of(s.begin(), s.end(),
                        [](char c) { return isDigit(c) || c == '@' || c == '!' || c == '?'; });
}

} // namespace

std::size_t quoteDepth(std::string_view line, std::string_view& content) {
    std::size_t depth = 0, i = 0;
    for (;;) {
        std::size_t j = i;
        while (j < line.size() && (line[j] == ' ' || line[j] == '\t') && j - i < 4)
            ++j;
        if (j < line.size() && line[j] == '>') {
            ++depth;
            i = j + 1;
        } else {
            break;
        }
    }
    content = depth > 0 ? line.substr(i) : line;
    return depth;
}

std::string_view lineContent(std::string_view line) {
    std::string_view content;
    quoteDepth(line, content);
    return trim(content);
}

// Mail programs may wrap an introduction over two lines. An ordinary sentence such as "Op zijn
// blog schreef hij:" does not count: an introduction names a date or an address, or quoted lines
// follow.
std::size_t introLines(const std::vector<std::string>& lines, std::size_t idx) {
    const std::string_view t = lineContent(lines[idx]);
    std::size_t count = 0;
    std::string joined(t);
    if (isIntroText(t)) {
        count = 1;
    } else if (idx + 1 < lines.size() && startsWithAny(t, kIntroStarts) && !t.empty() &&
               t.back() != ':') {
        joined = cat(t, " ", lineContent(lines[idx + 1]));
        if (isIntroText(joined)) count = 2;
    }
    if (count == 0) return 0;
    const bool datedOrAddressed =
        std::any_of(joined.begin(), joined.end(), [](char c) { return isDigit(c) || c == '@'; });
    return datedOrAddressed || quoteFollows(lines, idx + count) ? count : 0;
}

namespace {

std::string_view undecorated(std::string_view t) {
    auto decoration = [](char c) {
        return c == '-' || c == '_' || c == ' ' || c == '*' || c == '=' || c == ':';
    };
    while (!t.empty() && decoration(t.front()))
        t.remove_prefix(1);
    while (!t.empty() && decoration(t.back()))
        t.remove_suffix(1);
    return t;
}

} // namespace

bool isOriginalMarker(std::string_view t) {
    if (!t.starts_with("--") && !t.starts_with("__")) return false;
    t = undecorated(t);
    for (const char* m : kOriginalMarkers)
        if (equalsNoCase(t, m)) return true;
    return false;
}

bool isForwardMarker(std::string_view t) {
    if (t.size() > 80) return false;
    t = undecorated(t);
    // "begin ...", "start ...", "forwarded ...", "doorgestuurd ..."
    const char first = t.empty() ? ' ' : toLower(t[0]);
    if (first != 'b' && first != 's' && first != 'f' && first != 'd') return false;
    for (const char* start : {"begin ", "start "})
        if (startsWithNoCase(t, start)) t.remove_prefix(std::strlen(start));
    for (const char* m : kForwardMarkers)
        if (equalsNoCase(t, m)) return true;
    return false;
}

bool isReplyHeaderBlock(const std::vector<std::string>& lines, std::size_t idx) {
    const std::string_view t = lineContent(lines[idx]);
    if (!startsWithNoCase(t, "van:") && !startsWithNoCase(t, "from:")) return false;
    bool sent = false, subject = false;
    for (std::size_t k = idx + 1; k < lines.size() && k <= idx + 6; ++k) {
        const std::string_view l = lineContent(lines[k]);
        sent = sent || startsWithAny(l, kSentFields);
        subject = subject || startsWithAny(l, kSubjectFields);
    }
    return sent && subject;
}

MessageHeader readMessageHeader(const std::vector<std::string>& lines, std::size_t idx) {
    MessageHeader header;
    std::size_t fields = 0, k = idx;
    bool recipients = false;
    for (; k < lines.size() && k < idx + kMaxHeaderLines; ++k) {
        const std::string_view t = lineContent(lines[k]);
        if (t.empty()) break;
        std::string_view value;
        const Field field = headerField(t, value);
        if (field == Field::None) {
            // a list of recipients wrapped onto the next line
            if (recipients &&
                (t.find('@') != std::string_view::npos || t.back() == ';' || t.back() == ','))
                continue;
            break;
        }
        ++fields;
        recipients = field == Field::Recipients;
        if (field == Field::From && header.from.empty()) header.from = senderName(value);
        if (field == Field::Subject && header.subject.empty()) header.subject = bareSubject(value);
    }
    header.end = k;
    header.found = fields >= 2;
    return header;
}

std::string forwardIntroduction(const MessageHeader& header) {
    std::string s = "Doorgestuurd bericht";
    if (!header.from.empty()) s += cat(" van ", header.from);
    if (!header.subject.empty()) s += cat(", onderwerp: ", header.subject);
    if (!endsSentence(s)) s += '.';
    return s;
}

void MailWrapping::setRules(const RuleFile& rules) {
    clearRules();
    closings_ = lowerEntries(rules, "afsluitingen");
    std::stable_sort(
        closings_.begin(), closings_.end(),
        [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    closingIndex_.build(closings_);
    footerPhrases_.set(lowerEntries(rules, "voetteksten"));
    linkLabels_ = lowerEntries(rules, "voetlinks");
    optOutWords_ = lowerEntries(rules, "afmelden");
    social_ = lowerEntries(rules, "sociale media");
    contactLabels_ = lowerEntries(rules, "contactvelden");
    forwardCues_ = lowerEntries(rules, "doorsturen");
    placeholders_ = lowerEntries(rules, "plaatshouders");
    greetings_ = lowerEntries(rules, "groeten");
    greetingIndex_.build(greetings_);
}

void MailWrapping::clearRules() {
    footerPhrases_.set({});
    for (auto* list : {&closings_, &linkLabels_, &optOutWords_, &social_, &contactLabels_,
                       &forwardCues_, &placeholders_, &greetings_})
        list->clear();
    closingIndex_.build(closings_);
    greetingIndex_.build(greetings_);
}

std::size_t MailWrapping::closingLength(std::string_view line) const {
    for (std::size_t k : closingIndex_.candidates(line)) {
        const std::string& c = closings_[k];
        if (startsWithNoCase(line, c) && (line.size() == c.size() || !isLetter(line[c.size()])))
            return c.size();
    }
    return 0;
}

// "Groet,", "Met vriendelijke groet / Kind regards", "Groeten, Piet".
bool MailWrapping::isClosingLine(std::string_view line, bool& withName) const {
    withName = false;
    if (line.size() > kMaxClosingLine) return false;
    std::string_view rest = line;
    for (int closings = 0; closings < 2; ++closings) {
        const std::size_t n = closingLength(rest);
        if (n == 0) break;
        rest.remove_prefix(n);
        while (!rest.empty() && (isSpace(rest.front()) || rest.front() == ',' ||
                                 rest.front() == '.' || rest.front() == '!' ||
                                 rest.front() == '/' || rest.front() == '|' || rest.front() == '-'))
            rest.remove_prefix(1);
        if (rest.empty()) return true;
    }
    if (rest.size() == line.size() || !isNameLike(rest)) return false;
    withName = true;
    return true;
}

std::uint32_t MailWrapping::PhraseFinder::key(const char* p) {
    std::uint32_t k = 0;
    std::memcpy(&k, p, sizeof k);
    return k;
}

void MailWrapping::PhraseFinder::set(std::vector<std::string> phrases) {
    phrases_ = std::move(phrases);
    byKey_.clear();
    short_.clear();
    mayStart_.reset();
    for (std::size_t i = 0; i < phrases_.size(); ++i) {
        if (phrases_[i].size() < sizeof(std::uint32_t)) {
            short_.push_back(phrases_[i]);
            continue;
        }
        const std::uint32_t k = key(phrases_[i].data());
        byKey_.emplace_back(k, i);
        mayStart_.set(slot(k));
    }
    std::sort(byKey_.begin(), byKey_.end());
}

std::size_t MailWrapping::PhraseFinder::first(std::string_view text) const {
    std::size_t best = std::string_view::npos;
    for (const std::string& p : short_)
        best = std::min(best, text.find(p));
    const std::size_t end = std::min(best, text.size() < 4 ? 0 : text.size() - 3);
    for (std::size_t i = 0; i < end; ++i) {
        const std::uint32_t k = key(text.data() + i);
        if (!mayStart_.test(slot(k))) continue;
        const auto range =
            std::equal_range(byKey_.begin(), byKey_.end(), std::make_pair(k, std::size_t{0}),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto it = range.first; it != range.second; ++it)
            if (text.substr(i).starts_with(phrases_[it->second])) return i;
    }
    return best;
}

std::size_t MailWrapping::firstFooterPhrase(const std::string& text) const {
    return footerPhrases_.first(text);
}

bool MailWrapping::isLabel(std::string_view item) const {
    return containsExactly(linkLabels_, item);
}

bool MailWrapping::isSocial(std::string_view word) const {
    return containsExactly(social_, word);
}

bool MailWrapping::isLinkRow(std::string_view line) const {
    if (line.size() > kMaxLinkRow || (linkLabels_.empty() && social_.empty())) return false;
    // a sentence without separators or links is no row of links
    std::size_t words = 0;
    bool separated = false;
    for (std::size_t i = 0; i < line.size() && !separated; ++i) {
        const unsigned char c = uc(line[i]);
        separated = c == '|' || c == 0x95 || c == 0xB7 || c == 0xA6 || c == '\t' || c == '[' ||
                    c == '<' || (c == ' ' && i + 1 < line.size() && line[i + 1] == ' ');
        words += c != ' ' && (i == 0 || line[i - 1] == ' ') ? 1 : 0;
    }
    if (!separated && words > 8) return false;
    const std::vector<std::string_view> items = splitItems(line);
    std::size_t counted = 0, unknown = 0;
    bool debris = false;
    for (std::string_view item : items) {
        const std::string plain = withoutLinks(item, debris);
        if (plain.empty()) continue;
        if (isLabel(plain)) {
            ++counted;
            continue;
        }
        // "Volg ons op Facebook en Instagram"
        std::size_t socials = 0, others = 0;
        bool follow = false;
        for (std::size_t i = 0; i < plain.size();) {
            std::size_t j = plain.find(' ', i);
            if (j == std::string::npos) j = plain.size();
            const std::string_view word = std::string_view(plain).substr(i, j - i);
            if (isSocial(word))
                ++socials;
            else if (containsExactly(kFollowWords, word))
                follow = true;
            else
                ++others;
            i = j + 1;
        }
        if (others == 0 && socials > 0) {
            counted += socials + (follow ? 1 : 0);
            continue;
        }
        // "Bookings Ltd | Privacy policy | Terms": one short item may name the sender
        if (++unknown > 1 || others + socials > 4) return false;
    }
    if (unknown > 0) return counted >= 2;
    return counted >= 2 || (counted == 1 && (debris || items.size() >= 2));
}

bool MailWrapping::isContactLine(std::string_view line) const {
    line = trim(line);
    if (line.empty() || line.size() > kMaxContactLine) return false;
    if (hasPhoneNumber(line) || hasPostcode(line)) return true;
    if (hasWebOrMail(line) && wordCount(line) <= 6) return true;
    // "T: 020 ...", "Tel. 020 ...", "KvK 1234", "Bezoekadres: ..."
    for (const std::string& label : contactLabels_) {
        if (!startsWithNoCase(line, label)) continue;
        const std::string_view after = line.substr(label.size());
        if (after.empty()) continue;
        const char next = after[0];
        if (next == ':' || next == '.') return true;
        if (label.size() >= 3 && !isLetter(next)) return true;
        const std::string_view value = trim(after);
        if (isSpace(next) && !value.empty() &&
            (isDigit(value[0]) || value[0] == '+' || value[0] == '('))
            return true;
    }
    return false;
}

bool MailWrapping::saysForward(std::string_view text) const {
    const std::string l = lower(text);
    for (const std::string& cue : forwardCues_) {
        for (std::size_t at = l.find(cue); at != std::string::npos; at = l.find(cue, at + 1)) {
            const bool before = at == 0 || !isLetter(l[at - 1]);
            const bool after = at + cue.size() == l.size() || !isLetter(l[at + cue.size()]);
            if (before && after) return true;
        }
    }
    return false;
}

bool MailWrapping::isGreetingOnly(std::string_view line) const {
    line = trim(line);
    if (line.size() > 40) return false;
    for (std::size_t k : greetingIndex_.candidates(line)) {
        const std::string& g = greetings_[k];
        if (startsWithNoCase(line, g) && (line.size() == g.size() || !isLetter(line[g.size()])))
            return true;
    }
    return false;
}

bool MailWrapping::isPlaceholder(std::string_view bracketed) const {
    const std::string c(trim(lower(bracketed)));
    if (c.empty()) return true;
    for (const std::string& p : placeholders_)
        if (c.starts_with(p)) return true;
    if (c.starts_with("http") || c.starts_with("www.") || isSocial(c)) return true;
    return std::any_of(kImageExtensions.begin(), kImageExtensions.end(),
                       [&](const char* e) { return c.ends_with(e); });
}

std::vector<LineRole> MailWrapping::roles(const std::vector<std::string>& lines,
                                          bool skipQuoted) const {
    const std::size_t n = lines.size();
    std::vector<LineRole> role(n, LineRole::Text);
    std::vector<std::size_t> depth(n);
    std::vector<std::string_view> text(n);
    // lines looked at: not skipped as quoted, and not so long that they are the letter itself
    std::vector<bool> candidate(n);
    for (std::size_t i = 0; i < n; ++i) {
        std::string_view content;
        depth[i] = quoteDepth(lines[i], content);
        text[i] = trim(content);
        candidate[i] =
            !text[i].empty() && !(skipQuoted && depth[i] > 0) && text[i].size() <= kMaxFooterLine;
        if (candidate[i] && isLinkRow(text[i])) role[i] = LineRole::Wrapping;
    }

    // Paragraphs: runs of lines with text at one quote depth.
    struct Paragraph {
        std::size_t begin, end;
        bool footer;
    };
    std::vector<Paragraph> paragraphs;
    for (std::size_t i = 0; i < n;) {
        if (!candidate[i]) {
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        while (j < n && candidate[j] && depth[j] == depth[i])
            ++j;
        paragraphs.push_back({i, j, false});
        i = j;
    }

    // Disclaimers and footers: from the sentence with a footer phrase to the end of its paragraph.
    // The phrase may be wrapped over two lines, so the paragraph is searched as one text.
    if (!footerPhrases_.empty()) {
        std::string joined;
        std::vector<std::size_t> starts;
        for (Paragraph& p : paragraphs) {
            joined.clear();
            starts.clear();
            for (std::size_t k = p.begin; k < p.end; ++k) {
                starts.push_back(joined.size());
                joined += lower(text[k]);
                joined += ' ';
            }
            const std::size_t at = firstFooterPhrase(joined);
            if (at == std::string::npos) continue;
            std::size_t line = static_cast<std::size_t>(
                std::upper_bound(starts.begin(), starts.end(), at) - starts.begin() - 1);
            // back to the line where its sentence starts: a wrapped sentence goes on in lower case
            for (std::size_t col = at - starts[line]; line > 0; col = text[p.begin + line].size()) {
                const std::string_view before = text[p.begin + line].substr(0, col);
                if (before.find(". ") != std::string_view::npos ||
                    before.find("! ") != std::string_view::npos ||
                    before.find("? ") != std::string_view::npos)
                    break;
                const std::string_view here = text[p.begin + line];
                if (isUpper(here[0]) || !isLetter(here[0]) ||
                    endsSentence(text[p.begin + line - 1]))
                    break;
                --line;
            }
            // above it, the sender's name and address belong to the footer; a closing and the
            // name under it do not
            bool unused = false;
            while (line > 0) {
                const std::size_t k = p.begin + line - 1;
                const bool closingAbove = k > p.begin && isClosingLine(text[k - 1], unused);
                if (isClosingLine(text[k], unused) || closingAbove) break;
                const bool nameAboveContact = text[k].size() <= kMaxNameLine && !isProse(text[k]) &&
                                              isContactLine(text[k + 1]);
                if (!isContactLine(text[k]) && !nameAboveContact) break;
                --line;
            }
            for (std::size_t k = p.begin + line; k < p.end; ++k)
                role[k] = LineRole::Wrapping;
            p.footer = line == 0;
        }
    }

    // Signatures: a closing, a name, and under it title, company, address, telephone numbers and
    // links. The closing and the name are read; the rest goes when it holds contact details.
    auto boundary = [&](std::size_t k) {
        return text[k] == "--" || text[k].starts_with("-----BEGIN PGP") ||
               introLines(lines, k) > 0 || isOriginalMarker(text[k]) || isForwardMarker(text[k]) ||
               isReplyHeaderBlock(lines, k);
    };
    for (std::size_t i = 0; i < n; ++i) {
        bool withName = false;
        if (role[i] != LineRole::Text || !candidate[i] || !isClosingLine(text[i], withName))
            continue;
        role[i] = LineRole::Closing;
        std::size_t from = i + 1;
        if (!withName) {
            std::size_t m = from;
            while (m < n && m < from + 2 && text[m].empty())
                ++m;
            bool nameOnly = false;
            if (m < n && depth[m] == depth[i] && role[m] == LineRole::Text && !text[m].empty() &&
                text[m].size() <= kMaxSignatureLine && !isProse(text[m]) && !boundary(m) &&
                !isClosingLine(text[m], nameOnly)) {
                if (!isContactLine(text[m])) {
                    role[m] = LineRole::Name;
                    from = m + 1;
                } else if (splitItems(text[m]).size() > 1) {
                    role[m] = LineRole::NameOnly;
                    from = m + 1;
                }
            }
        }
        std::size_t last = from;
        bool contact = false;
        for (std::size_t m = from; m < n && m < from + kMaxSignatureLines; ++m) {
            if (text[m].empty() || isSymbolsOnly(text[m])) continue;
            if (depth[m] != depth[i] || boundary(m)) break;
            bool unused = false;
            if (startsWithAny(text[m], kPostscripts)) break; // a postscript or a note: the letter
            if (role[m] == LineRole::Wrapping || isContactLine(text[m])) {
                contact = true;
                last = m + 1;
                continue;
            }
            // a line that introduces what follows ("Mijn nieuwe adres:") is the letter going on
            if (role[m] != LineRole::Text || isProse(text[m]) || text[m].back() == ':' ||
                isClosingLine(text[m], unused))
                break;
        }
        if (!contact) continue;
        for (std::size_t m = from; m < last; ++m)
            if (!text[m].empty()) role[m] = LineRole::Wrapping;
        i = last - 1;
    }
    // Next to a footer, a short paragraph of contact details belongs to it: the sender's address,
    // a copyright line.
    auto footerLike = [&](const Paragraph& p) {
        if (p.end - p.begin > kMaxFooterParagraph) return false;
        bool contact = false;
        for (std::size_t k = p.begin; k < p.end; ++k) {
            // "Het adres is:" or a question introduces what follows: the letter, not a footer
            if ((text[k].back() == ':' || text[k].back() == '?') && !isContactLine(text[k]))
                return false;
            if (role[k] == LineRole::Wrapping || role[k] == LineRole::NameOnly ||
                isContactLine(text[k])) {
                contact = true;
            } else if (isProse(text[k])) {
                return false;
            }
        }
        return contact;
    };
    auto absorb = [&](Paragraph& p) {
        p.footer = true;
        for (std::size_t k = p.begin; k < p.end; ++k)
            if (role[k] == LineRole::Text) role[k] = LineRole::Wrapping;
    };
    for (std::size_t k = 1; k < paragraphs.size(); ++k)
        if (paragraphs[k - 1].footer && !paragraphs[k].footer && footerLike(paragraphs[k]) &&
            depth[paragraphs[k].begin] == depth[paragraphs[k - 1].begin])
            absorb(paragraphs[k]);
    for (std::size_t k = paragraphs.size(); k-- > 1;)
        if (paragraphs[k].footer && !paragraphs[k - 1].footer && footerLike(paragraphs[k - 1]) &&
            depth[paragraphs[k].begin] == depth[paragraphs[k - 1].begin])
            absorb(paragraphs[k - 1]);

    return role;
}

bool MailWrapping::hasOptOutWord(std::string_view line, std::string_view targets) const {
    const std::string text = lower(line);
    return std::any_of(optOutWords_.begin(), optOutWords_.end(), [&](const std::string& w) {
        return text.find(w) != std::string::npos || targets.find(w) != std::string_view::npos;
    });
}

std::size_t MailWrapping::footerByLook(const std::vector<HtmlLine>& lines) const {
    const std::size_t n = lines.size();
    std::vector<std::string_view> text(n);
    std::vector<bool> quoted(n);
    for (std::size_t k = 0; k < n; ++k) {
        std::string_view content;
        quoted[k] = quoteDepth(lines[k].text, content) > 0;
        text[k] = trim(content);
    }
    auto blank = [&](std::size_t k) { return text[k].empty(); };
    // Small print (or a row of links, which nobody reads) of the message itself, and not what
    // ends the letter: a closing, the name under it, a postscript.
    auto mayBelong = [&](std::size_t k) {
        const std::string_view t = text[k];
        bool withName = false;
        if (quoted[k] || t.size() > kMaxFooterLine ||
            (!lines[k].look.smallPrint && !isLinkRow(t)) || isClosingLine(t, withName) ||
            startsWithAny(t, kPostscripts))
            return false;
        std::size_t above = k;
        while (above > 0 && blank(above - 1) && k - above < 2)
            --above;
        return !(above > 0 && isNameLike(t) && isClosingLine(text[above - 1], withName));
    };
    auto hasSign = [&](std::size_t k) {
        return lines[k].look.links > 0 || isLinkRow(text[k]) || isAddressOrLegalLine(text[k]) ||
               hasOptOutWord(text[k], lines[k].look.targets);
    };

    // Up from the end, paragraph by paragraph, while each shows a sign of a footer: a paragraph
    // of small print without one (terms of an offer, a last remark) and what is above it stay.
    std::size_t start = n, footerLines = 0;
    for (std::size_t end = n;;) {
        while (end > 0 && blank(end - 1))
            --end;
        std::size_t top = end;
        bool sign = false;
        while (top > 0 && !blank(top - 1) && mayBelong(top - 1)) {
            --top;
            if (footerLines + (end - top) > kMaxLookedFooterLines) return n;
            sign = sign || hasSign(top);
        }
        if (top == end || !sign) break;
        start = top;
        footerLines += end - top;
        if (top > 0 && !blank(top - 1)) break; // the paragraph goes on above in other print
        end = top;
    }
    if (start == n) return n;

    std::size_t letterWords = 0;
    for (std::size_t k = 0; k < start && letterWords < kMinLetterWords; ++k)
        if (!lines[k].look.smallPrint) letterWords += wordCount(text[k]);
    if (letterWords < kMinLetterWords) return n;

    bool links = false, row = false, address = false, optOut = false;
    for (std::size_t k = start; k < n; ++k) {
        links = links || lines[k].look.links > 0;
        row = row || lines[k].look.links >= 2 || isLinkRow(text[k]);
        address = address || isAddressOrLegalLine(text[k]);
        optOut = optOut || hasOptOutWord(text[k], lines[k].look.targets);
    }
    const int signs = int(links) + int(row) + int(address) + int(optOut);
    return signs >= 3 ? start : n;
}

std::string_view nameBeforeDetails(std::string_view line) {
    const std::vector<std::string_view> items = splitItems(trim(line));
    return items.empty() ? trim(line) : items.front();
}

} // namespace zq
