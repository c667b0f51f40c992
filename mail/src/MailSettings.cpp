#include <mail/MailSettings.h>

#include <algorithm>
#include <cctype>

namespace brevon {

namespace {

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
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

const char* DefaultPort(ConnectionSecurity security) {
    return security == ConnectionSecurity::Tls ? "995" : "110";
}

ConnectionSecurity SecurityFromText(std::string_view text) {
    for (const ConnectionSecurity security :
         {ConnectionSecurity::StartTls, ConnectionSecurity::Tls})
        if (SameText(text, SecurityText(security))) return security;
    return ConnectionSecurity::None;
}

} // namespace brevon
