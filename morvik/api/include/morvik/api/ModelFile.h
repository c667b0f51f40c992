// The n-gram model file: magic "MORVIKNG", format version, entry count, the entries (key
// length, key bytes, value) and a CRC-32 of all that precedes it. Numbers are stored most
// significant byte first. A file is read in one piece and checked before anything is used.
#pragma once

#include <morvik/api/ModelDictionary.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ModelFile {

inline constexpr char kMagic[8] = {'M', 'O', 'R', 'V', 'I', 'K', 'N', 'G'};
inline constexpr std::uint32_t kVersion = 1;

// The bytes of a model file holding model.
std::vector<unsigned char> Encode(const ModelDictionary& model);
// Fills model from the bytes of a model file. On failure model is left empty and why says what
// is wrong.
bool Decode(const unsigned char* data, std::size_t size, ModelDictionary& model, std::string& why);
std::uint32_t Crc32(const unsigned char* data, std::size_t size);

} // namespace ModelFile
