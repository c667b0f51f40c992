#include "Schoonmaken.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <set>

#include "HtmlText.h"
#include "MailWrapping.h"
#include "RuleFile.h"
#include "Text1252.h"

namespace zq {

namespace {

// Beyond these lengths a token is an encoded blob, a hash or a tracking id rather than a word.
// Dutch compounds grow long ("arbeidsongeschiktheidsverzekering"), so a token of letters gets
// more room than one mixing letters, digits and symbols.
constexpr std::size_t kMaxWord = 64;
constexpr std::size_t kMaxMixedToken = 40;
constexpr std::size_t kMaxSwitchingToken = 24;
// A link whose path and query are longer is read as "een link naar" its host.
constexpr std::size_t kMaxSpokenPath = 30;
// Bracketed text longer than this is no image's stand-in.
constexpr std::size_t kMaxPlaceholder = 300;

constexpr std::array<const char*, 15> kBareTlds = {"nl", "be",   "com", "org", "net",
                                                   "eu", "info", "nu",  "de",  "fr",
                                                   "uk", "io",   "gov", "edu", "frl"};

constexpr std::array<const char*, 14> kSmileys = {":D", ":-D", ":P", ":-P", ":p", ":-p", "XD",
                                                  "xD", "<3",  ":*", ":-*", ":O", ":-O", ":o"};

bool containsNoCase(std::string_view hay, std::string_view needle) {
    return lower(hay).find(lower(needle)) != std::string::npos;
}

// Calls add with every word of text of two or more letters or digits, in lower case.
template <class Add> void forEachWord(std::string_view text, Add add) {
    std::string w;
    auto done = [&] {
        if (w.size() >= 2) add(w);
        w.clear();
    };
    for (char c : text) {
        if (isAlnum(c))
            w += toLower(c);
        else
            done();
    }
    done();
}

// True when the HTML alternative says what the plain text before it (whose words are given)
// said already.
bool repeatsPlainText(const std::set<std::string>& plainWords, std::string_view htmlText) {
    if (plainWords.empty()) return false;
    std::size_t words = 0, known = 0;
    forEachWord(htmlText, [&](const std::string& w) {
        ++words;
        known += plainWords.count(w);
    });
    if (words == 0) return true;
    return known * 10 >= words * 6;
}

bool isTldLetters(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

bool isHostChar(char c) {
    return isAlnum(c) || c == '-' || c == '.' || c == '_';
}

bool isAddress(std::string_view s) {
    const std::size_t at = s.find('@');
    if (at == 0 || at == std::string_view::npos || s.find('@', at + 1) != std::string_view::npos)
        return false;
    const std::string_view local = s.substr(0, at), domain = s.substr(at + 1);
    const std::size_t dot = domain.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 2 > domain.size()) return false;
    auto localChar = [](char c) { return isHostChar(c) || c == '+' || c == '\''; };
    return std::all_of(local.begin(), local.end(), localChar) &&
           std::all_of(domain.begin(), domain.end(), isHostChar);
}

bool isBareDomain(std::string_view s) {
    const std::size_t dot = s.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return false;
    const std::string_view tld = s.substr(dot + 1);
    bool known = false;
    for (const char* t : kBareTlds)
        known = known || tld == t;
    if (!known) return false;
    return std::all_of(s.begin(), s.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || isDigit(c) || c == '-' || c == '.';
    });
}

bool isSymbol(char c) {
    return !isAlnum(c) && !isSpace(c);
}

bool isGarbage(std::string_view core) {
    if (core.size() <= kMaxSwitchingToken) return false;
    std::size_t switches = 0;
    bool words = true;
    for (std::size_t i = 0; i < core.size(); ++i) {
        const char c = core[i];
        words = words && (isLetter(c) || c == '-');
        // an upper-case letter inside a word part: "dGhpcyBpcyBhIHRlc3Q"
        if (i > 0 && isUpper(c) && isLetter(core[i - 1])) words = false;
        if (i > 0 && isDigit(c) != isDigit(core[i - 1]) && isAlnum(c) && isAlnum(core[i - 1]))
            ++switches;
    }
    if (words) return core.size() > kMaxWord;
    return switches >= 2 || core.size() > kMaxMixedToken;
}

int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isSoftBreak(const std::string& text, std::size_t i) {
    return text[i] == '=' && i + 1 < text.size() && (text[i + 1] == '\r' || text[i + 1] == '\n') &&
           (i == 0 || text[i - 1] != '=');
}

// A body sent as quoted-printable but not declared so still holds "=3D", "=E9" and soft line
// breaks; a voice would read them out. Decode it when the signs are clear.
std::string decodeLeftoverQuotedPrintable(std::string text) {
    auto escapeAt = [&](std::size_t i) {
        return text[i] == '=' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
               hexValue(text[i + 2]) >= 0;
    };
    std::size_t escapes = 0, softBreaks = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        escapes += escapeAt(i) ? 1 : 0;
        softBreaks += isSoftBreak(text, i) ? 1 : 0;
    }
    if (escapes == 0 || escapes + softBreaks < 3) return text;
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (escapeAt(i)) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else if (isSoftBreak(text, i)) {
            if (text[i + 1] == '\r' && i + 2 < text.size() && text[i + 2] == '\n') ++i;
            ++i;
        } else {
            out += text[i];
        }
    }
    // a decoded NUL would end the text early for callers that take C strings
    std::replace(out.begin(), out.end(), '\0', ' ');
    return out;
}

