#include <cstdio>
#include <string>

#include <gtest/gtest.h>

namespace {

struct DumpRun {
    std::string out;
    int status;
};

DumpRun KorpDump(const std::string& args) {
    const std::string command = std::string(KORP_DUMP_PATH) + " " + args + " 2>&1";
    DumpRun r{{}, -1};
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return r;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    r.status = pclose(p);
    return r;
}

std::string Fixture(const char* name) {
    return std::string(BREVON_TEST_DATA_DIR) + "/korp/" + name;
}

} // namespace

TEST(KorpDump, PrintsOneJsonObjectPerMessageWithLatin1CodePoints) {
    const DumpRun r = KorpDump(Fixture("qp_latin1.eml") + " " + Fixture("mixed_pdf.eml"));
    EXPECT_EQ(r.status, 0);
    const std::size_t nl = r.out.find('\n');
    ASSERT_NE(nl, std::string::npos);
    const std::string first = r.out.substr(0, nl);
    const std::string second = r.out.substr(nl + 1);
    EXPECT_EQ(first,
              "{\"File\":\"" + Fixture("qp_latin1.eml") +
                  "\",\"From\":\"Andr\xC3\xA9 <andre@example.be>\","
                  "\"Subject\":\"Caf\xC3\xA9 open\",\"Date\":\"\",\"SendTo\":\"\",\"CC\":\"\","
                  "\"ReplyTo\":\"\",\"ContentType\":\"TEXT/PLAIN\","
                  "\"ContentTransferEncoding\":\"QUOTED-PRINTABLE\","
                  "\"Text\":[\"Het caf\xC3\xA9 is open vandaag, zie menu_2025.pdf.\","
                  "\"Een lange regel die hier doorloopt.\"],\"AttachedFiles\":[]}");
    EXPECT_NE(second.find("\"AttachedFiles\":[{\"FileName\":\"rapport.pdf\","
                          "\"MimeType\":\"application/pdf\",\"Size\":292,\"SHA256\":\""),
              std::string::npos)
        << second;
    EXPECT_EQ(second.back(), '\n');
}

TEST(KorpDump, ReportsParseAndFileErrorsInTheObject) {
    const DumpRun r = KorpDump(Fixture("uu_oops.eml") + " " + Fixture("no_such.eml"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("\"Subject\":\"Kapot\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"Error\":\"Oops...\"}\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"Error\":\"Cannot open file"), std::string::npos) << r.out;
}
