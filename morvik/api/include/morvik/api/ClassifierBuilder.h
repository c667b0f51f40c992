// ClassifierBuilder: collects the (N-1)-gram, N-gram and 1-gram counts of training documents
// and writes the model file made from them.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

class Text;

class ClassifierBuilder {
public:
    using Counts = std::unordered_map<std::string, std::int32_t>;

    // Adds the document's counts in three passes; nothing happens without a document.
    void Collect(Text* document);
    // Writes the model: "nrchars" -> V, and for every N-gram floor(1e6 * ln((c + 1) / (c2 + V))).
    // 1 when the file was written; 0 (after a line on stderr) when it could not be.
    int WriteModel(const char* fileName);

    std::int32_t TraceLevel = 0;
    std::int32_t N = 0;
    Counts NgramCounts;
    Counts PrefixCounts; // the (N-1)-grams
    Counts CharCounts;   // the 1-grams, "_" included
};
