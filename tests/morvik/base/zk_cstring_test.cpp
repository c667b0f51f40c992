#include <morvik/base/zk_cstring.h>

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ZkCString, GrowsInStepsOf32AndNeverShrinks) {
    zk_cstring s;
    EXPECT_EQ(s.capacity(), 32u); // allocated at once
    s += std::string(31, 'a').c_str();
    EXPECT_EQ(s.capacity(), 32u);
    s += "b"; // 32 characters need 33 bytes
    EXPECT_EQ(s.capacity(), 64u);
    s += std::string(64, 'c').c_str();
    EXPECT_EQ(s.length(), 96u);
    EXPECT_EQ(s.capacity(), 128u);
    s.Chop(90);
    EXPECT_EQ(s.capacity(), 128u);

    zk_cstring forty;
    forty += std::string(40, 'x').c_str();
    EXPECT_EQ(forty.capacity(), 64u);
}

TEST(ZkCString, SubsetTakesBothEndsAndRejectsBadBounds) {
    zk_cstring s("abcdef");
    EXPECT_EQ(s.subset(2, 4), "cde");
    EXPECT_EQ(s.subset(0, 5), "abcdef");
    EXPECT_EQ(s.subset(3, 3), "d");

    for (auto [from, to] : {std::pair{4u, 2u}, std::pair{0u, 6u}, std::pair{6u, 6u}}) {
        testing::internal::CaptureStderr();
        zk_cstring r = s.subset(from, to);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Parameter error in zk_cstring::subset!\n")
            << from << ".." << to;
        EXPECT_EQ(r, "");
    }
}

TEST(ZkCString, OperationsFollowTheirRules) {
    zk_cstring absent(nullptr);
    EXPECT_EQ(absent, "");
    absent += static_cast<const char*>(nullptr);
    absent += '\0';
    EXPECT_EQ(absent.length(), 0u);

    zk_cstring s("Ab");
    EXPECT_EQ(s[0], 'A');
    EXPECT_EQ(s[2], '\0'); // the terminator
    EXPECT_EQ(s[100], '\0');

    zk_cstring t = s + "C" + zk_cstring("\xC9z");
    EXPECT_EQ(t, "AbC\xC9z");
    t.ToLower();
    EXPECT_EQ(t, "abc\xC9z"); // only ASCII letters change

    t.Chop(0);
    EXPECT_EQ(t, "abc\xC9z");
    t.Chop(2);
    EXPECT_EQ(t, "abc");
    t.Chop(3);
    EXPECT_EQ(t, "");

    zk_cstring self("xy");
    self += self;
    EXPECT_EQ(self, "xyxy");
    self = self.c_str() + 1;
    EXPECT_EQ(self, "yxy");
}

TEST(ZkCString, FormatsAtAnyLength) {
    std::string longName(5000, 'n');
    zk_cstring r = zk_format("File '%s' not found", longName.c_str());
    EXPECT_EQ(r.length(), 5000u + 17u);
}

} // namespace
