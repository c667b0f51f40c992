// zkCConfigFile: reads entries of "[section]" / "name=value" files. Every lookup reads the file
// again from its start; nothing is cached.
//
// A missing section or entry is, in this order of precedence: passed over in silence by the
// accessors with a default (Quiet); a warning on stderr when the reader was made warn-only; else a
// thrown zkCException* (-2001 section, -2002 entry). Opening throws zkCFileDefException*.
#pragma once

#include <morvik/base/zkCFileDef.h>
#include <morvik/base/zk_cstring.h>

#include <cstdint>
#include <vector>

class zkCConfigFile : public zkCFileDef {
public:
    explicit zkCConfigFile(const zk_cstring& name);
    zkCConfigFile(const zk_cstring& name, const zk_cstring& directory);
    zkCConfigFile(const zk_cstring& name, const zk_cstring& directory, int warnOnly);
    zkCConfigFile(const zk_cstring& name, int warnOnly);
    ~zkCConfigFile() override;

    zk_cstring GetString(const zk_cstring& section, const zk_cstring& entry);
    // GetInt and GetLong read the value as strtol does (leading blanks skipped, 0 without
    // digits); a number beyond the type's range gives the end of the range it lies beyond.
    int GetInt(const zk_cstring& section, const zk_cstring& entry);
    long GetLong(const zk_cstring& section, const zk_cstring& entry);
    zk_cstring GetString(const zk_cstring& section, const zk_cstring& entry,
                         const zk_cstring& defaultValue);
    int GetInt(const zk_cstring& section, const zk_cstring& entry, int defaultValue);
    long GetLong(const zk_cstring& section, const zk_cstring& entry, long defaultValue);

    zk_cstring CurrentLine;
    zk_cstring FoundSection;
    zk_cstring FoundEntry;
    zk_cstring Value;
    std::int32_t WarnOnly = 0;
    std::int32_t Quiet = 0;

private:
    void OpenConfig(const zk_cstring& name, const char* directory, int warnOnly);
    zk_cstring GetEntry(const zk_cstring& section, const zk_cstring& entry);
    bool FindSection(const zk_cstring& section);
    bool FindEntry(const zk_cstring& entry);
    bool ReadLine();

    std::vector<char> line_; // one read of the line reader: at most 65535 characters
};
