#include <korp/korp_util.h>

#include <filesystem>
#include <string>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "TempDirGuard.h"

using namespace korp;

TEST(TempFiles, AreUniqueOwnerOnlyAndStartWithKorp) {
    TempDirGuard tmp;
    const std::string a = MakeTempFileName();
    const std::string b = MakeTempFileName();
    EXPECT_NE(a, b);
    for (const auto& name : {a, b}) {
        const std::filesystem::path p(name);
        EXPECT_EQ(p.parent_path(), std::filesystem::path(tmp.Dir()));
        EXPECT_EQ(p.filename().string().rfind("korp", 0), 0u) << name;
        struct stat st {};
        ASSERT_EQ(stat(name.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u) << name;
        std::filesystem::remove(p);
    }
}

TEST(TempFiles, ATempFileStreamLeavesNothingBehindAfterAnErrorOrACrash) {
    TempDirGuard tmp;
    std::string name;
    try {
        TKorpTempFile file;
        name = file.FileName();
        file.WriteBuffer("data");
        file.SetPosition(0);
        std::string back(4, ' ');
        EXPECT_EQ(file.Read(back.data(), back.size()), 4u);
        EXPECT_EQ(back, "data");
        throw std::runtime_error("decoding failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(tmp.FilesLeft(), 0);

    // A process that dies with the file open and written leaves no file either.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TKorpTempFile file;
        file.WriteBuffer(std::string(100000, 'x'));
        std::_Exit(tmp.FilesLeft() == 0 ? 9 : 8); // no cleanup of any kind
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 9);
    EXPECT_EQ(tmp.FilesLeft(), 0);
}

TEST(MimeTypes, ComeFromTheSystemTableWithOctetStreamAsFallback) {
    ASSERT_TRUE(std::filesystem::exists("/etc/mime.types")) << "package media-types is missing";
    struct Case {
        const char* name;
        const char* type;
    };
    const Case cases[] = {
        {"rapport.pdf", "application/pdf"},
        {"FOTO.JPG", "image/jpeg"},
        {"a.b.gif", "image/gif"},
        {"geen_extensie", "application/octet-stream"},
        {"map.d\\bestand", "application/octet-stream"},
        {"x.onbekend", "application/octet-stream"},
        {"punt.", "application/octet-stream"},
        {"", "application/octet-stream"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetMimeTypeForFile(c.name), c.type) << c.name;
}

TEST(StringHelpers, TrimBlanksAndControlsAndMapAsciiCaseOnly) {
    EXPECT_EQ(Trim(" \t\x01 a b \r\n"), "a b");
    EXPECT_EQ(Trim("\xA0x\xA0"), "\xA0x\xA0");
    EXPECT_EQ(UpperCase("to: caf\xE9"), "TO: CAF\xE9");
    EXPECT_EQ(LowerCase("BEGIN \xC9"), "begin \xC9");
}
