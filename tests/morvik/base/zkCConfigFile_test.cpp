#include <morvik/base/zkCConfigFile.h>
#include <morvik/base/zkCException.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

// Runs each test in a fresh temporary working directory.
class ConfigFileTest : public testing::Test {
protected:
    void SetUp() override {
        old_ = fs::current_path();
        dir_ = fs::temp_directory_path() /
               ("morvik_cfg_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "_" + testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        fs::current_path(dir_);
    }
    void TearDown() override {
        fs::current_path(old_);
        fs::remove_all(dir_);
    }
    static void Write(const std::string& name, const std::string& content) {
        std::ofstream(name, std::ios::binary) << content;
    }
    fs::path old_, dir_;
};

enum class Call { String, Int, Long, StringDefault, IntDefault, LongDefault };

struct LookupCase {
    const char* what;
    const char* content;
    int warnOnly;
    Call call;
    const char* section;
    const char* entry;
    const char* expected; // value, or the number as text
    const char* stderrText;
    int thrownCode; // 0: nothing thrown
    const char* thrownMessage;
};

const char kTwoSections[] = "[Ngrams]\nn=4\nthreshold=0.8 ; default\n[Batch-Specs]\n"
                            "topictype=ASCIIDocument\n";
const char kNoEntry[] = "Configfile error: entry \"topictype\" in section [Ngrams] not found.\n";

const LookupCase kLookups[] = {
    {"plain entry", kTwoSections, 0, Call::String, "Ngrams", "n", "4", "", 0, nullptr},
    {"comment after value", kTwoSections, 0, Call::String, "Ngrams", "threshold", "0.8", "", 0,
     nullptr},
    {"entry only in its own section", kTwoSections, 0, Call::String, "Ngrams", "topictype", "", "",
     -2002, kNoEntry},
    {"second section of the same name is never read", "[Ngrams]\nn=4\n[Ngrams]\nm=5\n", 0,
     Call::String, "Ngrams", "m", "", "", -2002,
     "Configfile error: entry \"m\" in section [Ngrams] not found.\n"},
    {"text after the section name", "[Ngrams] ; model settings\nn=4\n", 0, Call::String, "Ngrams",
     "n", "4", "", 0, nullptr},
    {"leading blank before the section", " [Ngrams]\nn=4\n", 0, Call::String, "Ngrams", "n", "", "",
     -2001, "Configfile error: section [Ngrams] not found.\n"},
    {"section name is case-sensitive", "[ngrams]\nn=4\n", 0, Call::String, "Ngrams", "n", "", "",
     -2001, "Configfile error: section [Ngrams] not found.\n"},
    {"blank before '='", "[Ngrams]\nn = 4\n", 0, Call::String, "Ngrams", "n", "", "", -2002,
     "Configfile error: entry \"n\" in section [Ngrams] not found.\n"},
    {"first matching line wins", "[Ngrams]\nn=4\nn=5\n", 0, Call::String, "Ngrams", "n", "4", "", 0,
     nullptr},
    {"quoted value keeps blanks and semicolons", "[Ngrams]\nf=\"my models/nl 4;b.bin\" x\n", 0,
     Call::String, "Ngrams", "f", "my models/nl 4;b.bin", "", 0, nullptr},
    {"quoted value of one quote character", "[Ngrams]\nf=\"\"\"\n", 0, Call::String, "Ngrams", "f",
     "\"", "", 0, nullptr},
    {"missing closing quote ends the search", "[Ngrams]\nf=\"abc\nf=def\n", 0, Call::String,
     "Ngrams", "f", "", "Error, String end (dbl quote) on entry \"f\" not found.\n", -2002,
     "Configfile error: entry \"f\" in section [Ngrams] not found.\n"},
    {"empty quotes are an unclosed quote", "[Ngrams]\nf=\"\"\n", 0, Call::StringDefault, "Ngrams",
     "f", "dflt", "Error, String end (dbl quote) on entry \"f\" not found.\n", 0, nullptr},
    {"quote at the very end of the file", "[Ngrams]\nf=\"", 1, Call::String, "Ngrams", "f", "",
     "Error, String end (dbl quote) on entry \"f\" not found.\n"
     "Configfile warning: entry f in section [Ngrams] not found.\n",
     0, nullptr},
    {"unquoted value ends at a tab", "[Ngrams]\nn=ab\tc\n", 0, Call::String, "Ngrams", "n", "ab",
     "", 0, nullptr},
    {"unquoted value ends at a semicolon", "[Ngrams]\nn=ab;c\n", 0, Call::String, "Ngrams", "n",
     "ab", "", 0, nullptr},
    {"carriage returns end values", "[Ngrams]\r\nn=4\r\n", 0, Call::String, "Ngrams", "n", "4", "",
     0, nullptr},
    {"first character always belongs to the value", "[Ngrams]\nn= 4\n", 0, Call::String, "Ngrams",
     "n", " 4", "", 0, nullptr},
    {"GetInt skips leading blanks", "[Ngrams]\nn= 4\n", 0, Call::Int, "Ngrams", "n", "4", "", 0,
     nullptr},
    {"GetInt of text is 0", "[Ngrams]\nn=x\n", 0, Call::Int, "Ngrams", "n", "0", "", 0, nullptr},
    {"GetLong", "[Ngrams]\nn=123456789012\n", 0, Call::Long, "Ngrams", "n",
     sizeof(long) == 8 ? "123456789012" : "2147483647", "", 0, nullptr},
    // A number beyond int's range ends at the range's end, as GetLong's does at long's; never
    // wrapped round to a number of the other sign.
    {"GetInt at the top of its range", "[Ngrams]\nn=2147483647\n", 0, Call::Int, "Ngrams", "n",
     "2147483647", "", 0, nullptr},
    {"GetInt above its range", "[Ngrams]\nn=2147483648\n", 0, Call::Int, "Ngrams", "n",
     "2147483647", "", 0, nullptr},
    {"GetInt far above its range", "[Ngrams]\nn=4294967300\n", 0, Call::Int, "Ngrams", "n",
     "2147483647", "", 0, nullptr},
    {"GetInt beyond long's range", "[Ngrams]\nn=99999999999999999999\n", 0, Call::Int, "Ngrams",
     "n", "2147483647", "", 0, nullptr},
    {"GetInt at the bottom of its range", "[Ngrams]\nn=-2147483648\n", 0, Call::Int, "Ngrams", "n",
     "-2147483648", "", 0, nullptr},
    {"GetInt below its range", "[Ngrams]\nn=-2147483649\n", 0, Call::Int, "Ngrams", "n",
     "-2147483648", "", 0, nullptr},
    {"GetInt with a default, above its range", "[Ngrams]\nn=3000000000\n", 0, Call::IntDefault,
     "Ngrams", "n", "2147483647", "", 0, nullptr},
    {"GetInt with a default, below its range", "[Ngrams]\nn=-3000000000\n", 0, Call::IntDefault,
     "Ngrams", "n", "-2147483648", "", 0, nullptr},
    {"n= with a line end is a line feed", "[Ngrams]\nn=\n", 0, Call::String, "Ngrams", "n", "\n",
     "", 0, nullptr},
    {"n= with a line end converts to 0", "[Ngrams]\nn=\n", 0, Call::IntDefault, "Ngrams", "n", "0",
     "", 0, nullptr},
    {"n= at end of file is empty", "[Ngrams]\nn=", 0, Call::String, "Ngrams", "n", "",
     "Parameter error in zk_cstring::subset!\n", 0, nullptr},
    {"n= at end of file takes the default", "[Ngrams]\nn=", 0, Call::IntDefault, "Ngrams", "n", "5",
     "Parameter error in zk_cstring::subset!\n", 0, nullptr},
    {"value at end of file without line end", "[Ngrams]\nn=4", 0, Call::String, "Ngrams", "n", "4",
     "", 0, nullptr},
    {"warn-only missing entry", kTwoSections, 1, Call::String, "Ngrams", "m", "",
     "Configfile warning: entry m in section [Ngrams] not found.\n", 0, nullptr},
    {"warn-only missing entry as int", kTwoSections, 1, Call::Int, "Ngrams", "m", "0",
     "Configfile warning: entry m in section [Ngrams] not found.\n", 0, nullptr},
    {"warn-only missing section", kTwoSections, 1, Call::String, "Other", "n", "",
     "Configfile warning: section [Other] not found.\n", 0, nullptr},
    {"default for a missing entry is silent", kTwoSections, 0, Call::IntDefault, "Ngrams", "m", "5",
     "", 0, nullptr},
    {"default for a missing section is silent", kTwoSections, 0, Call::IntDefault, "Other", "n",
     "5", "", 0, nullptr},
    {"default is silent when warn-only too", kTwoSections, 1, Call::LongDefault, "Other", "n", "5",
     "", 0, nullptr},
    {"string default", kTwoSections, 0, Call::StringDefault, "Batch-Specs", "x", "dflt", "", 0,
     nullptr},
    {"string default not used when found", kTwoSections, 0, Call::StringDefault, "Batch-Specs",
     "topictype", "ASCIIDocument", "", 0, nullptr},
};

TEST_F(ConfigFileTest, LookupsFollowTheFileRules) {
    for (const LookupCase& c : kLookups) {
        SCOPED_TRACE(c.what);
        Write("lid.cfg", c.content);
        zkCConfigFile cfg("lid.cfg", ".", c.warnOnly);
        std::string got;
        testing::internal::CaptureStderr();
        try {
            switch (c.call) {
            case Call::String:
                got = cfg.GetString(c.section, c.entry).c_str();
                break;
            case Call::Int:
                got = std::to_string(cfg.GetInt(c.section, c.entry));
                break;
            case Call::Long:
                got = std::to_string(cfg.GetLong(c.section, c.entry));
                break;
            case Call::StringDefault:
                got = cfg.GetString(c.section, c.entry, "dflt").c_str();
                break;
            case Call::IntDefault:
                got = std::to_string(cfg.GetInt(c.section, c.entry, 5));
                break;
            case Call::LongDefault:
                got = std::to_string(cfg.GetLong(c.section, c.entry, 5L));
                break;
            }
            EXPECT_EQ(c.thrownCode, 0) << "nothing was thrown";
        } catch (zkCException* e) {
            EXPECT_EQ(e->Code, c.thrownCode);
            EXPECT_EQ(std::string(e->Message.c_str()), c.thrownMessage ? c.thrownMessage : "");
            EXPECT_FALSE(e->IsKindOf(&zkCFileDefException_Class));
            delete e;
        }
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.stderrText);
        EXPECT_EQ(got, c.expected);
    }
}

