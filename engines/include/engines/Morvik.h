// Binding to the language identification library (morvik), loaded at run time by name: never
// linked, so that brevon runs without it. One Morvik is one loaded and initialised library.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {
class SharedLibrary;
}

namespace engines {

class Morvik {
public:
    // The file name morvik is loaded by: "morvik.dll", or the name with the interface's version
    // that the system's library folder holds ("libmorvik.so.1").
    static std::string LibraryName();

    // Loads libraryName (by platform::SharedLibrary's rules) and initialises it with
    // configFile, handed as it is: morvik takes it relative to the working directory, and the
    // model file names inside it relative to its folder. Null, with nothing held, when the
    // library is missing, lacks one of C_InitLanguageClassifier, C_Classify and C_Close, or
    // cannot score Dutch after initialisation (said on standard error).
    static std::unique_ptr<Morvik> Load(const std::string& libraryName,
                                        const std::string& configFile);
    // C_Close, then releases the library.
    ~Morvik();
    Morvik(const Morvik&) = delete;
    Morvik& operator=(const Morvik&) = delete;

    // C_Classify: the text's score in language; -1 when it could not be scored.
    float Classify(const char* text, const char* language, const char* documentType) const;
    // Whether the library has C_ClassifyLanguage (an older one serves only Classify).
    bool CanClassifyLanguage() const { return classifyLanguage_ != nullptr; }
    // C_ClassifyLanguage's answer, "xx 0.1234"; only when CanClassifyLanguage.
    std::string ClassifyLanguage(const char* text) const;

private:
    Morvik() = default;

    std::unique_ptr<platform::SharedLibrary> library_;
    float (*classify_)(const char*, const char*, const char*) = nullptr; // C_Classify
    const char* (*classifyLanguage_)(const char*) = nullptr;             // C_ClassifyLanguage
    std::int32_t (*close_)() = nullptr;                                  // C_Close
};

} // namespace engines
