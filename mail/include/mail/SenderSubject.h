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

// The subject without its "Re:", "Fwd:" and the like, a trailing "(fwd)" and one enclosing
// pair of square brackets per pass, repeated while a pass removes something.
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

// "3. Van Jan Jansen. Onderwerp: vergadering", or "... \+Geen onderwerp" when the list line
// has an empty subject. position is 1-based.
std::string HeaderSentence(int position, std::string_view listLine);

} // namespace brevon