TEST_F(ConfigFileTest, LookupsDoNotDependOnEarlierOnes) {
    Write("lid.cfg", kTwoSections);
    zkCConfigFile cfg("lid.cfg");
    EXPECT_EQ(cfg.GetString("Batch-Specs", "topictype"), "ASCIIDocument");
    EXPECT_EQ(cfg.GetInt("Ngrams", "n"), 4);
    EXPECT_EQ(cfg.FoundSection, "Ngrams");
    EXPECT_EQ(cfg.FoundEntry, "n");
    EXPECT_EQ(cfg.GetString("Ngrams", "threshold"), "0.8");
}

TEST_F(ConfigFileTest, LongLinesAreReadInPiecesOf65535) {
    // A line longer than one read is taken as several lines: its tail can open a section.
    Write("lid.cfg", std::string(65535, 'x') + "[Tail]\nn=7\n");
    zkCConfigFile cfg("lid.cfg");
    EXPECT_EQ(cfg.GetInt("Tail", "n"), 7);
}

TEST_F(ConfigFileTest, MissingFileNamesTheFullPath) {
    const std::string expectedPath = (fs::current_path() / "missing.cfg").string();
    for (const char* dir : {".", ""}) {
        try {
            zkCConfigFile cfg("missing.cfg", dir);
            ADD_FAILURE() << "no exception";
        } catch (zkCException* e) {
            ASSERT_TRUE(e->IsKindOf(&zkCFileDefException_Class));
            auto* f = static_cast<zkCFileDefException*>(e);
            EXPECT_EQ(f->Code, 1015);
            EXPECT_EQ(std::string(f->Message.c_str()), "File '" + expectedPath + "' not found");
            EXPECT_EQ(std::string(f->PathName.c_str()), expectedPath);
            EXPECT_NE(std::string(f->CallStack.c_str()).find(": error 1015 (File '"),
                      std::string::npos);
            delete e;
        }
    }
}

