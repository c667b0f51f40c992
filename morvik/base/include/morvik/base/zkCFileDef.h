// zkCFileDef: a file name and a directory turned into an absolute path, and the open stream.
#pragma once

#include <morvik/base/zkCObject.h>
#include <morvik/base/zk_cstring.h>

#include <cstdio>

#if defined(_WIN32)
inline constexpr char zkDirSeparator = '\\';
#else
inline constexpr char zkDirSeparator = '/';
#endif

class zkCFileDef : public zkCObject {
public:
    zkCFileDef() = default;
    zkCFileDef(const zkCFileDef&) = delete;
    zkCFileDef& operator=(const zkCFileDef&) = delete;
    // Frees the strings; does not close Stream (that is Close's job).
    ~zkCFileDef() override = default;
    const zkCClassDescriptor* GetClassDescriptor() const override;

    // With both absent nothing happens. An absent or empty directory means ".".
    void SetFileName(const char* name, const char* directory);
    // `directory` resolved against `currentDirectory` (absolute paths stay as they are).
    static zk_cstring ResolvePath(const char* currentDirectory, const char* directory);
    // Opens FullPath; failures throw zkCFileDefException* (1015-1019).
    void Open(const char* mode);
    // Closes an open stream; a failing close throws 1011.
    void Close();

    zk_cstring Name;
    zk_cstring FullPath;
    zk_cstring Directory{"."};
    zk_cstring ResolvedDirectory;
    std::FILE* Stream = nullptr;
};
