// Running out of memory in morvik's base: the string and the configuration reader throw (a
// std::bad_alloc) and are left usable, instead of ending the process.
#include <morvik/base/OutOfMemory.h>
#include <morvik/base/zkCConfigFile.h>
#include <morvik/base/zkCException.h>
#include <morvik/base/zk_cstring.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "FailingMalloc.h"
#include "TempDir.h"

namespace {

TEST(ZkCStringOutOfMemory, ThrowsAndLeavesTheStringAsItWas) {
    const std::string longText(100, 'x');
    const struct {
        const char* what;
        std::function<void(zk_cstring&)> change;
        std::string expected;
    } cases[] = {
        {"append", [&](zk_cstring& s) { s += longText.c_str(); }, "abc" + longText},
        {"append a string", [&](zk_cstring& s) { s += zk_cstring(longText.c_str()); },
         "abc" + longText},
        {"append itself", [](zk_cstring& s) { s += s; }, "abcabc"},
        {"assign", [&](zk_cstring& s) { s = longText.c_str(); }, longText},
        {"copy", [&](zk_cstring& s) { s = zk_cstring(zk_cstring(longText.c_str())); }, longText},
        {"concatenate", [&](zk_cstring& s) { s = s + longText.c_str(); }, "abc" + longText},
        {"subset", [](zk_cstring& s) { s = s.subset(1, 2); }, "bc"},
        {"format", [&](zk_cstring& s) { s = zk_format("%s-%d", longText.c_str(), 7); },
         longText + "-7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        zk_cstring s("abc");
        const char* error = nullptr; // what() is a literal: keeping it needs no memory
        const std::size_t failing = SweepAllocationFailures(
            false,
            [&] {
                try {
                    c.change(s);
                } catch (const std::bad_alloc& e) {
                    error = e.what();
                }
            },
            [&](bool failed) {
                if (failed) {
                    EXPECT_STREQ(error, "Not enough memory available for string");
                    EXPECT_EQ(std::string(s.c_str()), "abc");
                    error = nullptr;
                } else {
                    EXPECT_EQ(error, nullptr);
                    EXPECT_EQ(std::string(s.c_str()), c.expected);
                }
            });
        EXPECT_GT(failing, 0u);
    }
}

class ConfigFileOutOfMemory : public testing::Test {
protected:
    void SetUp() override {
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(temp_.Path());
        std::ofstream("lid.cfg") << "[Ngrams]\nn=4\nthreshold=0.8\n[Batch-Specs]\n"
                                    "topictype=ASCIIDocument\n";
    }
    void TearDown() override { std::filesystem::current_path(old_); }

    testsupport::TempDir temp_{"morvik_cfg_oom"};
    std::filesystem::path old_;
};

TEST_F(ConfigFileOutOfMemory, AReaderWithoutMemoryThrowsAndReportsWithoutAny) {
    // Out of memory for good from some point on: opening (fopen needs memory too), a lookup,
    // a missing entry's exception and the reader's end. What is thrown is either the library's
    // own error, whose report needs no memory, or OutOfMemory; the next reader works.
    for (const bool persistent : {true, false}) {
        SCOPED_TRACE(persistent ? "every allocation fails from one on" : "one allocation fails");
        std::string got;
        int code = 0;               // of the library's error caught
        const char* what = nullptr; // of an OutOfMemory or std::bad_alloc caught
        char report[1024] = {};
        const std::size_t failing = SweepAllocationFailures(
            persistent,
            [&] {
                // Nothing here may allocate but the reader: a handler that did would throw.
                try {
                    zkCConfigFile config("lid.cfg", ".");
                    got = std::to_string(config.GetInt("Ngrams", "n")) + " " +
                          config.GetString("Batch-Specs", "topictype").c_str() + " " +
                          config.GetString("Ngrams", "missing", "none").c_str();
                    config.GetString("Ngrams", "missing");
                } catch (zkCException* e) {
                    e->GetReport(report, sizeof report);
                    code = e->Code;
                    delete e;
                } catch (const std::bad_alloc& e) {
                    what = e.what();
                }
            },
            [&](bool failed) {
                if (failed && what != nullptr) {
                    EXPECT_TRUE(std::strcmp(what, "Not enough memory available for string") == 0 ||
                                std::strcmp(what, "std::bad_alloc") == 0)
                        << what;
                } else if (failed) {
                    // The missing entry's error, or a failed fopen's (too few file handles).
                    EXPECT_TRUE(code == ZK_ERR_CFG_ENTRY || code == ZK_ERR_HANDLES) << code;
                    EXPECT_EQ(std::strncmp(report, "\nError:       ", 14), 0) << report;
                } else {
                    EXPECT_EQ(got, "4 ASCIIDocument none");
                    EXPECT_EQ(code, ZK_ERR_CFG_ENTRY);
                    EXPECT_NE(std::string(report).find("entry \"missing\" in section [Ngrams]"),
                              std::string::npos)
                        << report;
                }
                got.clear();
                code = 0;
                what = nullptr;
                report[0] = '\0';
            });
        EXPECT_GT(failing, 0u);
    }
}

} // namespace
