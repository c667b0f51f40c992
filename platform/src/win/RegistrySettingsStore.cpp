// The settings store on Windows: the registry below HKEY_CURRENT_USER. Writes go to the
// registry at once; Close() has nothing left to do.
#include <platform/SettingsStore.h>

#include <string>
#include <vector>

#include <windows.h>

namespace platform {

namespace {

std::error_code SystemError(LSTATUS status) {
    return {static_cast<int>(status), std::system_category()};
}

class RegistryKey final : public SettingsKey {
public:
    explicit RegistryKey(HKEY key) : key_(key) {}
    ~RegistryKey() override { ::RegCloseKey(key_); }

    std::error_code ReadInteger(std::string_view name, std::int32_t& value) const override {
        const std::string n(name);
        DWORD type = 0;
        DWORD size = 0;
        if (const std::error_code found = TypeAndSize(n, type, size)) return found;
        if (type != REG_DWORD || size != sizeof(DWORD)) return SettingsErrc::wrong_type;
        DWORD data = 0;
        const LSTATUS status = ::RegQueryValueExA(key_, n.c_str(), nullptr, &type,
                                                  reinterpret_cast<BYTE*>(&data), &size);
        if (status != ERROR_SUCCESS) return SystemError(status);
        value = static_cast<std::int32_t>(data);
        return {};
    }

    std::error_code ReadString(std::string_view name, std::string& value) const override {
        const std::string n(name);
        DWORD type = 0;
        DWORD size = 0;
        if (const std::error_code found = TypeAndSize(n, type, size)) return found;
        if (type != REG_SZ && type != REG_EXPAND_SZ) return SettingsErrc::wrong_type;
        std::vector<char> data(size + 1, '\0');
        const LSTATUS status = ::RegQueryValueExA(key_, n.c_str(), nullptr, &type,
                                                  reinterpret_cast<BYTE*>(data.data()), &size);
        if (status != ERROR_SUCCESS) return SystemError(status);
        // The stored size counts the terminating zero; bytes before it, zeros included, are
        // the value (a scrambled password may hold zero bytes).
        if (size > 0 && data[size - 1] == '\0') --size;
        value.assign(data.data(), size);
        return {};
    }

    bool ValueExists(std::string_view name) const override {
        return ::RegQueryValueExA(key_, std::string(name).c_str(), nullptr, nullptr, nullptr,
                                  nullptr) == ERROR_SUCCESS;
    }

    std::error_code WriteInteger(std::string_view name, std::int32_t value) override {
        const DWORD data = static_cast<DWORD>(value);
        return Result(::RegSetValueExA(key_, std::string(name).c_str(), 0, REG_DWORD,
                                       reinterpret_cast<const BYTE*>(&data), sizeof data));
    }

    std::error_code WriteString(std::string_view name, std::string_view value) override {
        std::string data(value);
        data += '\0';
        return Result(::RegSetValueExA(key_, std::string(name).c_str(), 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(data.data()),
                                       static_cast<DWORD>(data.size())));
    }

    std::error_code DeleteValue(std::string_view name) override {
        const LSTATUS status = ::RegDeleteValueA(key_, std::string(name).c_str());
        if (status == ERROR_FILE_NOT_FOUND) return SettingsErrc::value_not_found;
        return Result(status);
    }

    std::error_code Close() override { return {}; }

private:
    static std::error_code Result(LSTATUS status) {
        return status == ERROR_SUCCESS ? std::error_code() : SystemError(status);
    }

    // The stored type and size of the value name; value_not_found when there is none.
    std::error_code TypeAndSize(const std::string& name, DWORD& type, DWORD& size) const {
        const LSTATUS status =
            ::RegQueryValueExA(key_, name.c_str(), nullptr, &type, nullptr, &size);
        if (status == ERROR_FILE_NOT_FOUND) return SettingsErrc::value_not_found;
        return Result(status);
    }

    HKEY key_;
};

class RegistrySettingsStore final : public SettingsStore {
public:
    OpenKeyResult OpenKey(std::string_view path, OpenMode mode) override {
        OpenKeyResult result;
        if (path.starts_with("\\")) path.remove_prefix(1);
        const std::string subKey(path);
        HKEY key = nullptr;
        const LSTATUS status =
            mode == OpenMode::Create
                ? ::RegCreateKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr,
                                    REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &key,
                                    nullptr)
                : ::RegOpenKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ | KEY_WRITE, &key);
        if (status == ERROR_SUCCESS) {
            result.key = std::make_unique<RegistryKey>(key);
        } else {
            result.error = status == ERROR_FILE_NOT_FOUND
                               ? std::error_code(SettingsErrc::key_not_found)
                               : SystemError(status);
            result.detail =
                "Registry key 'HKEY_CURRENT_USER\\" + subKey + "': " + result.error.message();
        }
        return result;
    }
};

} // namespace

std::unique_ptr<SettingsStore> OpenUserSettingsStore() {
    return std::make_unique<RegistrySettingsStore>();
}

} // namespace platform