// True when a line may hold an image's stand-in in brackets or a link glued to a word.
bool needsUnbracketing(std::string_view line) {
    if (line.find('[') != std::string_view::npos) return true;
    for (std::size_t lt = line.find('<'); lt != std::string_view::npos;
         lt = line.find('<', lt + 1)) {
        const char next = lt + 1 < line.size() ? toLower(line[lt + 1]) : ' ';
        if (next == 'h' || next == 'm' || next == 'w') return true;
    }
    return false;
}

} // namespace

std::string speakableHost(std::string_view host) {
    std::string h = lower(host);
    if (h.starts_with("www.")) h.erase(0, 4);
    while (!h.empty() && h.back() == '.')
        h.pop_back();
    std::vector<std::string> parts;
    std::string part;
    for (char c : h) {
        if (c == '.') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += (c == '-' || c == '_') ? ' ' : c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) out += " punt ";
        // a two-letter domain ending is spelled: "n l", "b e"
        if (i + 1 == parts.size() && i > 0 && parts[i].size() == 2 && isTldLetters(parts[i])) {
            out += parts[i][0];
            out += ' ';
            out += parts[i][1];
        } else {
            out += parts[i];
        }
    }
    return out;
}

std::string speakableAddress(std::string_view address) {
    const std::size_t at = address.find('@');
    std::string out;
    for (char c : address.substr(0, at)) {
        if (c == '.')
            out += " punt ";
        else if (c == '_' || c == '-' || c == '+')
            out += ' ';
        else
            out += c;
    }
    return out + " apenstaartje " + speakableHost(address.substr(at + 1));
}

