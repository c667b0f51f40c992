#include <morvik/api/HTMLDocument.h>

int HTMLDocument::Init(std::string_view text, Stopper* extractor, std::int32_t reserved,
                       std::int32_t languageOption) {
    Text::Init(text, extractor, reserved, languageOption);
    return ConvertMarkup();
}
