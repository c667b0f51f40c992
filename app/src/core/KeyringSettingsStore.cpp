#include <app/KeyringSettingsStore.h>

#include <algorithm>
#include <cstdint>
#include <utility>

#include <app/PasswordScrambling.h>
#include <app/Settings.h>
#include <platform/AsciiText.h>
#include <platform/Secrets.h>

namespace brevon {

namespace {

bool IsSettingsKey(std::string_view path) {
    const auto trimmed = [](std::string_view p) {
        return !p.empty() && p.front() == '\\' ? p.substr(1) : p;
    };
    return platform::SameAsciiText(trimmed(path), trimmed(kSettingsKeyPath));
}

constexpr std::string_view kPasswordValue = "Password";

} // namespace

std::string PasswordAccount(std::string_view user, std::string_view host) {
    return std::string(user) + "@" + std::string(host);
}

std::string_view PasswordPlaceLine(PasswordPlace place) {
    return place == PasswordPlace::Keyring ? kPasswordInKeyringLine : kPasswordInFileLine;
}

std::string_view PasswordPlaceDescription(PasswordPlace place) {
    return place == PasswordPlace::Keyring ? kPasswordInKeyringDescription
                                           : kPasswordInFileDescription;
}

// brevon's key, its "Password" value kept in the keyring.
class KeyringSettingsStore::Key final : public platform::SettingsKey {
public:
    Key(std::unique_ptr<platform::SettingsKey> inner, KeyringSettingsStore& store)
        : inner_(std::move(inner)), store_(store) {}

    std::error_code ReadInteger(std::string_view name, std::int32_t& value) const override {
        return inner_->ReadInteger(name, value);
    }
    bool ValueExists(std::string_view name) const override { return inner_->ValueExists(name); }
    std::error_code WriteInteger(std::string_view name, std::int32_t value) override {
        return inner_->WriteInteger(name, value);
    }
    std::error_code DeleteValue(std::string_view name) override {
        return inner_->DeleteValue(name);
    }
    std::error_code Close() override { return inner_->Close(); }

    // The value as stored: scrambled. An empty one is filled from the keyring when the
    // password was put there.
    std::error_code ReadString(std::string_view name, std::string& value) const override {
        if (!platform::SameAsciiText(name, kPasswordValue)) return inner_->ReadString(name, value);
        std::string stored;
        const std::error_code error = inner_->ReadString(name, stored);
        if (error && error != platform::SettingsErrc::value_not_found) return error;
        if (!stored.empty()) {
            store_.Kept({}, {});
            value = std::move(stored);
            return {};
        }
        value.clear();
        if (!InKeyring()) return error;
        const std::string account = Account();
        if (!store_.secrets_) {
            store_.problem_ = "this system has no keyring";
            return {};
        }
        platform::SecretLookup found = store_.secrets_->Read({kPasswordSecretKind, account});
        if (found.secret) {
            store_.Kept(account, *found.secret);
            value = ScramblePassword(*found.secret);
            return {};
        }
        store_.problem_ = found.error ? found.error.message() : "no password in the keyring";
        if (!found.detail.empty()) *store_.problem_ += " (" + found.detail + ")";
        return {};
    }

    // value is the password scrambled, as every writer of the settings hands it over.
    std::error_code WriteString(std::string_view name, std::string_view value) override {
        if (platform::SameAsciiText(name, "Host") || platform::SameAsciiText(name, "User"))
            return WriteAccountPart(name, value);
        if (!platform::SameAsciiText(name, kPasswordValue)) return inner_->WriteString(name, value);
        const std::string password = UnscramblePassword(std::string(value));
        const std::string account = Account();
        if (password.empty()) {
            // Not given since the keyring failed at the read: it is still there, left alone.
            if (store_.problem_) return inner_->WriteString(name, value);
            if (!store_.keyringAccount_.empty() && store_.secrets_)
                (void)store_.secrets_->Remove({kPasswordSecretKind, store_.keyringAccount_});
            store_.Kept({}, {});
            return WriteHere(name, value);
        }
        // Already there (the save at shutdown, a dialog that kept it): the keyring is not asked.
        const bool there =
            account == store_.keyringAccount_ && password == store_.keyringPassword_ && InKeyring();
        if (!there &&
            (!store_.secrets_ || store_.secrets_->Write({kPasswordSecretKind, account}, password)))
            return WriteHere(name, value);
        // Another account's password is not left behind in the keyring.
        if (!store_.keyringAccount_.empty() && store_.keyringAccount_ != account)
            (void)store_.secrets_->Remove({kPasswordSecretKind, store_.keyringAccount_});
        store_.Kept(account, password);
        store_.problem_.reset();
        if (const std::error_code error = inner_->WriteString(name, ""); error) return error;
        return inner_->WriteInteger(kPasswordInKeyringValue, 1);
    }

private:
    // The keyring's password follows its account when the server or the user name changes on
    // their own (brevon-config sets one value at a time), so that the next start finds it.
    std::error_code WriteAccountPart(std::string_view name, std::string_view value) {
        const bool follow = store_.secrets_ && InKeyring();
        const std::string before = follow ? Account() : std::string();
        if (const std::error_code error = inner_->WriteString(name, value); error) return error;
        if (!follow) return {};
        const std::string after = Account();
        if (after == before) return {};
        platform::SecretStore& secrets = *store_.secrets_;
        const platform::SecretLookup found = secrets.Read({kPasswordSecretKind, before});
        if (found.secret && !secrets.Write({kPasswordSecretKind, after}, *found.secret)) {
            (void)secrets.Remove({kPasswordSecretKind, before});
            if (store_.keyringAccount_ == before) store_.Kept(after, *found.secret);
        }
        return {};
    }

    // The password in the settings, scrambled as given; the file then reads as it always did.
    std::error_code WriteHere(std::string_view name, std::string_view value) {
        if (const std::error_code error = inner_->WriteString(name, value); error) return error;
        const std::error_code deleted = inner_->DeleteValue(kPasswordInKeyringValue);
        return deleted == platform::SettingsErrc::value_not_found ? std::error_code{} : deleted;
    }

    bool InKeyring() const {
        std::int32_t marked = 0;
        return !inner_->ReadInteger(kPasswordInKeyringValue, marked) && marked != 0;
    }

    // The account as the key holds it now, this key's own writes included.
    std::string Account() const {
        std::string user;
        std::string host;
        (void)inner_->ReadString("User", user);
        (void)inner_->ReadString("Host", host);
        return PasswordAccount(user, host);
    }

    std::unique_ptr<platform::SettingsKey> inner_;
    KeyringSettingsStore& store_;
};

KeyringSettingsStore::KeyringSettingsStore(std::unique_ptr<platform::SettingsStore> settings,
                                           std::unique_ptr<platform::SecretStore> secrets)
    : settings_(std::move(settings)), secrets_(std::move(secrets)) {}

KeyringSettingsStore::~KeyringSettingsStore() = default;

platform::OpenKeyResult KeyringSettingsStore::OpenKey(std::string_view path,
                                                      platform::OpenMode mode) {
    platform::OpenKeyResult opened = settings_->OpenKey(path, mode);
    if (opened.key && IsSettingsKey(path))
        opened.key = std::make_unique<Key>(std::move(opened.key), *this);
    return opened;
}

PasswordPlace KeyringSettingsStore::Place() {
    return secrets_ && !secrets_->Probe() ? PasswordPlace::Keyring : PasswordPlace::SettingsFile;
}

} // namespace brevon
