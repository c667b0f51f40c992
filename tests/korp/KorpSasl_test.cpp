#include <korp/KorpSasl.h>

#include <gtest/gtest.h>

namespace korp {
namespace {

TEST(Sasl, Base64FollowsTheTestVectorsOfRfc4648) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {{"", ""},
                 {"f", "Zg=="},
                 {"fo", "Zm8="},
                 {"foo", "Zm9v"},
                 {"foob", "Zm9vYg=="},
                 {"fooba", "Zm9vYmE="},
                 {"foobar", "Zm9vYmFy"},
                 {"\xff\xfe\x01", "//4B"}};
    for (const auto& c : cases)
        EXPECT_EQ(Base64Encode(c.in), c.out) << c.in;
}

TEST(Sasl, TheFirstResponseCarriesUserAndTokenAsEachMechanismWantsThem) {
    EXPECT_EQ(SaslInitialResponse(TSaslMechanism::XOAuth2, "jan@hotmail.nl", "h", "995", "tok"),
              "user=jan@hotmail.nl\x01"
              "auth=Bearer tok\x01\x01");
    // RFC 7628, 3.1, with "," and "=" of the name escaped as RFC 5801 asks.
    EXPECT_EQ(
        SaslInitialResponse(TSaslMechanism::OAuthBearer, "a,b=c@x.nl", "pop.x.nl", "995", "tok"),
        "n,a=a=2Cb=3Dc@x.nl,\x01host=pop.x.nl\x01port=995\x01"
        "auth=Bearer tok\x01\x01");
    EXPECT_EQ(SaslErrorAcknowledgement(TSaslMechanism::XOAuth2), "");
    EXPECT_EQ(SaslErrorAcknowledgement(TSaslMechanism::OAuthBearer), "AQ==");
}

TEST(Sasl, MechanismNamesAndChallengesReadAsText) {
    EXPECT_EQ(SaslMechanismFromName("xoauth2"), TSaslMechanism::XOAuth2);
    EXPECT_EQ(SaslMechanismFromName("OAUTHBEARER"), TSaslMechanism::OAuthBearer);
    EXPECT_EQ(SaslMechanismFromName("PLAIN"), std::nullopt);
    EXPECT_EQ(SaslChallengeText(Base64Encode("{\"status\":\"401\"}")), "{\"status\":\"401\"}");
    EXPECT_EQ(SaslChallengeText(Base64Encode("a\x01\n")), "a  ");
    EXPECT_EQ(SaslChallengeText("no base64!"), "no base64!");
    EXPECT_EQ(SaslChallengeText(std::string(1000, 'A')).size(), 200u);
}

} // namespace
} // namespace korp
