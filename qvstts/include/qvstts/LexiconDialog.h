// The word-list editor that QVS_Lexicon opens (Qt Widgets).
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include <qvstts/Lexicon.h>

namespace qvstts {

enum class LexiconResult { Saved, Cancelled, NoApplication };

// Shows the editor modally over owner (a QWidget pointer or a native window id, or null) with
// the list read from file; on OK the list is written back to file and handed out in saved (a failed
// write is reported and the editor stays open). tryOut speaks a Windows-1252 text, for the
// "Beluisteren" button.
LexiconResult editLexicon(void* owner, const std::filesystem::path& file,
                          const std::function<void(const std::string&)>& tryOut, Lexicon* saved);

} // namespace qvstts
