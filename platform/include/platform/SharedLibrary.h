// Loading a library by file name at run time and binding its functions by name.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace platform {

// The platform's file name for a library named the Windows way: "morvik.dll" is "libmorvik.so"
// here. A name without the ".dll" ending, or with a folder part, is returned unchanged.
std::string PlatformLibraryName(std::string_view windowsName);

class SharedLibrary {
public:
    // Loads by name (see PlatformLibraryName), looking next to the executable first and then
    // where the system looks. A name with a folder part is loaded from there only. Null on
    // failure, with the loader's reason in error.
    static std::unique_ptr<SharedLibrary> Load(std::string_view name, std::string& error);

    ~SharedLibrary(); // unloads
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // The address of an exported function or object; null when the library has none by that name.
    void* Symbol(const char* name) const;

    // Symbol() as a function pointer: lib.Bind<float(const char*)>("C_Classify").
    template <typename Function> Function* Bind(const char* name) const {
        return reinterpret_cast<Function*>(Symbol(name));
    }

private:
    explicit SharedLibrary(void* handle) : handle_(handle) {}
    void* handle_;
};

} // namespace platform
