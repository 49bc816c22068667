#include "platform/digest_auth.h"

#include <gtest/gtest.h>

using namespace rk;

TEST(DigestChallenge, ReadsQuotedAndBareParametersInAnyOrder)
{
    digest::Challenge c = digest::parseChallenge(
        "Digest realm=\"renewkit \\\"lab\\\"\", qop=\"auth-int, auth\", nonce=\"abc,def\", stale=false, "
        "algorithm=MD5, opaque=\"xyz\"");
    ASSERT_TRUE(c.valid);
    EXPECT_EQ(c.realm, "renewkit \"lab\"");
    EXPECT_EQ(c.nonce, "abc,def");
    EXPECT_EQ(c.opaque, "xyz");
    EXPECT_EQ(c.algorithm, "MD5");
    EXPECT_TRUE(c.qopAuth);

    EXPECT_FALSE(digest::parseChallenge("Basic realm=\"x\"").valid);
    EXPECT_FALSE(digest::parseChallenge("Digest realm=\"x\"").valid); // no nonce
    EXPECT_FALSE(digest::parseChallenge("Digest realm=\"x\", nonce=\"n\", algorithm=SHA-256").valid);
    EXPECT_FALSE(digest::parseChallenge("Digest realm=\"x\", nonce=\"n\", qop=\"auth-int\"").qopAuth);
}

TEST(DigestAnswer, MatchesTheWorkedExampleOfTheRfc)
{
    EXPECT_EQ(digest::md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    digest::Challenge c = digest::parseChallenge("Digest realm=\"testrealm@host.com\", qop=\"auth,auth-int\", "
                                                 "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
                                                 "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"");
    ASSERT_TRUE(c.valid);
    const std::string value =
        digest::authorization(c, "Mufasa", "Circle Of Life", "GET", "/dir/index.html", "0a4f113b", 1);
    EXPECT_NE(value.find("response=\"6629fae49393a05397450978507c4ef1\""), std::string::npos) << value;
    EXPECT_NE(value.find("nc=00000001"), std::string::npos);
    EXPECT_NE(value.find("cnonce=\"0a4f113b\""), std::string::npos);
    EXPECT_NE(value.find("opaque=\"5ccc069c403ebaf9f0171e9517f40e41\""), std::string::npos);
    EXPECT_EQ(value.rfind("Digest username=\"Mufasa\"", 0), 0u);

    // Without qop the response leaves out the counter and the client nonce.
    c.qopAuth = false;
    const std::string plain = digest::authorization(c, "Mufasa", "Circle Of Life", "GET", "/dir/index.html", "x", 1);
    EXPECT_EQ(plain.find("cnonce"), std::string::npos);
    EXPECT_EQ(plain.find("qop"), std::string::npos);
}
