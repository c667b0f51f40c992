#include <platform/SharedLibrary.h>

#include <string>

#include <gtest/gtest.h>

TEST(SharedLibrary, WindowsNamesMapToThePlatformsFileName) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"morvik.dll", "libmorvik.so"},
        {"MORVIK.DLL", "libMORVIK.so"},
        {"libmorvik.so", "libmorvik.so"},
        {"libz.so.1", "libz.so.1"},
        {".dll", ".dll"},
        {"lib/morvik.dll", "lib/morvik.dll"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::PlatformLibraryName(c.in), c.out) << c.in;
}

TEST(SharedLibrary, LoadsByWindowsNameFromNextToTheExecutableFirst) {
    std::string error;
    auto here = platform::SharedLibrary::Load("brevonfixture.dll", error);
    ASSERT_TRUE(here) << error;
    auto* answer = here->Bind<int()>("fixture_answer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42) << "the copy on the search path must not shadow ours";
    EXPECT_EQ(here->Symbol("no_such_function"), nullptr);

    auto elsewhere = platform::SharedLibrary::Load("brevonelsewhere.dll", error);
    ASSERT_TRUE(elsewhere) << error;
    EXPECT_EQ(elsewhere->Bind<int()>("fixture_answer")(), 7);
}

TEST(SharedLibrary, AMissingLibraryGivesTheLoadersReason) {
    std::string error;
    EXPECT_FALSE(platform::SharedLibrary::Load("no-such-library-here.dll", error));
    EXPECT_NE(error.find("libno-such-library-here.so"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(platform::SharedLibrary::Load("", error));
    EXPECT_FALSE(error.empty());
}
