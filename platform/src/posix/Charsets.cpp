#include <platform/Charsets.h>

#include <array>
#include <cerrno>
#include <cstdint>

#include <iconv.h>
#include <locale.h>

namespace platform {

namespace {

class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (ok()) iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

} // namespace

bool DecodeCharset(std::string_view text, const std::string& charset,
                   const std::function<void(char32_t)>& character,
                   const std::function<void(char)>& invalidByte) {
    Iconv cd("UTF-32LE", charset.c_str());
    if (!cd.ok()) return false;

    std::array<char, 4096> units;
    auto flush = [&](const char* end) {
        for (const char* p = units.data(); p + 4 <= end; p += 4) {
            const auto* u = reinterpret_cast<const unsigned char*>(p);
            character(static_cast<char32_t>(u[0] | (u[1] << 8) | (u[2] << 16) |
                                            (static_cast<std::uint32_t>(u[3]) << 24)));
        }
    };
    char* in = const_cast<char*>(text.data()); // iconv's signature; the input is not written
    std::size_t inLeft = text.size();
    while (inLeft > 0) {
        char* outp = units.data();
        std::size_t outLeft = units.size();
        const std::size_t r = iconv(cd.get(), &in, &inLeft, &outp, &outLeft);
        flush(outp);
        if (r != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
        // An invalid or truncated sequence: its first byte as it is, and on after it.
        invalidByte(*in);
        ++in;
        --inLeft;
        iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
    }
    char* outp = units.data();
    std::size_t outLeft = units.size();
    iconv(cd.get(), nullptr, nullptr, &outp, &outLeft); // shift back for stateful charsets
    flush(outp);
    return true;
}

// iconv's transliteration follows the C library's LC_CTYPE locale; the C locale knows almost
// nothing, so this thread uses C.UTF-8 while asking.
std::string TransliterateToCp1252(char32_t cp) {
    std::string result;
    static const locale_t utf8Locale =
        newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    const locale_t previous =
        utf8Locale != static_cast<locale_t>(0) ? uselocale(utf8Locale) : static_cast<locale_t>(0);
    {
        Iconv cd("WINDOWS-1252//TRANSLIT", "UTF-32LE");
        if (cd.ok()) {
            char in[4] = {static_cast<char>(cp & 0xFF), static_cast<char>((cp >> 8) & 0xFF),
                          static_cast<char>((cp >> 16) & 0xFF),
                          static_cast<char>((cp >> 24) & 0xFF)};
            char out[32];
            char* inp = in;
            std::size_t inLeft = sizeof in;
            char* outp = out;
            std::size_t outLeft = sizeof out;
            if (iconv(cd.get(), &inp, &inLeft, &outp, &outLeft) != static_cast<std::size_t>(-1))
                result.assign(out, static_cast<std::size_t>(outp - out));
        }
    }
    if (utf8Locale != static_cast<locale_t>(0)) uselocale(previous);
    return result;
}

} // namespace platform
