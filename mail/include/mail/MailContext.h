// What every part of the mail side works with: the POP3 client, the shared reading state, the
// settings, and the shell's bar, speech and hidden connection window.
#pragma once

#include <string>

#include <mail/AccessTokenSource.h>
#include <mail/MailSettings.h>
#include <mail/ReadingState.h>
#include <mail/Seams.h>

namespace korp {
class TKorpPOP;
}

namespace brevon {

struct MailContext {
    korp::TKorpPOP& client;
    ReadingState& state;
    MailSettingsSource settings;
    ShellOps& shell;
    SpeechOps& speech;
    ConnectionWindow& window;
    // The access tokens of a mailbox that signs in at its provider; null: none kept.
    AccessTokenSource* tokens = nullptr;
};

// Said after a failed connection, a failed login and for an empty host (Windows-1252, with
// the engine's stress marks).
inline constexpr const char* kFillInTheFormSentence =
    "Voordat ik uw e-mail kan voorlezen, moet u eerst de gegevens op dit formulier invullen";
inline constexpr const char* kCannotConnectSentence =
    "Ik kan geen verbinding maken met de e-mailserver. Controleer uw instellingen";
inline constexpr const char* kStillCannotConnectSentence =
    "Ik kan nog \\+steeds geen verbinding maken met de e-mailserver";
// When the connection could not be secured: the certificate failed verification, the server
// does not offer STARTTLS, or the handshake failed.
inline constexpr const char* kUntrustedCertificateSentence =
    "Ik kan geen veilige verbinding maken: het certificaat van de e-mailserver is niet in orde. "
    "Controleer uw instellingen";
inline constexpr const char* kNoSecurityOfferedSentence =
    "De e-mailserver biedt geen beveiligde verbinding aan. Controleer uw instellingen";
inline constexpr const char* kCannotConnectSecurelySentence =
    "Ik kan geen beveiligde verbinding maken met de e-mailserver. Controleer uw instellingen";
// Said once when a mailbox that was reached before cannot be reached now; brevon stays online
// and tries again by itself.
inline constexpr const char* kRetryLaterSentence =
    "Ik kan de e-mailserver nu niet bereiken, ik probeer het straks opnieuw";
// Said once when the stored message list cannot be read: the check that follows lists the
// mailbox afresh.
inline constexpr const char* kCannotReadListSentence =
    "Ik kan mijn lijst met berichten niet lezen; ik begin een nieuwe.";
// Said once, followed by the folder, when the message list cannot be saved; brevon keeps it and
// tries again at each check.
inline constexpr const char* kCannotSaveListSentence =
    "Ik kan mijn lijst met berichten niet bewaren in de map ";
inline constexpr const char* kCannotLogInSentence =
    "Ik kan niet \\+in \\-loggen op de e-mailserver. Controleer naam en wachtwoord";
// Failures that say nothing about the settings: no dialog opens and checking goes on. Said for
// a mailbox not reached before with these settings, or (the temporary file) for any mailbox.
inline constexpr const char* kConnectionLostSentence =
    "De verbinding met de e-mailserver is verbroken";
inline constexpr const char* kServerSilentSentence = "De e-mailserver antwoordt niet";
inline constexpr const char* kNoTemporarySpaceSentence =
    "Er is geen ruimte om het bericht tijdelijk op te slaan";
// Something answers at the address, but not as a POP3 server does (another service's port).
inline constexpr const char* kNotAMailServerSentence =
    "De server op dit adres is geen e-mailserver. Controleer uw instellingen";
// Said once when the provider will not renew the sign-in (it expired or was withdrawn), with the
// provider's name between the two; the options dialog opens with its sign-in button focused.
inline constexpr const char* kSignInExpiredStart = "Uw aanmelding bij ";
inline constexpr const char* kSignInExpiredEnd = " is verlopen; meld u opnieuw aan.";
inline constexpr const char* kSignInExpiredNoName =
    "Uw aanmelding is verlopen; meld u opnieuw aan.";
inline std::string SignInExpiredSentence(const std::string& provider) {
    if (provider.empty()) return kSignInExpiredNoName;
    std::string s = kSignInExpiredStart;
    s += provider;
    s += kSignInExpiredEnd;
    return s;
}
// Said instead when no sign-in was ever kept for the mailbox (a first run with the address of a
// provider that takes no password): the dialog opens as above.
inline constexpr const char* kSignInFirstStart = "U bent nog niet aangemeld bij ";
inline constexpr const char* kSignInFirstEnd = "; meld u aan in de instellingen.";
inline constexpr const char* kSignInFirstNoName =
    "U bent nog niet aangemeld; meld u aan in de instellingen.";
inline std::string SignInFirstSentence(const std::string& provider) {
    if (provider.empty()) return kSignInFirstNoName;
    std::string s = kSignInFirstStart;
    s += provider;
    s += kSignInFirstEnd;
    return s;
}

} // namespace brevon
