// morvik's exceptions. They are created on the heap and thrown by pointer; whoever catches one
// reports it (GetReport) and deletes it. They never leave the library: the exports catch them.
#pragma once

#include <morvik/base/zkCObject.h>
#include <morvik/base/zk_cstring.h>

#include <cstddef>
#include <cstdint>

// Error codes and their message texts (the file's full path fills %s).
enum zkErrorCode : std::int32_t {
    ZK_ERR_CLOSE = 1011,     // "Cannot close file '%s'"
    ZK_ERR_CREATE = 1012,    // "Cannot create file '%s'"
    ZK_ERR_DESTROY = 1013,   // "Cannt destroy file '%s'"
    ZK_ERR_FLUSH = 1014,     // "Cannot flush file '%s'"
    ZK_ERR_NOT_FOUND = 1015, // "File '%s' not found"
    ZK_ERR_EXISTS = 1016,    // "File '%s' exists"
    ZK_ERR_MODE = 1017,      // "Invalid file mode"
    ZK_ERR_ACCESS = 1018,    // "No access to the file '%s'"
    ZK_ERR_HANDLES = 1019,   // "Not enough file handles"
    ZK_ERR_CFG_SECTION = -2001,
    ZK_ERR_CFG_ENTRY = -2002,
};

class zkCException : public zkCObject {
public:
    zkCException(std::int32_t code, const char* message);
    const zkCClassDescriptor* GetClassDescriptor() const override;
    ~zkCException() override = default;
    // Writes the report, zero-filling `buffer` and copying at most size - 1 characters. Needs no
    // memory of its own.
    virtual int GetReport(char* buffer, std::size_t size) const noexcept;
    // Appends "\t<file> (<line>) : error <code> (<message>)\n" to the call stack text; out of
    // memory, the line is left out.
    void AddCallStackEntry(const char* sourceFile, int line) noexcept;

    std::int32_t Code;
    std::int32_t Reserved = 0;
    zk_cstring Message;
    zk_cstring CallStack;
};

class zkCFileDefException : public zkCException {
public:
    zkCFileDefException(std::int32_t code, const char* message, const char* pathName);
    const zkCClassDescriptor* GetClassDescriptor() const override;
    int GetReport(char* buffer, std::size_t size) const noexcept override;

    // The maker for one of the file error codes 1011-1019: formats the message with the path.
    static zkCFileDefException* Make(std::int32_t code, const zk_cstring& fullPath);

    zk_cstring PathName;
};

// Records the throw site and throws the heap-allocated exception.
#define ZK_THROW(ex)                                                                               \
    do {                                                                                           \
        auto* zk_ex_ = (ex);                                                                       \
        zk_ex_->AddCallStackEntry(__FILE__, __LINE__);                                             \
        throw zk_ex_;                                                                              \
    } while (0)
