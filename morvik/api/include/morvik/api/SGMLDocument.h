// SGMLDocument: markup documents; converts character entities and strips tags, scripts and
// comments. Every operation is linear in the text length.
#pragma once

#include <morvik/api/Text.h>

#include <string>
#include <unordered_map>

class SGMLDocument : public Text {
public:
    SGMLDocument();
    ~SGMLDocument() override;
    std::int32_t ExtractTerms(TermList& list) override;

    // Mode 2: Latin-1 entities become their characters, the markup entities stay as written.
    // Mode 3: the markup entities (amp, lt, gt, quot) become their characters. In both modes
    // "&#NNN;" becomes the character NNN modulo 256 and an unknown entity is deleted.
    // Throws the plain string "ConvertEntities: not enough memory" when memory runs out.
    void ConvertEntities(std::string& text, int mode) const;
    // Drops every "<...>" of at most 200 characters; returns 1.
    int RemoveSGMLTags(std::string& text) const;
    // Removes "<!--" .. "-->" spans, then "<script" .. "</script>" spans (case-insensitive).
    static void RemoveScriptsAndComments(std::string& text);

    std::unordered_map<std::string, std::string> CharacterEntities;
    std::unordered_map<std::string, std::string> MarkupEntities;

protected:
    // The shared conversion: entities, tags, markup entities, scripts and comments.
    int ConvertMarkup();
};
