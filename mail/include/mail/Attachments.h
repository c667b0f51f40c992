// The attachments of a message as said after its text: "Met één bijlage: factuur, een
// PDF-bestand."
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korp {
class TKorpMsg;
}

namespace brevon {

struct Attachment {
    std::string name;      // the file name as the message gives it (Windows-1252)
    std::int64_t size = 0; // decoded bytes
};

// The attachments a listener cares about: inline pictures and signature logos (small pictures,
// pictures named as mail programs name embedded ones) are left out.
std::vector<Attachment> AttachmentsToSay(const korp::TKorpMsg& message);

// Whether the attachment is a picture shown inside the text or a signature's logo.
bool IsEmbeddedPicture(const Attachment& attachment);

// "Met één bijlage: factuur, een PDF-bestand." / "Met drie bijlagen: a, een foto; b; c, een
// spreadsheet." Five names at most, then "en nog <n>". Names go without their extension; the
// kind is said for common types. Empty for no attachments. Windows-1252.
std::string AttachmentSentence(const std::vector<Attachment>& attachments);

} // namespace brevon
