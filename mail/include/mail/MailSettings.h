// The settings the mail side reads. They are part of the shell's settings record, which hands
// them over as they are at each call, so a change made in the options dialog counts from the
// next check or reading on.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace brevon {

// How the connection to the mail server is secured.
enum class ConnectionSecurity {
    None,     // "Geen": plain text, as mail servers were read before
    StartTls, // "STARTTLS": plain at first, encrypted before the user name is sent
    Tls,      // "SSL/TLS": encrypted from the first byte (POP3S)
};

// The stored texts: "Geen", "STARTTLS", "SSL/TLS".
std::string_view SecurityText(ConnectionSecurity security);
// The stored text as a choice, case aside; any other text (a value that is absent reads as
// "Geen") is no security, as every settings file written before the choice existed means.
ConnectionSecurity SecurityFromText(std::string_view text);

// A port setting: 1 to 65535, or kUsualPort for the usual port of the security.
using PortNumber = std::uint16_t;
inline constexpr PortNumber kUsualPort = 0;
// The port a security choice uses when none is written: 995 for SSL/TLS (POP3S), 110 otherwise
// (RFC 1939, and RFC 2595 for STARTTLS on the same port).
PortNumber DefaultPort(ConnectionSecurity security);
// A port as written in a field or a settings file: a whole number from 1 to 65535 in plain
// digits, blanks around it aside; anything else is kUsualPort.
PortNumber PortFromText(std::string_view text);
// The stored text of a port: its digits, or empty for kUsualPort.
std::string PortText(PortNumber port);

// Where brevon connects to, however the settings write it.
struct MailServer {
    std::string host; // without a port
    PortNumber port = 0;
    ConnectionSecurity security = ConnectionSecurity::None;

    bool operator==(const MailServer&) const = default;
};
// The host is a name or address, or "name:port", "[v6 address]:port" (more than one colon
// without brackets is a v6 address alone). The port written with the host wins, then the port
// setting, then the security's usual one; a port that is no number from 1 to 65535 counts as
// not written.
MailServer ResolveServer(std::string_view host, PortNumber port, ConnectionSecurity security);

struct MailSettings {
    std::string Host; // "Host": a name or address, or "name:port", "[v6 address]:port"
    ConnectionSecurity Security = ConnectionSecurity::None; // "Beveiliging"
    PortNumber Port = kUsualPort;                           // "Poort"
    std::string User;
    std::string Password; // in plain
    // Signing in with an OAuth2 access token (from MailContext::tokens) by this SASL mechanism,
    // "XOAUTH2" or "OAUTHBEARER"; empty: with the password. Never stored: the shell fills it
    // from the sign-in in hand each time it hands the settings over.
    std::string SaslMechanism;
    std::int32_t Interval = 5; // "Interval in minuten": minutes between two timed checks
    std::int32_t NumSaveMails = 20;
    bool UseNumSaveMails = true;
    bool Reverse = false;
    bool SkipReply = false;
    bool UseLid = false;
    // "EigenTaal": a body in English, French, German, Italian or Spanish is read in its own
    // language.
    bool ReadInOwnLanguage = false;
    // "MeteenVoorlezen": after the announcement of new mail its messages are read in a row.
    bool ReadNewAtOnce = false;
    // "BijlagenNoemen": a reading ends with the message's attachments named.
    bool SayAttachments = false;
    // "TijdNoemen": the header sentence of a reading says when the message arrived.
    bool SayArrivalTime = false;
    // "PerAlinea": a body is handed to the engine paragraph by paragraph, so a reading can move
    // by them.
    bool ReadByParagraph = false;
    bool ShowWindow = true;

    bool operator==(const MailSettings&) const = default;
};

using MailSettingsSource = std::function<MailSettings()>;

} // namespace brevon
