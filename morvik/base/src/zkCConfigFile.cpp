#include <morvik/base/zkCConfigFile.h>

#include <morvik/base/zkCException.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {
constexpr std::size_t kLineBuffer = 65536;
}

zkCConfigFile::zkCConfigFile(const zk_cstring& name) {
    OpenConfig(name, nullptr, 0);
}

zkCConfigFile::zkCConfigFile(const zk_cstring& name, const zk_cstring& directory) {
    OpenConfig(name, directory.c_str(), 0);
}

zkCConfigFile::zkCConfigFile(const zk_cstring& name, const zk_cstring& directory, int warnOnly) {
    OpenConfig(name, directory.c_str(), warnOnly);
}

zkCConfigFile::zkCConfigFile(const zk_cstring& name, int warnOnly) {
    OpenConfig(name, nullptr, warnOnly);
}

zkCConfigFile::~zkCConfigFile() {
    try {
        Close();
    } catch (zkCException* e) {
        // Destructors never throw: report the failed close instead.
        char report[1024];
        e->GetReport(report, sizeof report);
        std::fputs(report, stderr);
        delete e;
    } catch (const std::bad_alloc&) {
        // No memory for the failed close's exception: the stream is closed all the same.
    }
}

void zkCConfigFile::OpenConfig(const zk_cstring& name, const char* directory, int warnOnly) {
    WarnOnly = warnOnly;
    line_.assign(kLineBuffer, '\0');
    SetFileName(name.c_str(), directory);
    Open("r");
}

bool zkCConfigFile::ReadLine() {
    if (Stream == nullptr) return false;
    if (std::fgets(line_.data(), static_cast<int>(line_.size()), Stream) == nullptr) return false;
    CurrentLine = line_.data();
    return true;
}

bool zkCConfigFile::FindSection(const zk_cstring& section) {
    zk_cstring key = zk_cstring("[") + section + "]";
    while (ReadLine()) {
        Value = "";
        FoundEntry = "";
        FoundSection = "";
        if (std::strncmp(CurrentLine.c_str(), key.c_str(), key.length()) == 0) {
            FoundSection = section;
            return true;
        }
    }
    return false;
}

bool zkCConfigFile::FindEntry(const zk_cstring& entry) {
    zk_cstring key = entry + "=";
    FoundEntry = "";
    Value = "";
    while (ReadLine()) {
        const char* line = CurrentLine.c_str();
        if (line[0] == '[') {
            FoundSection = "";
            return false;
        }
        if (std::strncmp(line, key.c_str(), key.length()) != 0) continue;

        const std::uint32_t len = CurrentLine.length();
        const std::uint32_t p = key.length();
        if (p < len && line[p] == '"') {
            // The character after the opening quote always belongs to the value.
            const char* close = p + 2 <= len ? std::strchr(line + p + 2, '"') : nullptr;
            if (close == nullptr) {
                std::fprintf(stderr, "Error, String end (dbl quote) on entry \"%s\" not found.\n",
                             entry.c_str());
                return false;
            }
            Value = CurrentLine.subset(p + 1, static_cast<std::uint32_t>(close - line) - 1);
        } else {
            // The character at p always belongs to the value; it ends at the first line end,
            // carriage return, blank, tab or ';' after it.
            std::uint32_t end = len;
            if (p + 1 <= len)
                end = p + 1 + static_cast<std::uint32_t>(std::strcspn(line + p + 1, "\n\r \t;"));
            // A last line "n=" without a line end has p == len: subset reports the empty value.
            Value = CurrentLine.subset(p, end - 1);
        }
        FoundEntry = entry;
        return true;
    }
    return false;
}

zk_cstring zkCConfigFile::GetEntry(const zk_cstring& section, const zk_cstring& entry) {
    Value = "";
    FoundEntry = "";
    FoundSection = "";
    CurrentLine = "";
    if (Stream != nullptr) std::rewind(Stream);

    if (!FindSection(section)) {
        if (Quiet == 1) return zk_cstring();
        if (WarnOnly == 1) {
            std::fprintf(stderr, "Configfile warning: section [%s] not found.\n", section.c_str());
            return zk_cstring();
        }
        ZK_THROW(new zkCException(
            ZK_ERR_CFG_SECTION,
            zk_format("Configfile error: section [%s] not found.\n", section.c_str()).c_str()));
    }
    if (!FindEntry(entry)) {
        if (Quiet != 1) {
            if (WarnOnly == 1) {
                std::fprintf(stderr, "Configfile warning: entry %s in section [%s] not found.\n",
                             entry.c_str(), section.c_str());
            } else {
                ZK_THROW(new zkCException(
                    ZK_ERR_CFG_ENTRY,
                    zk_format("Configfile error: entry \"%s\" in section [%s] not found.\n",
                              entry.c_str(), section.c_str())
                        .c_str()));
            }
        }
    }
    return Value;
}

zk_cstring zkCConfigFile::GetString(const zk_cstring& section, const zk_cstring& entry) {
    Quiet = 0;
    return GetEntry(section, entry);
}

namespace {
// strtol, not atol: a number out of range saturates instead of being undefined (the Windows C
// library's atol wraps it round to a number of the other sign, where long is 32 bits).
long ToLong(const zk_cstring& text) {
    return std::strtol(text.c_str(), nullptr, 10);
}

// The same for int, whose range is narrower than long's where long has 64 bits: a number out of
// int's range saturates at its end too, so the answer is the same on every platform.
int ToInt(const zk_cstring& text) {
    const long v = ToLong(text);
    return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
}
} // namespace

int zkCConfigFile::GetInt(const zk_cstring& section, const zk_cstring& entry) {
    Quiet = 0;
    return ToInt(GetEntry(section, entry));
}

long zkCConfigFile::GetLong(const zk_cstring& section, const zk_cstring& entry) {
    Quiet = 0;
    return ToLong(GetEntry(section, entry));
}

zk_cstring zkCConfigFile::GetString(const zk_cstring& section, const zk_cstring& entry,
                                    const zk_cstring& defaultValue) {
    Quiet = 1;
    zk_cstring v = GetEntry(section, entry);
    return v.empty() ? defaultValue : v;
}

int zkCConfigFile::GetInt(const zk_cstring& section, const zk_cstring& entry, int defaultValue) {
    Quiet = 1;
    zk_cstring v = GetEntry(section, entry);
    return v.empty() ? defaultValue : ToInt(v);
}

long zkCConfigFile::GetLong(const zk_cstring& section, const zk_cstring& entry, long defaultValue) {
    Quiet = 1;
    zk_cstring v = GetEntry(section, entry);
    return v.empty() ? defaultValue : ToLong(v);
}
