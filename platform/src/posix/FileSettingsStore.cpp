#include <platform/FileSettingsStore.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <platform/AtomicWrite.h>
#include <platform/DataPaths.h>
#include <platform/SettingsFile.h>

namespace platform {

namespace {

struct LoadedFile {
    bool exists = false;
    std::string raw;
    SettingsFile parsed;
    std::error_code error; // io error or corrupt_file
    std::string detail;
};

LoadedFile Load(const std::filesystem::path& file) {
    LoadedFile result;
    auto fail = [&](std::error_code error, const std::string& what) {
        result.error = error;
        result.detail = "Settings file '" + file.string() + "': " + what;
        return std::move(result);
    };
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return result; // no file: no keys yet
        const int e = errno;
        return fail({e, std::system_category()}, std::strerror(e));
    }
    result.exists = true;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(std::make_error_code(std::errc::io_error), "not a regular file");
    }
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int e = errno;
            ::close(fd);
            return fail({e, std::system_category()}, std::strerror(e));
        }
        if (n == 0) break;
        result.raw.append(buffer, static_cast<std::size_t>(n));
        if (result.raw.size() > SettingsFile::kMaxSize) break;
    }
    ::close(fd);
    std::string what;
    if (!result.parsed.Parse(result.raw, what)) return fail(SettingsErrc::corrupt_file, what);
    return result;
}

// Keeps a damaged file under a name no later write touches: "<file>.damaged", then
// "<file>.damaged.1" and so on.
std::error_code SetAside(const std::filesystem::path& file, const std::string& raw) {
    for (int n = 0; n < 1000; ++n) {
        std::filesystem::path aside = file;
        aside += n == 0 ? std::string(".damaged") : ".damaged." + std::to_string(n);
        const int fd = ::open(aside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return {errno, std::system_category()};
        }
        std::error_code error;
        std::string_view rest = raw;
        while (!rest.empty() && !error) {
            const ssize_t w = ::write(fd, rest.data(), rest.size());
            if (w < 0 && errno == EINTR) continue;
            if (w < 0)
                error = {errno, std::system_category()};
            else
                rest.remove_prefix(static_cast<std::size_t>(w));
        }
        if (!error && ::fsync(fd) != 0) error = {errno, std::system_category()};
        ::close(fd);
        if (error) ::unlink(aside.c_str());
        return error;
    }
    return std::make_error_code(std::errc::file_exists);
}

// Puts one key's section into the file as it is on disk now, leaving every other key alone.
std::error_code Commit(const std::filesystem::path& file, const SettingsKeyData& key) {
    LoadedFile current = Load(file);
    if (current.error == SettingsErrc::corrupt_file) {
        if (auto e = SetAside(file, current.raw)) return e;
        current.parsed.keys.clear();
    } else if (current.error) {
        return current.error; // unreadable: leave it exactly as it is
    }
    if (SettingsKeyData* existing = current.parsed.FindKey(key.path))
        *existing = key;
    else
        current.parsed.keys.push_back(key);
    const std::string text = current.parsed.Serialize();
    if (text.size() > SettingsFile::kMaxSize) return SettingsErrc::too_large;
    if (!file.parent_path().empty())
        if (auto e = CreatePrivateDirectories(file.parent_path())) return e;
    return WriteFileAtomically(file, text);
}

class FileSettingsKey final : public SettingsKey {
public:
    FileSettingsKey(std::filesystem::path file, SettingsKeyData data, bool dirty)
        : file_(std::move(file)), data_(std::move(data)), dirty_(dirty) {}

    ~FileSettingsKey() override {
        if (dirty_) (void)Commit(file_, data_);
    }

    std::error_code ReadInteger(std::string_view name, std::int32_t& value) const override {
        const SettingsValue* v = SettingsFile::FindValue(data_, name);
        if (v == nullptr) return SettingsErrc::value_not_found;
        if (v->type != SettingsValue::Type::Integer) return SettingsErrc::wrong_type;
        value = v->integer;
        return {};
    }