void Schoonmaken::setRules(const RuleFile& rules) {
    clearRules();
    for (const auto& [abbreviation, expansion] : rules.section("afkortingen"))
        if (!expansion.empty()) abbreviations_.emplace_back(abbreviation, expansion);
    std::stable_sort(abbreviations_.begin(), abbreviations_.end(),
                     [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
    for (const auto& [abbreviation, unused] : abbreviations_)
        abbreviationKeys_.push_back(abbreviation);
    abbreviationIndex_.build(abbreviationKeys_);
    for (const auto& [prefix, unused] : rules.section("weglaten"))
        dropPrefixes_.push_back(prefix);
    wrapping_.setRules(rules);
}

void Schoonmaken::clearRules() {
    abbreviations_.clear();
    abbreviationKeys_.clear();
    abbreviationIndex_.build(abbreviationKeys_);
    dropPrefixes_.clear();
    wrapping_.clearRules();
}

std::string Schoonmaken::cleanToken(std::string_view token, bool lastInLine) const {
    auto isLead = [](char c) {
        return c == '<' || c == '(' || c == '[' || c == '{' || c == '"' || c == '\'' ||
               uc(c) == 0x93 || uc(c) == 0x91 || uc(c) == 0x84 || uc(c) == 0x8B;
    };
    auto isTrail = [](char c) {
        return c == '>' || c == ')' || c == ']' || c == '}' || c == '"' || c == '\'' || c == ',' ||
               c == '.' || c == ';' || c == ':' || c == '!' || c == '?' || uc(c) == 0x94 ||
               uc(c) == 0x92 || uc(c) == 0x9B;
    };
    std::size_t b = 0, e = token.size();
    while (b < e && isLead(token[b]))
        ++b;
    const std::string_view afterLead = token.substr(b);
    while (e > b && isTrail(token[e - 1]))
        --e;
    const std::string_view core = token.substr(b, e - b);
    auto strip = [](std::string_view s, char drop) {
        std::string out;
        for (char c : s)
            if (c != drop) out += c;
        return out;
    };
    const std::string lead = strip(token.substr(0, b), '<');
    const std::string trail = strip(token.substr(e), '>');

    // smileys: a voice would read ":D" as "D" and "<3" as "kleiner dan drie"
    for (const char* smiley : kSmileys)
        if (token == smiley) return {};
    // "~5" is an estimate; "#5" is left to the numbers, which know whether the word before it
    // already says "nummer"
    if (token.size() > 1 && token[0] == '#' && isDigit(token[1])) return std::string(token);
    if (token.size() > 1 && token[0] == '~' && isDigit(token[1]))
        return cat("ongeveer ", token.substr(1));

    if (startsWithNoCase(core, "mailto:") && isAddress(core.substr(7, core.find('?') - 7)))
        return lead + speakableAddress(core.substr(7, core.find('?') - 7)) + trail;
    for (const char* scheme : {"http://", "https://", "ftp://", "www."}) {
        if (!startsWithNoCase(core, scheme)) continue;
        std::string_view rest =
            core.substr(std::string_view(scheme) == "www." ? 0 : std::strlen(scheme));
        std::size_t hostEnd = 0;
        while (hostEnd < rest.size() && isHostChar(rest[hostEnd]))
            ++hostEnd;
        std::string_view host = rest.substr(0, hostEnd);
        if (const auto atSign = host.find('@'); atSign != std::string_view::npos)
            host = host.substr(atSign + 1);
        if (host.find('.') == std::string_view::npos) break;
        // a long path or query (a tracking link, a deep page) tells a listener nothing: only
        // where the link goes
        if (rest.size() - hostEnd > kMaxSpokenPath)
            return cat(lead, "een link naar ", speakableHost(host), trail);
        return lead + speakableHost(host) + trail;
    }
    if (isAddress(core)) return lead + speakableAddress(core) + trail;
    if (core.size() > 3 && isBareDomain(core)) return lead + speakableHost(core) + trail;
    // "<image001.png>", "[cid:...]": an image's stand-in
    if ((token[0] == '<' || token[0] == '[') && wrapping_.isPlaceholder(core)) return {};
    if (isGarbage(core)) return {};

    for (std::size_t candidate : abbreviationIndex_.candidates(afterLead)) {
        const auto& [abbreviation, expansion] = abbreviations_[candidate];
        if (!startsWithNoCase(afterLead, abbreviation)) continue;
        // "VS." and "BV." in capitals are names ("de VS", "Jansen BV"), not "vs." or "bv."
        const std::string_view letters = afterLead.substr(0, abbreviation.size() - 1);
        if (abbreviation.size() > 2 && abbreviation.back() == '.' &&
            abbreviation.find('.') == abbreviation.size() - 1 &&
            std::all_of(letters.begin(), letters.end(), [](char c) { return isUpper(c); }))
            continue;
        const std::string_view after = afterLead.substr(abbreviation.size());
        if (!std::all_of(after.begin(), after.end(), [&](char c) { return isTrail(c); })) continue;
        std::string out = strip(token.substr(0, b), '<');
        std::string spoken = expansion;
        if (isUpper(afterLead[0]) && !spoken.empty()) spoken[0] = toUpper(spoken[0]);
        out += spoken;
        out += after;
        // at the end of a line the abbreviation's dot also ended the sentence
        if (abbreviation.back() == '.' && after.empty() && lastInLine) out += '.';
        return out;
    }
    return std::string(token);
}

std::string Schoonmaken::withoutImages(std::string_view line) const {
    std::string out;
    out.reserve(line.size());
    // the next '[' after and the next ']' at or after the current one; each is searched for once
    std::size_t open = 0, close = line.find(']');
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '[') {
            if (open != std::string_view::npos && open <= i) open = line.find('[', i + 1);
            if (close != std::string_view::npos && close < i) close = line.find(']', i);
            if (close != std::string_view::npos && close < open && close - i <= kMaxPlaceholder &&
                wrapping_.isPlaceholder(line.substr(i + 1, close - i - 1))) {
                out += ' ';
                i = close;
                continue;
            }
        }
        // "Lees meer<https://...>": the link apart from the word before it
        if (c == '<' && !out.empty() && out.back() != ' ') {
            const std::string_view rest = line.substr(i + 1);
            if (startsWithNoCase(rest, "http") || startsWithNoCase(rest, "mailto:") ||
                startsWithNoCase(rest, "www."))
                out += ' ';
        }
        out += c;
    }
    return out;
}

