#include <morvik/base/zkCException.h>

#include <cstring>

namespace {

void CopyReport(const zk_cstring& report, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) return;
    std::memset(buffer, 0, size);
    std::size_t n = report.length() < size - 1 ? report.length() : size - 1;
    std::memcpy(buffer, report.c_str(), n);
}

const char* FileErrorFormat(std::int32_t code) {
    switch (code) {
    case ZK_ERR_CLOSE: return "Cannot close file '%s'";
    case ZK_ERR_CREATE: return "Cannot create file '%s'";
    case ZK_ERR_DESTROY: return "Cannt destroy file '%s'";
    case ZK_ERR_FLUSH: return "Cannot flush file '%s'";
    case ZK_ERR_NOT_FOUND: return "File '%s' not found";
    case ZK_ERR_EXISTS: return "File '%s' exists";
    case ZK_ERR_MODE: return "Invalid file mode";
    case ZK_ERR_ACCESS: return "No access to the file '%s'";
    default: return "Not enough file handles";
    }
}

} // namespace

zkCException::zkCException(std::int32_t code, const char* message) : Code(code), Message(message) {}

const zkCClassDescriptor* zkCException::GetClassDescriptor() const { return &zkCException_Class; }

int zkCException::GetReport(char* buffer, std::size_t size) const {
    zk_cstring report = zk_format("\nError:       %d\nExplanation: ", static_cast<int>(Code));
    report += Message;
    report += "\n";
    CopyReport(report, buffer, size);
    return 1;
}

void zkCException::AddCallStackEntry(const char* sourceFile, int line) {
    const char* name = sourceFile;
    if (name != nullptr) {
        // Only the file's own name: drop the directory, whichever separator the build used.
        for (const char* p = sourceFile; *p != '\0'; ++p) {
            if (*p == '\\' || *p == '/') name = p + 1;
        }
    }
    if (name == nullptr || *name == '\0') name = "???";
    CallStack += zk_format("\t%s (%d) : error %d (", name, line, static_cast<int>(Code));
    CallStack += Message;
    CallStack += ")\n";
}

zkCFileDefException::zkCFileDefException(std::int32_t code, const char* message,
                                         const char* pathName)
    : zkCException(code, message), PathName(pathName) {}

const zkCClassDescriptor* zkCFileDefException::GetClassDescriptor() const {
    return &zkCFileDefException_Class;
}

int zkCFileDefException::GetReport(char* buffer, std::size_t size) const {
    if (buffer == nullptr || size == 0) return 1;
    zkCException::GetReport(buffer, size);
    zk_cstring report(buffer);
    report += "File:        '";
    report += PathName;
    report += "'\nCallstack:   \n";
    report += CallStack;
    report += "\n";
    CopyReport(report, buffer, size);
    return 1;
}

zkCFileDefException* zkCFileDefException::Make(std::int32_t code, const zk_cstring& fullPath) {
    zk_cstring message = zk_format(FileErrorFormat(code), fullPath.c_str());
    return new zkCFileDefException(code, message.c_str(), fullPath.c_str());
}
