#include "list/list_url.h"
#include "list/version_probe.h"
#include "tests/list/list_test_support.h"

#include <gtest/gtest.h>

using namespace rk;

TEST(ListUrl, ParametersInTheirOrder)
{
    EXPECT_EQ(
        expandListUrlParameters(L"http://h/[param1]/{param1}/[param2]{param2}?p={param}&q=[param]", L"A", L"B", L"C"),
        L"http://h/A/A/BB?p=C&q=C");
    // "{param1}" goes first, so "{param}" cannot take its start.
    EXPECT_EQ(expandListUrlParameters(L"{param1}{param}", L"one", L"", L"x"), L"onex");
    EXPECT_EQ(expandListUrlParameters(L"{PARAM}{param3}", L"1", L"2", L"3"), L"{PARAM}{param3}");
}

TEST(ListUrl, ParametersAreReadFromTheConfiguration)
{
    rk::test::TestFolder folder(L"ListUrl-Parameters");
    folder.write(L"renewkit.ini", "[UPDATEINFO]\r\nParameter1=p1\r\nParameter=pp\r\n");
    EXPECT_EQ(expandListUrlParameters(L"u/{param1}/{param2}/{param}"), L"u/p1//pp");
}

TEST(ListUrl, Base)
{
    EXPECT_EQ(listUrlBaseOf(L"http://h/dir/list.xml"), L"http://h/dir");
    EXPECT_EQ(listUrlBaseOf(L"http://h/dir/"), L"http://h/dir/");
    EXPECT_EQ(listUrlBaseOf(L"http://h/dir/x"), L"http://h/dir/x");
    EXPECT_EQ(listUrlBaseOf(L"http://h/dir/xy"), L"http://h/dir");
    EXPECT_EQ(listUrlBaseOf(L"list.xml"), L"");
    EXPECT_EQ(listUrlBaseOf(L"/list.xml"), L"");
    EXPECT_EQ(listUrlBaseOf(L"ab"), L"ab");
    EXPECT_EQ(listUrlBaseOf(L""), L"");
    DownLoadList list;
    setListUrlBase(list, L"http://h/a/b.xml");
    EXPECT_EQ(list.listUrlBase, L"http://h/a");
}

TEST(ListUrl, Normalize)
{
    EXPECT_EQ(normalizeUrl(L"http://h/app//sub\\a.dll"), L"http://h/app/sub/a.dll");
    EXPECT_EQ(normalizeUrl(L"HTTPS://h\\\\x"), L"HTTPS://h/x");
    EXPECT_EQ(normalizeUrl(L"https://h/a?next=http://o/"), L"https://h/a?next=http://o/");
    EXPECT_EQ(normalizeUrl(L"h///x"), L"h//x"); // one pass
    EXPECT_EQ(normalizeUrl(L"a%5Cb c"), L"a%5Cb c");
}

TEST(ListUrl, FileUrl)
{
    DownLoadList list;
    list.listUrlBase = L"http://h/app/";
    updatefileinfo e;
    e.path = L"sub\\a.dll";
    EXPECT_EQ(fileUrl(list, e), L"http://h/app/sub/a.dll");
    list.fileUrlTemplate = L"{listurl-base}/files/{filename}";
    list.listUrlBase = L"http://h/app";
    EXPECT_EQ(fileUrl(list, e), L"http://h/app/files/sub/a.dll");
    e.url = L"http://cdn//x\\a.dll";
    EXPECT_EQ(fileUrl(list, e), L"http://cdn/x/a.dll");
    // A list URL ending in "/": the base is the whole URL, the double slash goes.
    DownLoadList slash;
    setListUrlBase(slash, L"http://h/dir/");
    e.url.clear();
    EXPECT_EQ(fileUrl(slash, e), L"http://h/dir/sub/a.dll");
}

// A probe document cut on its way must not pass for a shorter version or a
// shorter address: the check would then offer a release nobody published.
TEST(VersionProbeText, ADocumentCutShortIsNotComplete)
{
    for (const wchar_t* whole : {L"<ver>2.0.1</ver>", L"<ver>2.0.1</ver>\r\n<url>http://a/l.xml</url>\r\n",
                                 L"<ver>1</ver><url>u</url><url>v</url>", L"", L"  \r\n"}) {
        EXPECT_TRUE(parseVersionProbe(whole).complete) << whole;
    }
    for (const wchar_t* cut : {L"<ver>2.0", L"<ver>2.0.1</ver", L"<ver>2.0.1</ver><url>http://a/l",
                               L"<ver>2.0.1</ver><ur", L"<ver>1</ver><url>u</url><url>v"}) {
        EXPECT_FALSE(parseVersionProbe(cut).complete) << cut;
    }
    VersionProbe cut = parseVersionProbeBytes("<ver>2.0");
    EXPECT_EQ(cut.version, L"2.0");
    EXPECT_FALSE(cut.complete);
}

TEST(VersionProbeText, VersionAndSubListsInOrder)
{
    VersionProbe p = parseVersionProbe(L"  <Ver>5.2</Ver>\r\n<url>http://a/l.xml</url><URL>http://b/l.xml</URL>"
                                       L"<Url>http://c/Ver/URL.xml</Url>  ");
    EXPECT_EQ(p.version, L"5.2");
    EXPECT_EQ(p.urls, (std::vector<std::wstring>{L"http://a/l.xml", L"http://b/l.xml", L"http://c/Ver/URL.xml"}));
    EXPECT_TRUE(p.complete);

    VersionProbe noTags = parseVersionProbe(L"5.2");
    EXPECT_EQ(noTags.version, L"");
    EXPECT_TRUE(noTags.urls.empty());
    VersionProbe open = parseVersionProbe(L"<VER>7<ver>8<url>tail");
    EXPECT_EQ(open.version, L"7");
    EXPECT_EQ(open.urls, std::vector<std::wstring>{L"tail"});
    EXPECT_FALSE(open.complete);

    DownLoadList list;
    list.probeUrls.push_back(L"stale");
    applyVersionProbe(parseVersionProbeBytes("<ver>1.0</ver><url>u</url>"), list);
    EXPECT_EQ(list.probeVersion, L"1.0");
    EXPECT_EQ(list.probeUrls, std::vector<std::wstring>{L"u"});
}
