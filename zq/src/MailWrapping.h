// What wraps the letter in a mail body, and how replies and forwards are laid out. A listener
// wants the letter: the closing and the name under it, not the contact block after them; not the
// disclaimer, the newsletter footer or the row of links to social media; and of a forwarded
// message who sent it and what about, not its header block.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "Text1252.h"

namespace zq {

class RuleFile;
struct HtmlLine;

// What a line of a mail body is to a listener.
enum class LineRole : unsigned char {
    Text,     // part of the letter
    Closing,  // "Met vriendelijke groet," (read)
    Name,     // the name under a closing (read)
    NameOnly, // a name with contact details after it on its line: only the name is read
    Wrapping, // contact block, disclaimer, footer, row of links: not read
};

class MailWrapping {
public:
    // Sections [afsluitingen] (closings), [voetteksten] (phrases of disclaimers and footers),
    // [voetlinks] (labels of footer links), [afmelden] (words of links to unsubscribe or to view
    // a mail in a browser), [sociale media], [contactvelden] (labels of contact lines),
    // [doorsturen] (words that say a message is passed on), [plaatshouders] (bracketed stand-ins
    // for images) and [groeten] (openings and closings).
    void setRules(const RuleFile& rules);
    void clearRules();

    // The role of each line of a part; lines may carry '>' quote markers. Quoted lines that
    // will be skipped get none but Text.
    std::vector<LineRole> roles(const std::vector<std::string>& lines, bool skipQuoted) const;

    // True when text (the sender's own words above a quoted message) says it is passed on:
    // "Ter info", "Zie hieronder".
    bool saysForward(std::string_view text) const;
    // True when a line holds no more than an opening or closing: "Hoi Piet,", "Groet,".
    bool isGreetingOnly(std::string_view line) const;
    // True when the text between '[' and ']' stands for an image: "image: Logo", "cid:...".
    bool isPlaceholder(std::string_view bracketed) const;

    // The first line of a newsletter's footer at the end of an HTML part, known by its look
    // whatever its words: small print after the letter with at least three of a footer's signs
    // (links, a row of them, the sender's address or legal lines, words to unsubscribe or to view
    // the mail in a browser). lines.size() when there is none.
    std::size_t footerByLook(const std::vector<HtmlLine>& lines) const;

    bool isLinkRow(std::string_view line) const;
    bool isContactLine(std::string_view line) const;

private:
    // Finds the first of many phrases in one pass over a text: a position is compared with the
    // phrases only when a bit for a hash of its first four bytes says one may start there.
    class PhraseFinder {
    public:
        void set(std::vector<std::string> phrases);     // in lower case
        std::size_t first(std::string_view text) const; // npos when none
        bool empty() const { return phrases_.empty(); }

    private:
        static std::uint32_t key(const char* p);
        static std::size_t slot(std::uint32_t key) { return (key * 2654435761u) >> 16; }
        std::vector<std::string> phrases_;
        std::vector<std::pair<std::uint32_t, std::size_t>> byKey_; // sorted
        std::vector<std::string> short_;                           // under four bytes
        std::bitset<65536> mayStart_;
    };

    // Length of the closing at the start of line, 0 when it starts with none.
    std::size_t closingLength(std::string_view line) const;
    bool isClosingLine(std::string_view line, bool& withName) const;
    // Offset in text (lower case) of the first footer phrase, npos when none.
    std::size_t firstFooterPhrase(const std::string& text) const;
    bool isLabel(std::string_view item) const;
    bool isSocial(std::string_view word) const;
    // True when a line of small print or the targets of its links hold a word of [afmelden].
    bool hasOptOutWord(std::string_view line, std::string_view targets) const;

    std::vector<std::string> closings_; // lower case, longest first
    FirstLetterIndex closingIndex_;
    PhraseFinder footerPhrases_;
    std::vector<std::string> linkLabels_;
    std::vector<std::string> optOutWords_;
    std::vector<std::string> social_;
    std::vector<std::string> contactLabels_;
    std::vector<std::string> forwardCues_;
    std::vector<std::string> placeholders_;
    std::vector<std::string> greetings_;
    FirstLetterIndex greetingIndex_;
};

// Counts the '>' quote markers at the start of a line ("> > text", ">>text") and gives the text
// after them.
std::size_t quoteDepth(std::string_view line, std::string_view& content);
// The text of a line without quote markers and surrounding blanks.
std::string_view lineContent(std::string_view line);

// Lines taken by a reply's introduction ("Op ... schreef ...:"), 0 when line idx is none.
std::size_t introLines(const std::vector<std::string>& lines, std::size_t idx);
// "-----Oorspronkelijk bericht-----", "-----Original Message-----".
bool isOriginalMarker(std::string_view t);
// "---------- Forwarded message ---------", "Begin doorgestuurd bericht:".
bool isForwardMarker(std::string_view t);
// Outlook's block above a message it answers or passes on: "Van:", then "Verzonden:" and
// "Onderwerp:" within a few lines.
bool isReplyHeaderBlock(const std::vector<std::string>& lines, std::size_t idx);

// The header block of a quoted or forwarded message: its sender and subject.
struct MessageHeader {
    std::string from, subject;
    std::size_t end = 0; // the line after the block
    bool found = false;
};
// Reads the header fields from line idx on ("Van:", "From:", "Onderwerp:", "Datum:", ...), in
// any order, up to the blank line after them.
MessageHeader readMessageHeader(const std::vector<std::string>& lines, std::size_t idx);
// "Doorgestuurd bericht van Jan Jansen, onderwerp: Offerte."
std::string forwardIntroduction(const MessageHeader& header);
// The name before the details on a line such as "Jan Jansen | Voorbeeld BV | 06-12345678".
std::string_view nameBeforeDetails(std::string_view line);

} // namespace zq
