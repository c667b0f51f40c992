// Turns brevon's 8-bit texts into what espeak-ng reads, and into transcript lines.
#pragma once

#include <string>
#include <string_view>

namespace qvstts {

class Lexicon;

// Windows-1252 to UTF-8; the five bytes without a character become U+FFFD.
std::string cp1252ToUtf8(std::string_view text);

// UTF-8 to Windows-1252; characters outside it become '?', and so does each byte that starts
// no well-formed sequence.
std::string utf8ToCp1252(std::string_view text);

// Lower case within Windows-1252 (ASCII, Latin-1 letters, Š Œ Ž Ÿ).
char lowerCp1252(char c);

// True for the bytes that make up a word in Windows-1252 text.
bool isWordByte(char c);

// SSML for espeak-ng (UTF-8): "\+" and "\-" before a word become emphasis and a soft, low
// prosody; words of the lexicon are replaced by their pronunciation; "&" becomes "en", "<" and
// ">" are escaped; line ends become clause breaks; control characters become spaces. For a
// language other than Dutch ("nl") the lexicon is not applied and "&" is left to the voice.
std::string toSsml(std::string_view cp1252, const Lexicon* lexicon,
                   std::string_view language = "nl");

// The text as one transcript field (UTF-8): stress marks kept, control characters escaped.
std::string transcriptText(std::string_view cp1252);

} // namespace qvstts
