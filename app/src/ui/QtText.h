// brevon keeps all its text in Windows-1252; Qt's widgets want QString. These convert at the
// edge, byte for byte in both directions.
#pragma once

#include <string>
#include <string_view>

class QString;

namespace brevon {

// Characters Windows-1252 cannot hold become '?' (one per character, also for those outside
// the Basic Multilingual Plane); exact, when given, tells whether any did.
std::string ToCp1252(const QString& text, bool* exact = nullptr);

// The five bytes Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1
// controls of the same value, as Windows itself maps them, so that they convert back unchanged.
QString FromCp1252(std::string_view text);

} // namespace brevon
