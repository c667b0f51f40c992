#include <qvstts/SpeechText.h>

#include <array>
#include <cstdint>

#include <qvstts/Lexicon.h>

namespace qvstts {
namespace {

// Code points of 0x80..0x9F; 0 marks the five bytes Windows-1252 leaves undefined.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t codePoint(unsigned char b) {
    if (b >= 0x80 && b < 0xA0) return kHighControls[b - 0x80];
    return b;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool isUndefined(unsigned char b) {
    return b >= 0x80 && b < 0xA0 && kHighControls[b - 0x80] == 0;
}

bool isControl(unsigned char b) {
    return b < 0x20 || b == 0x7F || isUndefined(b);
}

void appendEscapedXml(std::string& out, char c, bool dutch) {
    switch (c) {
    // espeak-ng's Dutch voice says "&" in English ("and"); the others say it in their own.
    case '&':
        out += dutch ? " en " : "&amp;";
        break;
    case '<':
        out += "&lt;";
        break;
    case '>':
        out += "&gt;";
        break;
    default:
        if (isControl(static_cast<unsigned char>(c)))
            out += ' ';
        else
            appendUtf8(out, codePoint(static_cast<unsigned char>(c)));
    }
}

void appendEscapedUtf8(std::string& out, std::string_view utf8) {
    for (char c : utf8) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += (static_cast<unsigned char>(c) < 0x20 ? ' ' : c);
        }
    }
}

bool isApostrophe(char c) {
    return c == '\'' || c == '\x92';
}

// A word runs over word bytes; an apostrophe or hyphen between two word bytes stays inside it,
// so "auto's" and "e-mail" reach the lexicon whole.
size_t wordEnd(std::string_view text, size_t i) {
    while (i < text.size()) {
        if (isWordByte(text[i])) {
            ++i;
        } else if ((isApostrophe(text[i]) || text[i] == '-') && i > 0 && isWordByte(text[i - 1]) &&
                   i + 1 < text.size() && isWordByte(text[i + 1])) {
            ++i;
        } else {
            break;
        }
    }
    return i;
}

void appendWord(std::string& out, std::string_view word, const Lexicon* lexicon, bool dutch) {
    if (lexicon) {
        if (const std::string* said = lexicon->find(word)) {
            appendEscapedUtf8(out, *said);
            return;
        }
    }
    for (char c : word)
        appendEscapedXml(out, c, dutch);
}

bool startsLowerCase(char c) {
    return isWordByte(c) && lowerCp1252(c) == c && !(c >= '0' && c <= '9');
}

bool endsClause(const std::string& out) {
    for (auto it = out.rbegin(); it != out.rend(); ++it) {
        if (*it == ' ') continue;
        return *it == '.' || *it == '!' || *it == '?' || *it == ':' || *it == ';' || *it == ',' ||
               *it == '>'; // a tag we wrote, such as an earlier break
    }
    return true; // nothing said yet
}

} // namespace

std::string cp1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        appendUtf8(out, isUndefined(b) ? char32_t{0xFFFD} : codePoint(b));
    }
    return out;
}

std::string utf8ToCp1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > text.size()) {
            out += '?';
            ++i;
            continue;
        }
        char32_t cp = len == 1 ? b : b & (0x7F >> len);
        bool ok = true;
        for (size_t k = 1; k < len; ++k) {
            const auto cont = static_cast<unsigned char>(text[i + k]);
            if ((cont & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (cont & 0x3F);
        }
        if (!ok) {
            out += '?';
            ++i;
            continue;
        }
        i += len;
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out += static_cast<char>(cp);
            continue;
        }
        char mapped = '?';
        for (size_t k = 0; k < kHighControls.size(); ++k) {
            if (kHighControls[k] == cp) mapped = static_cast<char>(0x80 + k);
        }
        out += mapped;
    }
    return out;
}

char lowerCp1252(char c) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 'A' && b <= 'Z') return static_cast<char>(b + 32);
    if (b >= 0xC0 && b <= 0xDE && b != 0xD7) return static_cast<char>(b + 32);
    switch (b) {
    case 0x8A:
        return '\x9A';
    case 0x8C:
        return '\x9C';
    case 0x8E:
        return '\x9E';
    case 0x9F:
        return '\xFF';
    default:
        return c;
    }
}

bool isWordByte(char c) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
    switch (b) {
    case 0x8A:
    case 0x8C:
    case 0x8E:
    case 0x9A:
    case 0x9C:
    case 0x9E:
    case 0x9F:
    case 0xAA:
    case 0xB5:
    case 0xBA:
        return true;
    default:
        return b >= 0xC0 && b != 0xD7 && b != 0xF7;
    }
}

std::string toSsml(std::string_view text, const Lexicon* lexicon, std::string_view language) {
    const bool dutch = language == "nl";
    // The word list says how Dutch words are said; another language's words are its own.
    if (!dutch) lexicon = nullptr;
    std::string out;
    out.reserve(text.size() + text.size() / 2 + 16);
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '+' || text[i + 1] == '-')) {
            const bool stressed = text[i + 1] == '+';
            const size_t start = i + 2;
            const size_t end = wordEnd(text, start);
            i = end;
            if (end == start) continue; // a mark before no word says nothing
            out += stressed ? "<emphasis>" : "<prosody volume=\"soft\" pitch=\"low\">";
            appendWord(out, text.substr(start, end - start), lexicon, dutch);
            out += stressed ? "</emphasis>" : "</prosody>";
        } else if (isWordByte(c)) {
            const size_t end = wordEnd(text, i);
            appendWord(out, text.substr(i, end - i), lexicon, dutch);
            i = end;
        } else if (c == '\r' || c == '\n') {
            int lineEnds = 0;
            while (i < text.size() && (text[i] == '\r' || text[i] == '\n' || text[i] == ' ')) {
                if (text[i] == '\n' ||
                    (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
                    ++lineEnds;
                ++i;
            }
            // A line end between sentences ends a clause even without punctuation, as in
            // "\+Geen onderwerp" CR followed by the body; a hard-wrapped line that runs on in
            // lower case does not.
            const bool newSentence = lineEnds > 1 || i == text.size() || !startsLowerCase(text[i]);
            out += newSentence && !endsClause(out) ? " <break strength=\"medium\"/> " : " ";
        } else {
            appendEscapedXml(out, c, dutch);
            ++i;
        }
    }
    return out;
}

std::string transcriptText(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (isControl(b)) {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            appendUtf8(out, codePoint(b));
        }
    }
    return out;
}

} // namespace qvstts
