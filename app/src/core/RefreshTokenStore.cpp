#include <app/RefreshTokenStore.h>

#include <app/PasswordScrambling.h>
#include <app/Settings.h>
#include <platform/Secrets.h>
#include <platform/SettingsStore.h>

namespace brevon {

RefreshTokenStore::RefreshTokenStore(platform::SettingsStore& settings,
                                     platform::SecretStore* secrets)
    : settings_(settings), secrets_(secrets) {}

std::optional<std::string> RefreshTokenStore::ReadFromFile(std::string& problem) {
    platform::OpenKeyResult opened =
        settings_.OpenKey(kSettingsKeyPath, platform::OpenMode::Existing);
    if (!opened.key) return std::nullopt;
    std::string scrambled;
    if (opened.key->ReadString(kRefreshTokenValue, scrambled) || scrambled.empty())
        return std::nullopt;
    problem.clear();
    return UnscramblePassword(scrambled);
}

bool RefreshTokenStore::WriteToFile(std::optional<std::string_view> token, std::string& problem) {
    platform::OpenKeyResult opened =
        settings_.OpenKey(kSettingsKeyPath, platform::OpenMode::Create);
    if (!opened.key) {
        problem = "settings not opened: " + opened.error.message();
        return false;
    }
    std::error_code error;
    if (token)
        error = opened.key->WriteString(kRefreshTokenValue, ScramblePassword(*token));
    else if (opened.key->ValueExists(kRefreshTokenValue))
        error = opened.key->DeleteValue(kRefreshTokenValue);
    if (!error) error = opened.key->Close();
    if (error) problem = "settings not written: " + error.message();
    return !error;
}

std::optional<std::string> RefreshTokenStore::Read(const std::string& account,
                                                   std::string& problem) {
    if (secrets_) {
        const platform::SecretLookup found = secrets_->Read({kRefreshTokenSecretKind, account});
        if (found.secret) return found.secret;
        // A keyring that cannot answer now may hold the token: say so if the file has none.
        if (found.error && found.error != platform::SecretsErrc::no_keyring)
            problem = "keyring: " + found.error.message() +
                      (found.detail.empty() ? "" : " (" + found.detail + ")");
    }
    return ReadFromFile(problem);
}

bool RefreshTokenStore::Write(const std::string& account, std::string_view token,
                              std::string& problem) {
    if (secrets_ && !secrets_->Write({kRefreshTokenSecretKind, account}, token)) {
        // In the keyring now: no copy stays in the file.
        std::string ignored;
        WriteToFile(std::nullopt, ignored);
        return true;
    }
    return WriteToFile(token, problem);
}

void RefreshTokenStore::Remove(const std::string& account) {
    if (secrets_) secrets_->Remove({kRefreshTokenSecretKind, account});
    std::string ignored;
    WriteToFile(std::nullopt, ignored);
}

} // namespace brevon
