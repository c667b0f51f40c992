#include <platform/FileSettingsStore.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <platform/AtomicWrite.h>
#include <platform/DataPaths.h>
#include <platform/LocalTime.h>
#include <platform/SettingsFile.h>

namespace platform {

namespace {

struct LoadedFile {
    bool exists = false;
    SettingsFile parsed;
    std::error_code error; // io error or corrupt_file
    std::string detail;    // set on an error, and when lines had to be skipped
};

std::string Describe(const std::filesystem::path& file, const std::string& what) {
    return "Settings file '" + file.string() + "': " + what;
}

LoadedFile Load(const std::filesystem::path& file) {
    LoadedFile result;
    auto fail = [&](std::error_code error, const std::string& what) {
        result.error = error;
        result.detail = Describe(file, what);
        return std::move(result);
    };
    // Non-blocking, so that a pipe where the file should be is refused instead of waiting for
    // a writer; a regular file reads the same either way.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
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
    // Never more than a settings file can hold is read, whatever the file's size.
    if (st.st_size > static_cast<off_t>(SettingsFile::kMaxSize)) {
        ::close(fd);
        return fail(SettingsErrc::corrupt_file, "larger than a settings file can be");
    }
    std::string raw;
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
        raw.append(buffer, static_cast<std::size_t>(n));
        if (raw.size() > SettingsFile::kMaxSize) break; // grew while read: Parse refuses it
    }
    ::close(fd);
    std::string what;
    if (!result.parsed.Parse(raw, what)) return fail(SettingsErrc::corrupt_file, what);
    if (result.parsed.damagedLines > 0)
        result.detail = Describe(
            file, result.parsed.firstDamage +
                      (result.parsed.damagedLines > 1
                           ? " (" + std::to_string(result.parsed.damagedLines) + " lines skipped)"
                           : " (skipped)"));
    return result;
}

// Whether the file holds something a rewrite would lose: it cannot be read at all, or some
// of its lines were skipped.
bool NeedsKeepingAside(const LoadedFile& loaded) {
    return loaded.error == SettingsErrc::corrupt_file ||
           (!loaded.error && loaded.parsed.damagedLines > 0);
}

std::error_code LastError() {
    return {errno, std::system_category()};
}

// A copy for where hard links are not to be had; the new file is removed again on failure.
std::error_code CopyAside(const std::filesystem::path& file, const std::filesystem::path& aside) {
    const int in = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (in < 0) return LastError();
    const int out = ::open(aside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        const std::error_code error = LastError();
        ::close(in);
        return error;
    }
    std::error_code error;
    char buffer[8192];
    while (!error) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n < 0) error = LastError();
            break;
        }
        std::string_view rest(buffer, static_cast<std::size_t>(n));
        while (!rest.empty() && !error) {
            const ssize_t w = ::write(out, rest.data(), rest.size());
            if (w < 0 && errno == EINTR) continue;
            if (w < 0)
                error = LastError();
            else
                rest.remove_prefix(static_cast<std::size_t>(w));
        }
    }
    if (!error && ::fsync(out) != 0) error = LastError();
    ::close(out);
    ::close(in);
    if (error) ::unlink(aside.c_str());
    return error;
}

// Keeps the file as it is on disk under a name no later write touches,
// "<file>.damaged-YYYYMMDD-HHMMSS" ("-2", "-3", ... added when that name is taken), and says
// which. A hard link keeps every byte without reading them, and the file stays where it is
// until the atomic replace puts the new one in its place. A file kept aside before is not
// kept twice.
std::error_code SetAside(const std::filesystem::path& file, std::string& asideName) {
    struct stat original {};
    if (::stat(file.c_str(), &original) != 0) return LastError();
    const std::string prefix = file.filename().string() + ".damaged-";
    std::error_code scanError;
    const std::filesystem::path folder =
        file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
    for (const auto& entry : std::filesystem::directory_iterator(folder, scanError)) {
        struct stat other {};
        if (entry.path().filename().string().starts_with(prefix) &&
            ::stat(entry.path().c_str(), &other) == 0 && other.st_dev == original.st_dev &&
            other.st_ino == original.st_ino) {
            asideName = entry.path().string();
            return {};
        }
    }
    const std::tm now = LocalTime(std::time(nullptr));
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &now);
    for (int n = 1; n < 1000; ++n) {
        std::filesystem::path aside = file;
        // Appended piece by piece: GCC 12 warns wrongly about "x" + std::string at -O3.
        aside += ".damaged-";
        aside += stamp;
        if (n > 1) {
            aside += '-';
            aside += std::to_string(n);
        }
        std::error_code error;
        if (::link(file.c_str(), aside.c_str()) != 0) {
            error = LastError();
            if (errno != EEXIST) error = CopyAside(file, aside);
        }
        if (error == std::errc::file_exists) continue;
        if (!error) asideName = aside.string();
        return error;
    }
    return std::make_error_code(std::errc::file_exists);
}

// Puts one key's section into the file as it is on disk now, leaving every other key alone.
// What cannot be read is kept aside first; an unreadable file is never written over.
std::error_code Commit(const std::filesystem::path& file, const SettingsKeyData& key) {
    LoadedFile current = Load(file);
    if (NeedsKeepingAside(current)) {
        std::string aside;
        if (auto e = SetAside(file, aside)) return e;
        if (current.error) current.parsed.keys.clear();
    } else if (current.error) {
        return current.error;
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
    result.detail = loaded.detail;
    if (loaded.error &&
        (mode == OpenMode::Existing || loaded.error != SettingsErrc::corrupt_file)) {
        // An unreadable file (permissions, a folder in its place, I/O) is never written over.
        result.error = loaded.error;
        return result;
    }
    if (mode == OpenMode::Create && NeedsKeepingAside(loaded)) {
        // About to be written over: kept aside first, where the caller can say it is.
        if (std::error_code e = SetAside(file_, result.keptAside)) {
            result.error = e;
            result.detail += "; cannot be kept aside: " + e.message();
            return result;
        }
    }
    if (loaded.error) loaded.parsed.keys.clear();
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
    } else if (loaded.parsed.damagedLines > 0) {
        // The key may have stood on a line that was skipped: damaged, not missing.
        result.error = SettingsErrc::corrupt_file;
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
