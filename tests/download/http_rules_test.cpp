#include "download/http_rules.h"
#include "download/url_encoding.h"

#include <gtest/gtest.h>

using namespace rk;
using namespace rk::http;

TEST(ProxyValue, HostAndPortGiveBothProxyForms)
{
    ProxySetting proxy = parseProxy(L"10.0.0.1:8080");
    ASSERT_TRUE(proxy.configured);
    ASSERT_TRUE(proxy.valid);
    EXPECT_EQ(proxyString(proxy), L"HTTP=HTTP://10.0.0.1:8080");
    EXPECT_EQ(winHttpProxyName(proxyString(proxy)), L"10.0.0.1:8080");

    proxy = parseProxy(L"  proxy.lan \t: 3128 :extra");
    ASSERT_TRUE(proxy.valid);
    EXPECT_EQ(proxy.host, L"proxy.lan");
    EXPECT_EQ(proxy.port, L"3128");
}

TEST(ProxyValue, MissingPortIsMalformedAndBlankMeansNoProxy)
{
    for (const wchar_t* bad : {L"10.0.0.1", L"10.0.0.1:", L":8080", L" : "}) {
        ProxySetting proxy = parseProxy(bad);
        EXPECT_TRUE(proxy.configured) << bad;
        EXPECT_FALSE(proxy.valid) << bad;
    }
    EXPECT_FALSE(parseProxy(L"").configured);
    EXPECT_FALSE(parseProxy(L"   ").configured);
}

TEST(ProxyUser, PiecesDecideWhichOptionsAreSet)
{
    ProxyCredentials both = parseProxyUser(L" alice , s3cret ");
    EXPECT_TRUE(both.hasUser && both.hasPassword);
    EXPECT_EQ(both.user, L"alice");
    EXPECT_EQ(both.password, L"s3cret");

    ProxyCredentials userOnly = parseProxyUser(L"alice");
    EXPECT_TRUE(userOnly.hasUser);
    EXPECT_FALSE(userOnly.hasPassword);

    ProxyCredentials none = parseProxyUser(L"");
    EXPECT_FALSE(none.hasUser);
    EXPECT_FALSE(none.hasPassword);
}

TEST(RequestHeaders, RangeOnlyAboveZeroAfterTheNoCacheLines)
{
    EXPECT_EQ(rangeHeader(0), L"");
    EXPECT_EQ(rangeHeader(-7), L"");
    EXPECT_EQ(rangeHeader(5000), L"Range:bytes=5000-");
    EXPECT_EQ(transferHeaders(0), L"Pragma: no-cache\r\nCache-Control: no-cache");
    EXPECT_EQ(transferHeaders(5000), L"Pragma: no-cache\r\nCache-Control: no-cache\r\nRange:bytes=5000-");
    EXPECT_EQ(std::wstring(kAcceptAllHeaders).size(), 15u);
}

TEST(HeaderNumbers, DecimalPrefixAndSaturation)
{
    EXPECT_EQ(parseHeaderNumber(L"206"), 206);
    EXPECT_EQ(parseHeaderNumber(L"1234"), 1234);
    EXPECT_EQ(parseHeaderNumber(L""), 0);
    EXPECT_EQ(parseHeaderNumber(L"OK"), 0);
    EXPECT_EQ(parseHeaderNumber(L"12abc"), 12);
    // A size past 32 bits must not wrap into a small or negative length.
    EXPECT_GT(parseHeaderNumber(L"4294967396"), 0x7FFFFFFFLL);
}

TEST(ServerMark, OnlyTheExactText)
{
    EXPECT_TRUE(isServerMark(L"renewkit2.xx"));
    for (const wchar_t* other :
         {L"Renewkit2.xx", L"RENEWKIT2.XX", L"renewkit2.xx ", L"renewkit2.xx/1.0", L" renewkit2.xx", L"renewkit2", L""})
        EXPECT_FALSE(isServerMark(other)) << other;
}

TEST(PercentEncoding, ListedCharactersAndUtf8)
{
    EXPECT_EQ(percentEncodeUrl(L"a b/c+d.txt"), L"a%20b/c%2Bd.txt");
    EXPECT_EQ(percentEncodeUrl(L" \"<>#{}|\\^~[]`+"), L"%20%22%3C%3E%23%7B%7D%7C%5C%5E%7E%5B%5D%60%2B");
    EXPECT_EQ(percentEncodeUrl(L"100%.bin"), L"100%25.bin");
    EXPECT_EQ(percentEncodeUrl(L"/\x4E2D.exe"), L"/%E4%B8%AD.exe");
    EXPECT_EQ(percentEncodeUrl(L"\x00E9\x00E9"), L"%C3%A9%C3%A9");
    // A character outside the basic plane is one code point, not two halves.
    EXPECT_EQ(percentEncodeUrl(L"\xD83D\xDE00"), L"%F0%9F%98%80");
    EXPECT_EQ(percentEncodeUrl(L"x\xD83Dy"), L"x%EF%BF%BDy");
}

TEST(PercentEncoding, SafeUrlsPassUnchanged)
{
    const std::wstring safe = L"http://host.example:8080/dir/file_1-2.bin?a=1&b=(x)*!;'$,@";
    EXPECT_EQ(percentEncodeUrl(safe), safe);
}

TEST(ContentRange, ParsesTheBytesFormAndRejectsEverythingElse)
{
    ContentRange range = parseContentRange(L"bytes 51200-299999/300000");
    ASSERT_TRUE(range.valid);
    EXPECT_EQ(range.first, 51200);
    EXPECT_EQ(range.last, 299999);
    EXPECT_EQ(range.total, 300000);
    range = parseContentRange(L"  Bytes 0-0/*  ");
    ASSERT_TRUE(range.valid);
    EXPECT_EQ(range.total, -1);
    for (const wchar_t* bad :
         {L"", L"bytes", L"bytes */300000", L"bytes 5-4/10", L"bytes 0-10/10", L"bytes -1-5/10", L"bytes 0-5/10x",
          L"items 0-5/10", L"bytes0-5/10", L"bytes 0-5", L"bytes 99999999999999999999-1/2"}) {
        EXPECT_FALSE(parseContentRange(bad).valid) << bad;
    }
}

TEST(ContentRange, PartialAnswerMustStartAtThePositionOfAFileOfTheQueriedSize)
{
    EXPECT_TRUE(partialAnswerFits(L"bytes 5000-9999/10000", 5000, 10000));
    EXPECT_TRUE(partialAnswerFits(L"bytes 5000-9999/*", 5000, 10000));
    EXPECT_TRUE(partialAnswerFits(L"bytes 0-9999/10000", 0, 0)); // size not known yet
    EXPECT_FALSE(partialAnswerFits(L"bytes 6024-9999/10000", 5000, 10000));
    EXPECT_FALSE(partialAnswerFits(L"bytes 5000-10000/10001", 5000, 10000));
    EXPECT_FALSE(partialAnswerFits(L"bytes 0-9999/10000", 5000, 10000));
    // Without a readable range only an answer from the start can be placed.
    EXPECT_TRUE(partialAnswerFits(L"", 0, 10000));
    EXPECT_FALSE(partialAnswerFits(L"", 5000, 10000));
    EXPECT_FALSE(partialAnswerFits(L"garbage", 0, 10000));
}
