// Sender, subject and sentence helpers: turning a From value into a speakable name, stripping
// reply and forward marks from a subject, the list line of a message and the header sentence
// that introduces it. Pure functions on 8-bit (Windows-1252) texts.
#pragma once

#include <string>
#include <string_view>

namespace brevon {

struct SenderParts {
    std::string name;    // speakable: quotes and brackets gone, "," and "." read as blanks
    std::string address; // as written, without the angle brackets
};

// The display name and address of a From value ('"Jansen, Jan" <jan@x.nl>', 'jan@x.nl',
// 'jan@x.nl (Jan Jansen)'). Without a display name the name is the part of the address
// before its "@".
SenderParts SplitSender(std::string_view from);

// The first entry of an address list: everything up to the first "," outside double quotes
// and angle brackets, trimmed.
std::string_view FirstAddress(std::string_view list);

// Who a message is from, as SplitSender gives it: From, else the first entry of Sender, else
// of Reply-To (the latter two as the parser rewrites address lists, '"name" <addr>, ...'). A
// value whose name and address both come out empty counts as missing. With none left both
// parts are empty, which the header sentence says as an unknown sender.
SenderParts MessageSender(std::string_view from, std::string_view sender, std::string_view replyTo);

// The subject without a trailing "(fwd)", one enclosing pair of square brackets and a run of
// reply and forward prefixes ("Re:", "AW:", "Antw:", "Fwd[2]:", "RE (3):", in any case) per
// pass, repeated while a pass removes something. A prefix run right behind a leading "[tag]"
// goes too; the tag's text stays.
std::string CleanSubject(std::string_view subject);

struct TabParts {
    std::string before; // empty when the line has no TAB
    std::string after;
};
// A list line split at its first TAB.
TabParts SplitAtTab(std::string_view line);

// The text with its first "%NUM" replaced by the number.
std::string ReplaceNum(std::string_view text, long long number);

// One entry of the message list: sender name, TAB, cleaned subject. CR, LF and TAB inside
// either become blanks, so one message is always one line of the list files.
std::string ListLine(std::string_view senderName, std::string_view cleanedSubject);

// Said in place of the sender's name when a list line has none.
inline constexpr const char* kUnknownSender = "een onbekende afzender";

// "3. Van Jan Jansen. Onderwerp: vergadering", or "... \+Geen onderwerp" when the list line
// has an empty subject; "3. Van een onbekende afzender. ..." when it has no sender name.
// position is 1-based.
std::string HeaderSentence(int position, std::string_view listLine);
// The same with when the message arrived said after the sender ("1. Van Jan, vandaag om half
// tien. Onderwerp: ..."); as above when arrival is empty.
std::string HeaderSentence(int position, std::string_view listLine, std::string_view arrival);

} // namespace brevon