std::string Schoonmaken::cleanLine(std::string_view rawLine) const {
    std::string unbracketed;
    std::string_view line = rawLine;
    if (needsUnbracketing(line)) {
        unbracketed = withoutImages(line);
        line = unbracketed;
    }
    std::string s;
    s.reserve(line.size());
    for (char c : line) {
        const unsigned char u = uc(c);
        if (u < 0x20 || u == 0x7F || u == 0xA0 || c == '\\')
            s += ' ';
        else if (u == 0xAD || u == 0x81 || u == 0x8D || u == 0x8F || u == 0x90 || u == 0x9D)
            continue;
        else
            s += c;
    }
    // runs of three or more equal symbols ("=====", "*****", "-----") are decoration; an
    // ellipsis stays
    std::string t;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t j = i;
        while (j < s.size() && s[j] == s[i])
            ++j;
        if (j - i >= 3 && isSymbol(s[i])) {
            t += s[i] == '.' ? "..." : " ";
        } else {
            t.append(s, i, j - i);
        }
        i = j;
    }
    std::vector<std::string_view> tokens;
    const std::string_view tv = t;
    for (std::size_t i = 0; i < tv.size();) {
        while (i < tv.size() && tv[i] == ' ')
            ++i;
        std::size_t j = i;
        while (j < tv.size() && tv[j] != ' ')
            ++j;
        if (j > i) tokens.push_back(tv.substr(i, j - i));
        i = j;
    }
    std::string out;
    std::size_t symbols = 0, alnums = 0;
    // bullets a voice would name ("sterretje") become the silent dash of a list item
    if (!tokens.empty() && tokens[0].size() == 1 &&
        (tokens[0][0] == '*' || uc(tokens[0][0]) == 0x95 || uc(tokens[0][0]) == 0xB7))
        tokens[0] = "-";
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        // "** Kop", "## Kop": marks of a heading in plain text
        if (tokens[k].size() == 2 && (tokens[k] == "**" || tokens[k] == "##")) continue;
        if (tokens[k] == "&") {
            out += out.empty() ? "en" : " en";
            continue;
        }
        const std::string cleaned = cleanToken(tokens[k], k + 1 == tokens.size());
        if (cleaned.empty()) continue;
        for (char c : cleaned) {
            if (isAlnum(c))
                ++alnums;
            else if (c != ' ')
                ++symbols;
        }
        if (!out.empty()) out += ' ';
        out += cleaned;
    }
    // a line of mostly symbols is drawing or encoding, not text
    if (alnums == 0 || (symbols + alnums >= 20 && alnums * 10 < (symbols + alnums) * 4)) return {};
    return out;
}

std::vector<std::string> Schoonmaken::cleanSegment(const std::vector<std::string>& lines,
                                                   bool skipQuoted) const {
    const std::vector<LineRole> roles = wrapping_.roles(lines, skipQuoted);
    std::vector<std::string> out;
    std::size_t signatureDepth = 0;
    bool inSignature = false, inPgpBlock = false, inPgpHeader = false;
    // The sender's own lines since the start or the last quoted or forwarded header are
    // out[ownFrom...]; ownText: some of them say more than a greeting.
    std::size_t ownFrom = 0;
    bool ownText = false;
    bool quoteSkipped = false;
    for (std::size_t idx = 0; idx < lines.size(); ++idx) {
        std::string_view content;
        const std::size_t depth = quoteDepth(lines[idx], content);
        const std::string_view t = trim(content);

        if (inPgpBlock) {
            inPgpBlock = !t.starts_with("-----END PGP");
            continue;
        }
        if (t.starts_with("-----BEGIN PGP SIGNED MESSAGE")) {
            inPgpHeader = true;
            continue;
        }
        if (t.starts_with("-----BEGIN PGP")) {
            inPgpBlock = true;
            continue;
        }
        if (inPgpHeader) { // "Hash: SHA256" and the blank line after it
            if (startsWithNoCase(t, "hash:") || t.empty()) continue;
            inPgpHeader = false;
        }

        const std::size_t intro = introLines(lines, idx);
        const bool original = isOriginalMarker(t);
        const bool forwardMarker = !original && isForwardMarker(t);
        const bool header = original || forwardMarker || isReplyHeaderBlock(lines, idx);
        if (inSignature) {
            if (depth == signatureDepth && intro == 0 && !header) continue;
            inSignature = false;
        }
        if (t == "--") { // "-- " opens the signature; many programs drop its blank
            inSignature = true;
            signatureDepth = depth;
            continue;
        }
        if (header && (depth == 0 || !skipQuoted)) {
            // Outlook lays out a reply and a forward alike. A forward has no text of its own
            // above it, or text that says it passes the message on ("Ter info").
            bool forward = forwardMarker || !ownText;
            for (std::size_t k = ownFrom; k < out.size() && !forward; ++k)
                forward = wrapping_.saysForward(out[k]);
            if (forward) {
                std::size_t fields = idx + (original || forwardMarker ? 1 : 0);
                while (fields < lines.size() && fields <= idx + 3 &&
                       lineContent(lines[fields]).empty())
                    ++fields;
                const MessageHeader message = readMessageHeader(lines, fields);
                if (!out.empty() && !out.back().empty()) out.emplace_back();
                out.push_back(cleanLine(forwardIntroduction(message)));
                out.emplace_back();
                if (message.found) idx = message.end - 1;
                ownFrom = out.size();
                ownText = false;
                quoteSkipped = false;
                continue;
            }
            if (skipQuoted) break;
            ownFrom = out.size();
            ownText = false;
        }
        if (skipQuoted) {
            if (depth > 0) {
                quoteSkipped = true;
                continue;
            }
            if (intro > 0) {
                idx += intro - 1;
                quoteSkipped = true;
                continue;
            }
        }
        const LineRole role = roles[idx];
        if (role == LineRole::Wrapping) continue;
        bool dropped = false;
        for (const std::string& prefix : dropPrefixes_)
            dropped = dropped || startsWithNoCase(t, prefix);
        if (dropped) continue;
        // blank lines stay as paragraph breaks
        if (t.empty()) {
            out.emplace_back();
            continue;
        }
        std::string cleaned =
            cleanLine(role == LineRole::NameOnly ? nameBeforeDetails(t) : content);
        // an answer between quoted lines is a paragraph of its own
        if (quoteSkipped && !cleaned.empty() && !out.empty() && !out.back().empty())
            out.emplace_back();
        quoteSkipped = quoteSkipped && cleaned.empty();
        if (!cleaned.empty() && role == LineRole::Text && !wrapping_.isGreetingOnly(cleaned))
            ownText = true;
        out.push_back(std::move(cleaned));
    }
    return out;
}