TEST_F(ConfigFileTest, OtherOpenFailuresRaiseFileErrors) {
    struct {
        std::string name;
        const char* mode;
        int code;
        const char* message;
    } cases[] = {
        {"lid.cfg", "q", 1017, "Invalid file mode"},
        {std::string(5000, 'n'), "r", 1019, "Not enough file handles"}, // name too long
    };
    Write("lid.cfg", kTwoSections);
    for (const auto& c : cases) {
        zkCFileDef def;
        def.SetFileName(c.name.c_str(), ".");
        try {
            def.Open(c.mode);
            ADD_FAILURE() << c.message;
        } catch (zkCException* e) {
            EXPECT_EQ(e->Code, c.code);
            EXPECT_EQ(e->Message, c.message);
            delete e;
        }
        EXPECT_EQ(def.Stream, nullptr);
    }
}

TEST(FileDef, SetFileNameResolvesAgainstTheWorkingDirectory) {
    const std::string cwd = fs::current_path().string();
    zkCFileDef def;
    def.SetFileName(nullptr, nullptr);
    EXPECT_EQ(def.FullPath, "");
    def.SetFileName("lid.cfg", nullptr);
    EXPECT_EQ(def.Directory, ".");
    EXPECT_EQ(std::string(def.ResolvedDirectory.c_str()), cwd);
    EXPECT_EQ(std::string(def.FullPath.c_str()), cwd + zkDirSeparator + "lid.cfg");
}

