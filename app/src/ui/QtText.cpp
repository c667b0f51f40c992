#include "QtText.h"

#include <cstddef>

#include <QString>

#include <encoding/Cp1252.h>

namespace brevon {

std::string ToCp1252(const QString& text, bool* exact) {
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    bool allKept = true;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text[i + 1].unicode()))
            ++i; // one character, one '?'
        const int byte = encoding::UnicodeToCp1252(c, encoding::Undefined::AsControls);
        if (byte < 0) allKept = false;
        out += byte < 0 ? '?' : static_cast<char>(byte);
    }
    if (exact) *exact = allKept;
    return out;
}

QString FromCp1252(std::string_view text) {
    QString out;
    out.reserve(static_cast<qsizetype>(text.size()));
    for (const char ch : text)
        out += QChar(static_cast<char16_t>(encoding::Cp1252ToUnicode(
            static_cast<unsigned char>(ch), encoding::Undefined::AsControls)));
    return out;
}

} // namespace brevon
