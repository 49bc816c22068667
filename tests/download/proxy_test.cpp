#include "core/settings.h"
#include "download/http_session.h"
#include "download/segmented_downloader.h"
#include "platform/files.h"
#include "tests/download/server_env.h"
#include "tests/unit/test_folder.h"

#include <gtest/gtest.h>

using namespace rk;
using namespace rk::test;

namespace {

// Wine sends an origin-form request line when the target's host text equals the
// proxy's, so the origin is named localhost and the proxy 127.0.0.1.
std::wstring originUrl(const std::wstring& file, const std::wstring& token)
{
    return L"http://localhost:" + std::to_wstring(serverPort(L"nginx")) + L"/" + file + L"?" + token;
}

void writeProxyConfig(const TestFolder& dir, const std::wstring& proxyName, const std::string& user)
{
    std::string ini = "[RenewKit]\r\nProxy=127.0.0.1:" + std::to_string(serverPort(proxyName)) + "\r\n";
    if (!user.empty())
        ini += "ProxyUser=" + user + "\r\n";
    dir.write(L"renewkit.ini", ini);
}

bool proxyLogMentions(const std::wstring& proxyName, const std::wstring& token)
{
    std::string log;
    readFileBytes(serverStateDir() + proxyName + L"\\tinyproxy.log", log);
    return log.find(narrow(token)) != std::string::npos;
}

} // namespace

TEST(ProxyDownload, OpenProxyCarriesSizeQueryAndSegments)
{
    TestFolder dir(L"proxy-open");
    writeProxyConfig(dir, L"proxy", "");
    const std::wstring token = uniqueToken();
    EXPECT_EQ(queryFileSize(originUrl(L"small.bin", token)), 100000);
    ASSERT_TRUE(downloadFile(originUrl(L"mid.bin", token), dir.file(L"mid.bin"), -1, nullptr));
    EXPECT_TRUE(dir.read(L"mid.bin") == sourceBytes(L"mid.bin"));
    EXPECT_TRUE(proxyLogMentions(L"proxy", token));
}

TEST(ProxyDownload, CredentialsAnswerTheProxysChallenge)
{
    TestFolder dir(L"proxy-auth");
    writeProxyConfig(dir, L"proxy_auth", " rkuser , rkpass ");
    const std::wstring token = uniqueToken();
    EXPECT_EQ(queryFileSize(originUrl(L"small.bin", token)), 100000);
    ASSERT_TRUE(downloadFile(originUrl(L"mid.bin", token), dir.file(L"mid.bin"), -1, nullptr));
    EXPECT_TRUE(dir.read(L"mid.bin") == sourceBytes(L"mid.bin"));
    EXPECT_TRUE(proxyLogMentions(L"proxy_auth", token));
}

TEST(ProxyDownload, MissingOrWrongCredentialsFailCleanly)
{
    TestFolder dir(L"proxy-denied");
    writeProxyConfig(dir, L"proxy_auth", "");
    EXPECT_EQ(queryFileSize(originUrl(L"small.bin", uniqueToken())), -1);
    EXPECT_FALSE(downloadFile(originUrl(L"mid.bin", uniqueToken()), dir.file(L"mid.bin"), -1, nullptr));
    EXPECT_FALSE(fileExists(dir.file(L"mid.bin")));
    EXPECT_FALSE(fileExists(dir.file(L"mid.bin.part0")));

    SettingsTable::instance().clear();
    writeProxyConfig(dir, L"proxy_auth", "rkuser,wrong");
    EXPECT_EQ(queryFileSize(originUrl(L"small.bin", uniqueToken())), -1);
}