    std::error_code ReadString(std::string_view name, std::string& value) const override {
        const SettingsValue* v = SettingsFile::FindValue(data_, name);
        if (v == nullptr) return SettingsErrc::value_not_found;
        if (v->type != SettingsValue::Type::String) return SettingsErrc::wrong_type;
        value = v->text;
        return {};
    }

    bool ValueExists(std::string_view name) const override {
        return SettingsFile::FindValue(data_, name) != nullptr;
    }

    std::error_code WriteInteger(std::string_view name, std::int32_t value) override {
        SettingsValue& v = Slot(name);
        v.type = SettingsValue::Type::Integer;
        v.integer = value;
        v.text.clear();
        return {};
    }

    std::error_code WriteString(std::string_view name, std::string_view value) override {
        SettingsValue& v = Slot(name);
        v.type = SettingsValue::Type::String;
        v.integer = 0;
        v.text.assign(value);
        return {};
    }

    std::error_code DeleteValue(std::string_view name) override {
        for (auto it = data_.values.begin(); it != data_.values.end(); ++it) {
            if (SettingsFile::SameName(it->name, name)) {
                data_.values.erase(it);
                dirty_ = true;
                return {};
            }
        }
        return SettingsErrc::value_not_found;
    }

    std::error_code Close() override {
        if (!dirty_) return {};
        if (auto e = Commit(file_, data_)) return e;
        dirty_ = false;
        return {};
    }

private:
    // An existing value keeps its place (and its name's spelling); a new one goes last.
    SettingsValue& Slot(std::string_view name) {
        dirty_ = true;
        if (SettingsValue* v = SettingsFile::FindValue(data_, name)) return *v;
        data_.values.push_back(SettingsValue{std::string(name), {}, 0, {}});
        return data_.values.back();
    }

    std::filesystem::path file_;
    SettingsKeyData data_;
    bool dirty_;
};

} // namespace

FileSettingsStore::FileSettingsStore(std::filesystem::path file) : file_(std::move(file)) {}

std::filesystem::path FileSettingsStore::DefaultFile() {
    return FileIn(UserConfigDir());
}

std::filesystem::path FileSettingsStore::FileIn(const std::filesystem::path& dir) {
    return dir.empty() ? dir : dir / "settings.reg";
}

OpenKeyResult FileSettingsStore::OpenKey(std::string_view path, OpenMode mode) {
    OpenKeyResult result;
    if (file_.empty()) {
        result.error = SettingsErrc::no_location;
        result.detail = "No home folder to keep the settings in";
        return result;
    }
    std::string normalised;
    if (!SettingsFile::NormaliseKeyPath(path, normalised)) {
        result.error = SettingsErrc::invalid_name;
        result.detail = "Invalid settings key '" + std::string(path) + "'";
        return result;
    }
    LoadedFile loaded = Load(file_);
    if (loaded.error) {
        // Creating over a damaged file is allowed: the commit copies it aside first. An
        // unreadable file (permissions, I/O) is never written over.
        if (mode == OpenMode::Existing || loaded.error != SettingsErrc::corrupt_file) {
            result.error = loaded.error;
            result.detail = std::move(loaded.detail);
            return result;
        }
        loaded.parsed.keys.clear();
    }
    if (SettingsKeyData* key = loaded.parsed.FindKey(normalised)) {
        result.key = std::make_unique<FileSettingsKey>(file_, std::move(*key), false);
    } else if (loaded.parsed.KeyExists(normalised)) {
        // A parent of stored keys exists, as in the registry, with no values of its own.
        result.key =
            std::make_unique<FileSettingsKey>(file_, SettingsKeyData{normalised, {}}, false);
    } else if (mode == OpenMode::Create) {
        // Written at Close(), so the created key exists from then on even without values.
        result.key =
            std::make_unique<FileSettingsKey>(file_, SettingsKeyData{normalised, {}}, true);
    } else {
        result.error = SettingsErrc::key_not_found;
        result.detail = "Settings key '" + std::string(path) + "' not found";
    }
    return result;
}

std::unique_ptr<SettingsStore> OpenUserSettingsStore() {
    return std::make_unique<FileSettingsStore>(FileSettingsStore::DefaultFile());
}

} // namespace platform
