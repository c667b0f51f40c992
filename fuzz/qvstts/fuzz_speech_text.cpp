// Mail text reaches the speech engine as it came: the SSML it makes must stay well-formed for
// any input, and a word list read from disk must parse without harm.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <qvstts/Lexicon.h>
#include <qvstts/SpeechText.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    const std::string_view text = input.substr(0, split);
    const qvstts::Lexicon lexicon = qvstts::Lexicon::parse(
        split == std::string_view::npos ? std::string_view{} : input.substr(split + 1));

    const std::string ssml = qvstts::toSsml(text, &lexicon);
    // Only our own tags may appear: every '<' opens one of them.
    for (size_t at = ssml.find('<'); at != std::string::npos; at = ssml.find('<', at + 1)) {
        const std::string_view rest = std::string_view(ssml).substr(at);
        if (!rest.starts_with("<emphasis>") && !rest.starts_with("</emphasis>") &&
            !rest.starts_with("<prosody volume=\"soft\" pitch=\"low\">") &&
            !rest.starts_with("</prosody>") && !rest.starts_with("<break strength=\"medium\"/>"))
            __builtin_trap();
    }
    const std::string line = qvstts::transcriptText(text);
    if (line.find_first_of("\r\n\t") != std::string::npos) __builtin_trap();
    if (qvstts::utf8ToCp1252(qvstts::cp1252ToUtf8(text)).size() != text.size()) __builtin_trap();
    (void)lexicon.serialize();
    return 0;
}