std::string Schoonmaken::process(std::string_view text, bool skipQuoted) const {
    std::string source = decodeLeftoverQuotedPrintable(std::string(text));
    if (looksLikeUtf8(source)) source = utf8ToCp1252(source);
    const std::vector<std::string> lines = splitLines(source);

    std::vector<std::string> result;
    // The words of the plain text since the last HTML part that was read, and the plain text
    // whose words are not among them yet. Each plain line is read for words once, when an HTML
    // part comes: reading all of the plain text again for every HTML part would make many HTML
    // parts after a long plain text quadratic.
    std::set<std::string> previousPlainWords;
    std::string unreadPlain;
    for (std::size_t i = 0; i < lines.size();) {
        std::vector<std::string> segment;
        if (HtmlText::startsHtml(lines[i])) {
            std::string html;
            for (; i < lines.size(); ++i) {
                html += lines[i];
                html += '\n';
                if (containsNoCase(lines[i], "</html>")) {
                    ++i;
                    break;
                }
            }
            std::vector<HtmlLine> htmlLines = HtmlText::toLines(html);
            std::string plain;
            for (const HtmlLine& line : htmlLines) {
                plain += line.text;
                plain += '\n';
            }
            forEachWord(unreadPlain, [&](const std::string& w) { previousPlainWords.insert(w); });
            unreadPlain.clear();
            // multipart/alternative gives the same message twice: plain, then HTML
            if (repeatsPlainText(previousPlainWords, plain)) continue;
            // a newsletter's footer goes whatever its words, when its look gives it away
            const std::size_t footer = wrapping_.footerByLook(htmlLines);
            for (std::size_t k = 0; k < footer; ++k)
                segment.push_back(std::move(htmlLines[k].text));
            previousPlainWords.clear();
        } else {
            for (; i < lines.size() && !HtmlText::startsHtml(lines[i]); ++i) {
                segment.push_back(lines[i]);
                unreadPlain += lines[i];
                unreadPlain += '\n';
            }
        }
        std::vector<std::string> cleaned = cleanSegment(segment, skipQuoted);
        if (!result.empty()) result.emplace_back();
        result.insert(result.end(), cleaned.begin(), cleaned.end());
    }

    // one blank line between paragraphs, none at either end
    std::vector<std::string> tidy;
    for (std::string& line : result) {
        if (line.empty() && (tidy.empty() || tidy.back().empty())) continue;
        tidy.push_back(std::move(line));
    }
    while (!tidy.empty() && tidy.back().empty())
        tidy.pop_back();
    return joinLines(tidy);
}

} // namespace zq