#if !defined(_WIN32)
TEST(FileDef, ResolvePathAppliesComponentsInOrder) {
    const struct {
        const char* cwd;
        const char* dir;
        const char* expected;
    } cases[] = {
        {"/home/u", ".", "/home/u"},
        {"/home/u", "..", "/home"},
        {"/home/u", "a/./b", "/home/u/a/b"},
        {"/home/u", "a/../b", "/home/u/b"},
        {"/home/u", "a//b", "/home/u/a"}, // an empty component ends the walk
        {"/home/u", "models/", "/home/u/models"},
        {"/home/u", "/abs/x", "/abs/x"},
        {"/", "a", "/a"},
        {"/", "..", "/"},
        {"/home", "../..", "/"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::string(zkCFileDef::ResolvePath(c.cwd, c.dir).c_str()), c.expected)
            << c.cwd << " + " << c.dir;
    }
}

TEST(FileDef, AFullPathKeepsItsOwnFolder) {
    zkCFileDef def;
    def.SetFileName("/opt/brevon/share/lid.cfg", nullptr);
    EXPECT_EQ(def.FullPath, "/opt/brevon/share/lid.cfg");
    EXPECT_EQ(def.Name, "lid.cfg");
    def.SetFileName("/lid.cfg", "");
    EXPECT_EQ(def.FullPath, "/lid.cfg");
    def.SetFileName("/srv/data/lid.cfg", "."); // as the library's exports pass it
    EXPECT_EQ(def.FullPath, "/srv/data/lid.cfg");
}

TEST(FileDef, RootDirectoryGivesASingleSeparator) {
    zkCFileDef def;
    def.SetFileName("lid.cfg", "/");
    EXPECT_EQ(def.FullPath, "/lid.cfg");
}
#endif

} // namespace
