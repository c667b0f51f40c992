#include <morvik/api/SGMLDocument.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string_view>

#include <encoding/HtmlEntities.h>

namespace {

// An entity's ";" must lie less than this many characters after its "&".
constexpr std::size_t kEntityReach = 20;
// A tag, brackets included, is at most this long.
constexpr std::size_t kTagReach = 200;

[[noreturn]] void NoMemory() {
    throw "ConvertEntities: not enough memory";
}

std::string MakeOutputBuffer(std::size_t size) {
    std::string out;
    try {
        out.reserve(size + 1);
    } catch (const std::bad_alloc&) {
        NoMemory();
    }
    return out;
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

// Whether marker (lower case) stands at pos of the text made of head followed by tail,
// ignoring the case of ASCII letters.
bool MatchAt(const std::string& head, std::string_view tail, std::size_t pos,
             std::string_view marker) {
    for (std::size_t k = 0; k < marker.size(); ++k) {
        std::size_t at = pos + k;
        char c;
        if (at < head.size()) {
            c = head[at];
        } else if (at - head.size() < tail.size()) {
            c = tail[at - head.size()];
        } else {
            return false;
        }
        if (LowerAscii(c) != marker[k]) return false;
    }
    return true;
}

// First position >= from where marker stands in text (case-insensitive), or npos.
std::size_t FindMarker(std::string_view text, std::size_t from, std::string_view marker) {
    static const std::string empty;
    if (text.size() < marker.size()) return std::string_view::npos;
    for (std::size_t p = from; p + marker.size() <= text.size(); ++p) {
        if (LowerAscii(text[p]) == marker[0] && MatchAt(empty, text, p, marker)) return p;
    }
    return std::string_view::npos;
}

// Caches the first occurrence of a marker at or after a position that only grows, so every
// part of the text is searched once.
class MarkerCursor {
public:
    MarkerCursor(std::string_view text, std::string_view marker) : text_(text), marker_(marker) {}
    std::size_t NextFrom(std::size_t from) {
        if (!valid_ || (found_ != std::string_view::npos && found_ < from)) {
            found_ = FindMarker(text_, from, marker_);
            valid_ = true;
        }
        return found_;
    }

private:
    std::string_view text_, marker_;
    std::size_t found_ = std::string_view::npos;
    bool valid_ = false;
};

// Repeatedly deletes from the first start marker through the first end marker, both searched
// from the start of the string, while the start marker begins before the end marker ends.
// Done in one pass: `out` is the settled front (it holds no whole marker), `i` the position
// in the untouched original where the rest begins; only markers that straddle the two need a
// look of their own.
void RemoveSpans(std::string& text, std::string_view startMarker, std::string_view endMarker) {
    const std::string original = text;
    const std::string_view orig(original);
    std::string out;
    out.reserve(orig.size());
    MarkerCursor nextStart(orig, startMarker), nextEnd(orig, endMarker);
    std::size_t i = 0;
    const std::size_t npos = std::string::npos;

    auto firstIn = [&](std::string_view marker, MarkerCursor& cursor) -> std::size_t {
        std::size_t from = out.size() >= marker.size() - 1 ? out.size() - (marker.size() - 1) : 0;
        std::string_view rest = orig.substr(i);
        for (std::size_t p = from; p < out.size(); ++p) {
            if (MatchAt(out, rest, p, marker)) return p;
        }
        std::size_t q = cursor.NextFrom(i);
        return q == npos ? npos : out.size() + (q - i);
    };

    for (;;) {
        std::size_t s = firstIn(startMarker, nextStart);
        std::size_t e = firstIn(endMarker, nextEnd);
        if (s == npos || e == npos || s >= e + endMarker.size()) break;
        const std::size_t head = out.size();
        const std::size_t resume = i + (e + endMarker.size() - head);
        if (s <= head) {
            out.resize(s);
        } else {
            out.append(orig.substr(i, s - head));
        }
        i = resume;
    }
    out.append(orig.substr(i));
    text.swap(out);
}

// The standard text-to-integer reading, without its overflow: the result only matters modulo
// 256, so an over-long number must not be undefined behaviour.
unsigned char NumericReference(const std::string& digits) {
    long long v = std::strtoll(digits.c_str(), nullptr, 10);
    return static_cast<unsigned char>(static_cast<unsigned long long>(v) & 0xFF);
}

} // namespace

SGMLDocument::SGMLDocument() {
    MarkupEntities = {{"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}};
    const auto& latin1 = encoding::kLatin1EntityNames;
    for (std::size_t i = 0; i < latin1.size(); ++i) {
        CharacterEntities.emplace(std::string(latin1[i]),
                                  std::string(1, static_cast<char>(0xA0 + i)));
    }
}

SGMLDocument::~SGMLDocument() {
    if (Verbose > 1) std::fputs("running ~SGMLDocument \n", stderr);
}

std::int32_t SGMLDocument::ExtractTerms(TermList& list) {
    return ExtractFrom(CleanText, list);
}

void SGMLDocument::ConvertEntities(std::string& text, int mode) const {
    if (Verbose > 0) std::fputs("Converting Entities\n\n", stderr);
    const std::string_view in(text);
    std::string out = MakeOutputBuffer(in.size());
    std::size_t pos = 0;
    for (;;) {
        std::size_t amp = in.find('&', pos);
        if (amp == std::string_view::npos) {
            out.append(in.substr(pos));
            break;
        }
        out.append(in.substr(pos, amp - pos));
        // Only a ";" within reach ends an entity; looking further would make long texts of
        // "&" quadratic for nothing.
        std::size_t semi = in.substr(amp + 1, kEntityReach - 1).find(';');
        if (semi == std::string_view::npos) {
            out.push_back('&');
            pos = amp + 1;
            continue;
        }
        semi += amp + 1;
        const std::string name(in.substr(amp + 1, semi - amp - 1));
        if (Verbose > 2) {
            std::fprintf(stderr, "entity: %s pos%zu %zu\n", name.c_str(), amp, semi);
        }
        if (!name.empty() && name[0] == '#') {
            unsigned char c = NumericReference(name.substr(1));
            if (c != 0) out.push_back(static_cast<char>(c));
        } else {
            const std::string* replacement = nullptr;
            bool keep = false;
            if (mode == 2) {
                if (auto it = CharacterEntities.find(name); it != CharacterEntities.end()) {
                    replacement = &it->second;
                } else if (MarkupEntities.count(name) != 0) {
                    keep = true;
                }
            } else if (mode == 3) {
                if (auto it = MarkupEntities.find(name); it != MarkupEntities.end()) {
                    replacement = &it->second;
                }
            }
            if (replacement != nullptr) {
                out.append(*replacement);
            } else if (keep) {
                out.append(in.substr(amp, semi - amp + 1));
            } else if (Verbose > 1) {
                std::fprintf(stderr, "deleting unknown entity: %s\n", name.c_str());
            }
        }
        pos = semi + 1;
    }
    text.swap(out);
    if (Verbose > 0) std::fputs("Finished Converting Entities\n\n", stderr);
}

int SGMLDocument::RemoveSGMLTags(std::string& text) const {
    if (Verbose > 0) std::fputs("Removing SGML tags\n\n", stderr);
    const std::string_view in(text);
    std::string out = MakeOutputBuffer(in.size());
    std::size_t pos = 0;
    for (;;) {
        std::size_t lt = in.find('<', pos);
        if (lt == std::string_view::npos) {
            out.append(in.substr(pos));
            break;
        }
        out.append(in.substr(pos, lt - pos));
        std::size_t gt = in.substr(lt, kTagReach).find('>');
        if (gt != std::string_view::npos) {
            pos = lt + gt + 1;
        } else {
            out.push_back('<');
            pos = lt + 1;
        }
    }
    text.swap(out);
    if (Verbose > 0) std::fputs("Finished Removing SGML tags\n\n", stderr);
    return 1;
}

void SGMLDocument::RemoveScriptsAndComments(std::string& text) {
    RemoveSpans(text, "<!--", "-->");
    RemoveSpans(text, "<script", "</script>");
}

int SGMLDocument::ConvertMarkup() {
    ConvertEntities(Contents, 2);
    if (Verbose > 2) std::fprintf(stderr, "\nafter conversion\n%s\n\n", Contents.c_str());
    CleanText = Contents;
    if (RemoveSGMLTags(CleanText) == 0) {
        std::fputs("Could not remove SGML tags\n", stderr);
        return 0;
    }
    ConvertEntities(CleanText, 3);
    if (Verbose >= 3) {
        std::fprintf(stderr, "\n SGMLDocument: stripped data\n%s\n\n", CleanText.c_str());
    }
    RemoveScriptsAndComments(CleanText);
    return 1;
}
