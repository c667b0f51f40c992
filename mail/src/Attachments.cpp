#include <mail/Attachments.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

#include <korp/KorpMsg.h>

namespace brevon {

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

struct Kind {
    std::string_view extension;
    std::string_view words;
};

constexpr std::array<Kind, 37> kKinds{{
    {"pdf", "een PDF-bestand"},
    {"doc", "een Word-document"},
    {"docx", "een Word-document"},
    {"odt", "een tekstdocument"},
    {"rtf", "een tekstdocument"},
    {"txt", "een tekstbestand"},
    {"xls", "een spreadsheet"},
    {"xlsx", "een spreadsheet"},
    {"ods", "een spreadsheet"},
    {"csv", "een spreadsheet"},
    {"ppt", "een presentatie"},
    {"pptx", "een presentatie"},
    {"odp", "een presentatie"},
    {"jpg", "een foto"},
    {"jpeg", "een foto"},
    {"heic", "een foto"},
    {"png", "een afbeelding"},
    {"gif", "een afbeelding"},
    {"bmp", "een afbeelding"},
    {"tif", "een afbeelding"},
    {"tiff", "een afbeelding"},
    {"webp", "een afbeelding"},
    {"zip", "een zip-bestand"},
    {"rar", "een gecomprimeerd bestand"},
    {"7z", "een gecomprimeerd bestand"},
    {"gz", "een gecomprimeerd bestand"},
    {"mp3", "een geluidsbestand"},
    {"wav", "een geluidsbestand"},
    {"m4a", "een geluidsbestand"},
    {"ogg", "een geluidsbestand"},
    {"mp4", "een video"},
    {"mov", "een video"},
    {"avi", "een video"},
    {"ics", "een afspraak"},
    {"vcf", "een visitekaartje"},
    {"eml", "een doorgestuurd bericht"},
    {"htm", "een webpagina"},
}};

// The text after the last dot, when there is a name before it.
std::string_view ExtensionOf(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == name.size()) return {};
    return name.substr(dot + 1);
}

std::string_view KindOf(std::string_view name) {
    const std::string extension = Lower(ExtensionOf(name));
    for (const Kind& kind : kKinds)
        if (kind.extension == extension) return kind.words;
    if (extension == "html") return "een webpagina";
    return {};
}

// The name as it is said: without its extension, the separators file names use for blanks
// made blanks, and nothing for the placeholder a nameless part gets.
std::string SpokenName(std::string_view name) {
    if (name.starts_with("_cosa_")) return {};
    if (!ExtensionOf(name).empty()) name = name.substr(0, name.rfind('.'));
    std::string out;
    for (const char c : name) {
        const char spoken = c == '_' || c == '+' ? ' ' : c;
        if (spoken == ' ' && (out.empty() || out.back() == ' ')) continue;
        out += spoken;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

std::string Item(const Attachment& attachment) {
    const std::string name = SpokenName(attachment.name);
    const std::string_view kind = KindOf(attachment.name);
    if (name.empty()) return kind.empty() ? "een naamloos bestand" : std::string(kind);
    if (kind.empty()) return name;
    return name + ", " + std::string(kind);
}

// Windows-1252: "één".
constexpr std::array<std::string_view, 13> kNumbers{"nul",  "\xE9\xE9n", "twee",  "drie", "vier",
                                                    "vijf", "zes",       "zeven", "acht", "negen",
                                                    "tien", "elf",       "twaalf"};

std::string Number(std::size_t n) {
    return n < kNumbers.size() ? std::string(kNumbers[n]) : std::to_string(n);
}

bool IsPicture(std::string_view name) {
    const std::string_view kind = KindOf(name);
    return kind == "een foto" || kind == "een afbeelding";
}

} // namespace

bool IsEmbeddedPicture(const Attachment& attachment) {
    if (!IsPicture(attachment.name)) return false;
    // Logos and icons of a signature or a newsletter are a few kilobytes; a photo is more.
    constexpr std::int64_t kSmallPicture = 16 * 1024;
    if (attachment.size < kSmallPicture) return true;
    // Mail programs name the pictures they embed in the text "image001.png" and the like.
    const std::string name = Lower(attachment.name);
    if (name.find("logo") != std::string::npos) return true;
    if (!name.starts_with("image")) return false;
    const std::string_view rest = std::string_view(name).substr(5, name.rfind('.') - 5);
    return !rest.empty() &&
           std::all_of(rest.begin(), rest.end(), [](unsigned char c) { return std::isdigit(c); });
}

std::vector<Attachment> AttachmentsToSay(const korp::TKorpMsg& message) {
    std::vector<Attachment> out;
    for (std::size_t i = 0; i < message.AttachedFiles.Count(); ++i) {
        const korp::TAttachedFile& file = message.AttachedFiles[i];
        Attachment attachment{file.FileName, static_cast<std::int64_t>(file.Data.Bytes().size())};
        if (!IsEmbeddedPicture(attachment)) out.push_back(std::move(attachment));
    }
    return out;
}

std::string AttachmentSentence(const std::vector<Attachment>& attachments) {
    if (attachments.empty()) return {};
    constexpr std::size_t kMostNamed = 5;
    std::string text = "Met " + Number(attachments.size()) +
                       (attachments.size() == 1 ? " bijlage: " : " bijlagen: ");
    const std::size_t named = std::min(attachments.size(), kMostNamed);
    for (std::size_t i = 0; i < named; ++i) {
        if (i > 0) text += "; ";
        text += Item(attachments[i]);
    }
    if (attachments.size() > named) text += " en nog " + Number(attachments.size() - named);
    return text + ".";
}

} // namespace brevon
