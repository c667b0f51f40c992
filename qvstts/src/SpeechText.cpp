#include <qvstts/SpeechText.h>

#include <encoding/Cp1252.h>
#include <encoding/Utf8.h>

#include <qvstts/Lexicon.h>

namespace qvstts {
namespace {

using encoding::AppendUtf8;

// The five undefined bytes carry nothing a voice could say: controls, like the C0 ones.
bool isControl(unsigned char b) {
    return b < 0x20 || b == 0x7F || encoding::IsCp1252Undefined(b);
}

// The escapes SSML needs; false for a byte that needs none.
bool appendEscape(std::string& out, char c) {
    switch (c) {
    case '&':
        out += "&amp;";
        return true;
    case '<':
        out += "&lt;";
        return true;
    case '>':
        out += "&gt;";
        return true;
    default:
        return false;
    }
}

void appendEscapedXml(std::string& out, char c, bool dutch) {
    // espeak-ng's Dutch voice says "&" in English ("and"); the others say it in their own.
    if (c == '&' && dutch) {
        out += " en ";
        return;
    }
    if (appendEscape(out, c)) return;
    const auto b = static_cast<unsigned char>(c);
    if (isControl(b))
        out += ' ';
    else
        AppendUtf8(out, encoding::Cp1252ToUnicode(b));
}

void appendEscapedUtf8(std::string& out, std::string_view utf8) {
    for (char c : utf8)
        if (!appendEscape(out, c)) out += (static_cast<unsigned char>(c) < 0x20 ? ' ' : c);
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
    return encoding::Cp1252ToUtf8(text, encoding::Undefined::AsReplacement);
}

std::string utf8ToCp1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const size_t length = encoding::DecodeUtf8(text, i, cp);
        const int byte =
            length == 0 ? -1 : encoding::UnicodeToCp1252(cp, encoding::Undefined::AsReplacement);
        out += byte < 0 ? '?' : static_cast<char>(byte);
        i += length == 0 ? 1 : length;
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
            AppendUtf8(out, encoding::Cp1252ToUnicode(b));
        }
    }
    return out;
}

} // namespace qvstts
