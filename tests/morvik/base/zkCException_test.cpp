#include <morvik/base/zkCException.h>
#include <morvik/base/zkCFileDef.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Report(const zkCException& e, std::size_t size = 10000) {
    std::string buf(size, 'X');
    EXPECT_EQ(e.GetReport(buf.data(), size), 1);
    EXPECT_EQ(buf[size - 1], '\0');
    return std::string(buf.c_str());
}

TEST(ZkCException, ReportEndsWithTwoLineEnds) {
    zkCException e(-2001, "Configfile error: section [Ngrams] not found.\n");
    EXPECT_EQ(Report(e), "\nError:       -2001\nExplanation: Configfile error: section [Ngrams] "
                         "not found.\n\n");
}

TEST(ZkCException, ReportIsCutToSizeMinusOne) {
    zkCException e(-2001, "whatever");
    EXPECT_EQ(Report(e, 10), "\nError:  ");
    zkCFileDefException f(1015, "File 'x' not found", "x");
    EXPECT_EQ(Report(f, 10), "\nError:  ");
}

TEST(ZkCException, CallStackEntriesNameTheSourceFileOnly) {
    zkCException e(1015, "File 'C:\\data\\models.cfg' not found");
    e.AddCallStackEntry("C:\\src\\reader", 12);
    e.AddCallStackEntry("/src/morvik/reader.cpp", 7);
    e.AddCallStackEntry("", 3);
    e.AddCallStackEntry(nullptr, 4);
    EXPECT_EQ(std::string(e.CallStack.c_str()),
              "\treader (12) : error 1015 (File 'C:\\data\\models.cfg' not found)\n"
              "\treader.cpp (7) : error 1015 (File 'C:\\data\\models.cfg' not found)\n"
              "\t??? (3) : error 1015 (File 'C:\\data\\models.cfg' not found)\n"
              "\t??? (4) : error 1015 (File 'C:\\data\\models.cfg' not found)\n");
}

TEST(ZkCException, FileReportNamesPathAndCallStack) {
    zkCFileDefException* e = zkCFileDefException::Make(1015, "/data/lid.cfg");
    e->AddCallStackEntry("reader.cpp", 12);
    EXPECT_EQ(Report(*e), "\nError:       1015\nExplanation: File '/data/lid.cfg' not found\n"
                          "File:        '/data/lid.cfg'\n"
                          "Callstack:   \n"
                          "\treader.cpp (12) : error 1015 (File '/data/lid.cfg' not found)\n\n");
    delete e;
}

TEST(ZkCException, MakersFormatEveryFileCode) {
    const struct {
        int code;
        const char* message;
    } cases[] = {
        {1011, "Cannot close file '/p'"},  {1012, "Cannot create file '/p'"},
        {1013, "Cannt destroy file '/p'"}, {1014, "Cannot flush file '/p'"},
        {1015, "File '/p' not found"},     {1016, "File '/p' exists"},
        {1017, "Invalid file mode"},       {1018, "No access to the file '/p'"},
        {1019, "Not enough file handles"},
    };
    for (const auto& c : cases) {
        zkCFileDefException* e = zkCFileDefException::Make(c.code, "/p");
        EXPECT_EQ(e->Code, c.code);
        EXPECT_EQ(e->Message, c.message);
        EXPECT_EQ(e->PathName, "/p");
        delete e;
    }
}

TEST(ZkCObject, IsKindOfFollowsTheParentChain) {
    zkCFileDefException e(1015, "m", "p");
    EXPECT_TRUE(e.IsKindOf(&zkCFileDefException_Class));
    EXPECT_TRUE(e.IsKindOf(&zkCException_Class));
    EXPECT_TRUE(e.IsKindOf(&zkCObject_Class));
    EXPECT_FALSE(e.IsKindOf(&zkCFileDef_Class));
    EXPECT_STREQ(e.GetClassDescriptor()->Name, "zkCFileDefException");

    zkCFileDef f;
    EXPECT_TRUE(f.IsKindOf(&zkCObject_Class));
    EXPECT_FALSE(f.IsKindOf(&zkCException_Class));
}

} // namespace
