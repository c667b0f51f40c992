#include <mail/MailSettings.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string>
#include <utility>

#include <korp/korp_util.h>
#include <platform/AsciiText.h>

namespace brevon {

namespace {

struct HostAndPort {
    std::string host;
    std::string port; // empty: none written
};

// The host setting split into the name to connect to and the port text written with it.
HostAndPort SplitHostPort(std::string_view setting) {
    const std::string s(korp::Trim(setting));
    if (!s.empty() && s.front() == '[') {
        const std::size_t close = s.find(']');
        if (close != std::string::npos) {
            const std::string rest = s.substr(close + 1);
            return {s.substr(1, close - 1),
                    rest.size() > 1 && rest[0] == ':' ? rest.substr(1) : ""};
        }
    }
    // One colon: name and port. More than one is an IPv6 address without a port.
    const std::size_t colon = s.find(':');
    if (colon != std::string::npos && s.find(':', colon + 1) == std::string::npos)
        return {s.substr(0, colon), s.substr(colon + 1)};
    return {s, ""};
}

} // namespace

std::string_view SecurityText(ConnectionSecurity security) {
    switch (security) {
    case ConnectionSecurity::StartTls:
        return "STARTTLS";
    case ConnectionSecurity::Tls:
        return "SSL/TLS";
    case ConnectionSecurity::None:
        break;
    }
    return "Geen";
}

ConnectionSecurity SecurityFromText(std::string_view text) {
    for (const ConnectionSecurity security :
         {ConnectionSecurity::StartTls, ConnectionSecurity::Tls})
        if (platform::SameAsciiText(text, SecurityText(security))) return security;
    return ConnectionSecurity::None;
}

PortNumber DefaultPort(ConnectionSecurity security) {
    return security == ConnectionSecurity::Tls ? 995 : 110;
}

PortNumber PortFromText(std::string_view text) {
    text = korp::Trim(text);
    // Plain digits only: from_chars would take a sign, and five digits hold every port.
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != text.npos)
        return kUsualPort;
    unsigned value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value <= 65535 ? static_cast<PortNumber>(value) : kUsualPort;
}

std::string PortText(PortNumber port) {
    return port == kUsualPort ? std::string() : std::to_string(port);
}

MailServer ResolveServer(std::string_view host, PortNumber port, ConnectionSecurity security) {
    HostAndPort split = SplitHostPort(host);
    PortNumber number = PortFromText(split.port);
    if (number == kUsualPort) number = port;
    if (number == kUsualPort) number = DefaultPort(security);
    return {std::move(split.host), number, security};
}

} // namespace brevon
