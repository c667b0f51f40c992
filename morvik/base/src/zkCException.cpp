#include <morvik/base/zkCException.h>

#include <cstdio>
#include <cstring>
#include <new>

namespace {

const char* FileErrorFormat(std::int32_t code) {
    switch (code) {
    case ZK_ERR_CLOSE:
        return "Cannot close file '%s'";
    case ZK_ERR_CREATE:
        return "Cannot create file '%s'";
    case ZK_ERR_DESTROY:
        return "Cannt destroy file '%s'";
    case ZK_ERR_FLUSH:
        return "Cannot flush file '%s'";
    case ZK_ERR_NOT_FOUND:
        return "File '%s' not found";
    case ZK_ERR_EXISTS:
        return "File '%s' exists";
    case ZK_ERR_MODE:
        return "Invalid file mode";
    case ZK_ERR_ACCESS:
        return "No access to the file '%s'";
    default:
        return "Not enough file handles";
    }
}

} // namespace

zkCException::zkCException(std::int32_t code, const char* message) : Code(code), Message(message) {}

const zkCClassDescriptor* zkCException::GetClassDescriptor() const {
    return &zkCException_Class;
}

// The report is formatted straight into the caller's buffer, so that reporting an error needs no
// memory: it may be the memory that ran out. snprintf cuts at size - 1 characters.
int zkCException::GetReport(char* buffer, std::size_t size) const noexcept {
    if (buffer == nullptr || size == 0) return 1;
    std::memset(buffer, 0, size);
    std::snprintf(buffer, size, "\nError:       %d\nExplanation: %s\n", static_cast<int>(Code),
                  Message.c_str());
    return 1;
}

void zkCException::AddCallStackEntry(const char* sourceFile, int line) noexcept {
    const char* name = sourceFile;
    if (name != nullptr) {
        // Only the file's own name: drop the directory, whichever separator the build used.
        for (const char* p = sourceFile; *p != '\0'; ++p) {
            if (*p == '\\' || *p == '/') name = p + 1;
        }
    }
    if (name == nullptr || *name == '\0') name = "???";
    try {
        zk_cstring entry = zk_format("\t%s (%d) : error %d (", name, line, static_cast<int>(Code));
        entry += Message;
        entry += ")\n";
        CallStack += entry;
    } catch (const std::bad_alloc&) {
        // Out of memory: the error itself still reaches its catcher, without this line.
    }
}

zkCFileDefException::zkCFileDefException(std::int32_t code, const char* message,
                                         const char* pathName)
    : zkCException(code, message), PathName(pathName) {}

const zkCClassDescriptor* zkCFileDefException::GetClassDescriptor() const {
    return &zkCFileDefException_Class;
}

int zkCFileDefException::GetReport(char* buffer, std::size_t size) const noexcept {
    if (buffer == nullptr || size == 0) return 1;
    zkCException::GetReport(buffer, size);
    const std::size_t used = std::strlen(buffer);
    std::snprintf(buffer + used, size - used, "File:        '%s'\nCallstack:   \n%s\n",
                  PathName.c_str(), CallStack.c_str());
    return 1;
}

zkCFileDefException* zkCFileDefException::Make(std::int32_t code, const zk_cstring& fullPath) {
    zk_cstring message = zk_format(FileErrorFormat(code), fullPath.c_str());
    return new zkCFileDefException(code, message.c_str(), fullPath.c_str());
}
