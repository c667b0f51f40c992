// HTMLDocument: an HTML text; its terms come from the text with entities converted and markup,
// scripts and comments stripped.
#pragma once

#include <morvik/api/SGMLDocument.h>

class HTMLDocument : public SGMLDocument {
public:
    int Init(std::string_view text, Stopper* extractor, std::int32_t reserved,
             std::int32_t languageOption) override;
};
