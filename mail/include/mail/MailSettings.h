// The settings the mail side reads. The shell answers from its settings record at each call,
// so a change made in the options dialog counts from the next check or reading on.
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
// The port a security choice uses when none is written: "995" for SSL/TLS (POP3S), "110"
// otherwise (RFC 1939, and RFC 2595 for STARTTLS on the same port).
const char* DefaultPort(ConnectionSecurity security);

struct MailSettings {
    std::string Host; // a name or address, or "name:port", "[v6 address]:port"
    ConnectionSecurity Security = ConnectionSecurity::None;
    std::string Port; // 1 to 65535; empty: 110, or 995 for SSL/TLS
    std::string User;
    std::string Password; // in plain
    // Signing in with an OAuth2 access token (from MailContext::tokens) by this SASL mechanism,
    // "XOAUTH2" or "OAUTHBEARER"; empty: with the password.
    std::string SaslMechanism;
    std::int32_t Interval = 5; // "Interval in minuten": minutes between two timed checks
    std::int32_t NumSaveMails = 20;
    bool UseNumSaveMails = true;
    bool Reverse = false;
    bool SkipReply = false;
    bool UseLid = false;
    // A body in English, French, German, Italian or Spanish is read in its own language.
    bool ReadInOwnLanguage = false;
    // After the announcement of new mail its messages are read in a row at once.
    bool ReadNewAtOnce = false;
    // A reading ends with the message's attachments named.
    bool SayAttachments = false;
    // The header sentence of a reading says when the message arrived.
    bool SayArrivalTime = false;
    // A body is handed to the engine paragraph by paragraph, so a reading can move by them.
    bool ReadByParagraph = false;
    bool ShowWindow = true;
};

using MailSettingsSource = std::function<MailSettings()>;

} // namespace brevon
