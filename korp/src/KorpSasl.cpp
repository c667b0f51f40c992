#include <korp/KorpSasl.h>

#include <algorithm>

namespace korp {

namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != b[i]) return false;
    }
    return true;
}

// RFC 7628, 3.1, as RFC 5801, 4: "," and "=" in the authorization identity are escaped.
std::string SaslName(std::string_view user) {
    std::string out;
    for (const char c : user) {
        if (c == ',')
            out += "=2C";
        else if (c == '=')
            out += "=3D";
        else
            out += c;
    }
    return out;
}

std::optional<std::string> Base64Decode(std::string_view text) {
    std::string out;
    unsigned bits = 0;
    int count = 0;
    std::size_t padding = 0;
    for (const char c : text) {
        if (c == '=') {
            ++padding;
            continue;
        }
        const std::size_t value = kAlphabet.find(c);
        if (value == std::string_view::npos || padding > 0) return std::nullopt;
        bits = (bits << 6) | static_cast<unsigned>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xff);
        }
    }
    if (padding > 2 || (text.size() % 4) != 0) return std::nullopt;
    return out;
}

} // namespace

std::optional<TSaslMechanism> SaslMechanismFromName(std::string_view name) {
    for (const TSaslMechanism m : {TSaslMechanism::XOAuth2, TSaslMechanism::OAuthBearer})
        if (SameName(name, SaslMechanismName(m))) return m;
    return std::nullopt;
}

std::string_view SaslMechanismName(TSaslMechanism mechanism) {
    return mechanism == TSaslMechanism::XOAuth2 ? "XOAUTH2" : "OAUTHBEARER";
}

std::string Base64Encode(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        unsigned group = 0;
        for (std::size_t k = 0; k < 3; ++k)
            group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            out += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 0x3f] : '=';
    }
    return out;
}

std::string SaslInitialResponse(TSaslMechanism mechanism, std::string_view user,
                                std::string_view host, std::string_view port,
                                std::string_view token) {
    const std::string bearer = "auth=Bearer " + std::string(token) + "\x01\x01";
    if (mechanism == TSaslMechanism::XOAuth2) return "user=" + std::string(user) + "\x01" + bearer;
    return "n,a=" + SaslName(user) + ",\x01host=" + std::string(host) +
           "\x01port=" + std::string(port) + "\x01" + bearer;
}

std::string SaslErrorAcknowledgement(TSaslMechanism mechanism) {
    return mechanism == TSaslMechanism::XOAuth2 ? std::string() : Base64Encode("\x01");
}

std::string SaslChallengeText(std::string_view base64) {
    const std::optional<std::string> decoded = Base64Decode(base64);
    std::string out;
    for (const char c : decoded ? std::string_view(*decoded) : base64) {
        if (out.size() >= 200) break;
        out += static_cast<unsigned char>(c) < ' ' || c == 0x7f ? ' ' : c;
    }
    return out;
}

} // namespace korp
