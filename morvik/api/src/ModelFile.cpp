#include <morvik/api/ModelFile.h>

#include <array>
#include <cstring>

namespace {

constexpr std::size_t kHeaderSize = sizeof ModelFile::kMagic + 4 + 4;
constexpr std::size_t kCrcSize = 4;
// An n-gram key is short; a longer one means the file is not what it claims to be.
constexpr std::size_t kMaxKeyLength = 255;

void PutU32(std::vector<unsigned char>& out, std::uint32_t v) {
    out.push_back(static_cast<unsigned char>(v >> 24));
    out.push_back(static_cast<unsigned char>(v >> 16));
    out.push_back(static_cast<unsigned char>(v >> 8));
    out.push_back(static_cast<unsigned char>(v));
}

std::uint32_t GetU32(const unsigned char* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[i] = c;
    }
    return t;
}

} // namespace

namespace ModelFile {

std::uint32_t Crc32(const unsigned char* data, std::size_t size) {
    static const std::array<std::uint32_t, 256> table = MakeCrcTable();
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i)
        c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

std::vector<unsigned char> Encode(const ModelDictionary& model) {
    std::vector<unsigned char> out(kMagic, kMagic + sizeof kMagic);
    PutU32(out, kVersion);
    PutU32(out, static_cast<std::uint32_t>(model.size()));
    for (const auto& [key, value] : model) {
        const std::size_t n = key.size() < kMaxKeyLength ? key.size() : kMaxKeyLength;
        out.push_back(static_cast<unsigned char>(n));
        out.insert(out.end(), key.begin(), key.begin() + static_cast<std::ptrdiff_t>(n));
        PutU32(out, static_cast<std::uint32_t>(value));
    }
    PutU32(out, Crc32(out.data(), out.size()));
    return out;
}

bool Decode(const unsigned char* data, std::size_t size, ModelDictionary& model, std::string& why) {
    model.clear();
    auto fail = [&](const char* reason) {
        model.clear();
        why = reason;
        return false;
    };
    if (data == nullptr || size < kHeaderSize + kCrcSize) return fail("file too short");
    if (std::memcmp(data, kMagic, sizeof kMagic) != 0) return fail("not a model file");
    const std::uint32_t version = GetU32(data + sizeof kMagic);
    if (version != kVersion) return fail("unsupported format version");
    const std::size_t body = size - kCrcSize;
    if (Crc32(data, body) != GetU32(data + body)) return fail("checksum mismatch");

    const std::uint32_t count = GetU32(data + sizeof kMagic + 4);
    // Every entry takes at least five bytes, so the count cannot claim more than that allows.
    if (count > (body - kHeaderSize) / 5) return fail("entry count too large");
    model.reserve(count);
    std::size_t p = kHeaderSize;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (p + 1 > body) return fail("truncated entry");
        const std::size_t n = data[p++];
        if (p + n + 4 > body) return fail("truncated entry");
        std::string key(reinterpret_cast<const char*>(data + p), n);
        if (key.find('\0') != std::string::npos) return fail("zero byte in a key");
        p += n;
        const auto value = static_cast<std::int32_t>(GetU32(data + p));
        p += 4;
        // Log probabilities are never above 0: a model saying otherwise would score above 1.
        if (value > 0 && key != kNrCharsKey) return fail("positive log probability");
        if (!model.emplace(std::move(key), value).second) return fail("duplicate key");
    }
    if (p != body) return fail("trailing bytes after the entries");
    auto v = model.find(std::string_view(kNrCharsKey));
    if (v == model.end()) return fail("no nrchars entry");
    if (v->second < 0) return fail("negative nrchars");
    return true;
}

} // namespace ModelFile
