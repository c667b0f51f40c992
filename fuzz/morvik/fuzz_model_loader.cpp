// Feeds arbitrary bytes to the model file decoder and scores a text with whatever it accepts.
// When the first byte is odd the right checksum is appended, so that the fuzzer also reaches
// the entry parsing behind the checksum test.
#include <morvik/api/ASCIIDocument.h>
#include <morvik/api/LanguageProfile.h>
#include <morvik/api/ModelFile.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<unsigned char> bytes(data, data + size);
    if (size > 0 && (data[0] & 1) != 0) {
        const std::uint32_t crc = ModelFile::Crc32(bytes.data(), bytes.size());
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.push_back(static_cast<unsigned char>(crc >> shift));
    }
    LanguageProfile profile;
    std::string why;
    if (!ModelFile::Decode(bytes.data(), bytes.size(), profile.Model, why)) return 0;
    profile.RebuildIndex();
    profile.LoadCount = 1;
    // What was accepted encodes back to an accepted file with the same entries.
    const std::vector<unsigned char> again = ModelFile::Encode(profile.Model);
    ModelDictionary round;
    if (!ModelFile::Decode(again.data(), again.size(), round, why) || round != profile.Model) {
        std::abort();
    }
    ASCIIDocument doc;
    doc.Init("Het huis van de buren staat aan de gracht. caf\xE9", nullptr, 0, 0);
    const float score = profile.Score(doc);
    if (!(score >= 0.0f && score <= 1.0f)) std::abort();
    return 0;
}
