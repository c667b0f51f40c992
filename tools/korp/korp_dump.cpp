// korp-dump FILE...: shows what brevon's message parser makes of raw message files.
//
// Each file holds one message as a POP3 client hands it over (header and body lines, ending in
// CR LF or LF). For each file one JSON object is printed on one line. 8-bit text is written with
// every byte as the code point of the same value (Latin-1), so Windows-1252 bytes stay visible.
// A message that fails to parse still gives an object, with the error under "Error".
// Exit status: 0 when every file was read and parsed, 1 otherwise, 2 for a usage error.

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#ifdef _WIN32
// The Windows build has no OpenSSL: the digest comes from the system's cryptography (CNG).
#include <windows.h>
#include <bcrypt.h>
#else
#include <openssl/evp.h>
#endif

#include <korp/KorpErrors.h>
#include <korp/KorpMsg.h>

namespace {

void AppendJsonString(std::string& out, std::string_view s) {
    static const char hex[] = "0123456789abcdef";
    out += '"';
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else { // the code point of the same value, in UTF-8
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    out += '"';
}

void Key(std::string& out, const char* key) {
    if (out.size() > 1) out += ',';
    AppendJsonString(out, key);
    out += ':';
}

void Field(std::string& out, const char* key, std::string_view value) {
    Key(out, key);
    AppendJsonString(out, value);
}

std::string Sha256Hex(std::string_view data) {
#ifdef _WIN32
    unsigned char digest[32];
    unsigned int length = 0;
    // BCryptHashData takes a 32-bit length: large data goes in pieces.
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (BCRYPT_SUCCESS(
            ::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
        BCRYPT_SUCCESS(::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) {
        bool ok = true;
        for (std::string_view rest = data; ok && !rest.empty();) {
            const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(rest.size(), 1u << 30));
            ok = BCRYPT_SUCCESS(::BCryptHashData(
                hash, reinterpret_cast<PUCHAR>(const_cast<char*>(rest.data())), piece, 0));
            rest.remove_prefix(piece);
        }
        if (ok && BCRYPT_SUCCESS(::BCryptFinishHash(hash, digest, sizeof digest, 0)))
            length = sizeof digest;
    }
    if (hash != nullptr) ::BCryptDestroyHash(hash);
    if (algorithm != nullptr) ::BCryptCloseAlgorithmProvider(algorithm, 0);
#else
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr);
#endif
    static const char hex[] = "0123456789abcdef";
    std::string result;
    for (unsigned int i = 0; i < length; ++i) {
        result += hex[digest[i] >> 4];
        result += hex[digest[i] & 15];
    }
    return result;
}

bool Dump(const std::string& fileName, std::string& out) {
    // Cleared and appended rather than assigned "{": GCC 12 at -O3 warns (-Wrestrict) about
    // that assignment's inlined copy, wrongly.
    out.clear();
    out += '{';
    Field(out, "File", fileName);
    korp::TKorpMsg msg;
    std::string error;
    try {
        msg.RawMail.LoadFromFile(fileName);
    } catch (const std::exception& e) {
        Field(out, "Error", e.what());
        out += '}';
        return false;
    }
    try {
        msg.ParseRawMail();
    } catch (const korp::EKorpError& e) {
        error = e.what();
    }
    Field(out, "From", msg.From);
    Field(out, "Subject", msg.Subject);
    Field(out, "Date", msg.Date);
    Field(out, "SendTo", msg.SendTo);
    Field(out, "CC", msg.CC);
    Field(out, "ReplyTo", msg.ReplyTo);
    Field(out, "ContentType", msg.ContentType);
    Field(out, "ContentTransferEncoding", msg.ContentTransferEncoding);
    Key(out, "Text");
    out += '[';
    for (std::size_t i = 0; i < msg.Text.Count(); ++i) {
        if (i > 0) out += ',';
        AppendJsonString(out, msg.Text[i]);
    }
    out += ']';
    Key(out, "AttachedFiles");
    out += '[';
    for (std::size_t i = 0; i < msg.AttachedFiles.Count(); ++i) {
        const auto& file = msg.AttachedFiles[i];
        if (i > 0) out += ',';
        std::string item = "{";
        Field(item, "FileName", file.FileName);
        Field(item, "MimeType", file.MimeType);
        Key(item, "Size");
        item += std::to_string(file.Data.Bytes().size());
        Field(item, "SHA256", Sha256Hex(file.Data.Bytes()));
        item += '}';
        out += item;
    }
    out += ']';
    if (!error.empty()) Field(out, "Error", error);
    out += '}';
    return error.empty();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: korp-dump FILE...\n"
                   "Parses each raw mail message file and prints one JSON object per line.\n",
                   stderr);
        return 2;
    }
    bool ok = true;
    std::string out;
    for (int i = 1; i < argc; ++i) {
        ok = Dump(argv[i], out) && ok;
        out += '\n';
        std::fwrite(out.data(), 1, out.size(), stdout);
    }
    return ok ? 0 : 1;
}
