#include "core/settings.h"
#include "download/http_session.h"
#include "download/segmented_downloader.h"
#include "platform/files.h"
#include "platform/system_proxy.h"
#include "tests/download/server_env.h"
#include "tests/unit/test_folder.h"

#include <gtest/gtest.h>
#include <vector>
#include <windows.h>

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

bool proxyLogMentions(const std::wstring& proxyName, const std::wstring& token,
                      const std::wstring& logName = L"tinyproxy.log")
{
    std::string log;
    readFileBytes(serverStateDir() + proxyName + L"\\" + logName, log);
    return log.find(narrow(token)) != std::string::npos;
}

bool nginxLogMentions(const std::wstring& token)
{
    std::string log;
    readFileBytes(serverStateDir() + L"nginx\\access.log", log);
    return log.find(narrow(token)) != std::string::npos;
}

// The user's Internet settings in the Wine prefix, as the control panel stores
// them, for the life of the object; the previous value comes back afterwards.
class InternetSettings {
public:
    enum Flags : DWORD { kDirect = 1, kProxy = 2, kPacScript = 4, kAutoDetect = 8 };

    InternetSettings(DWORD flags, const std::string& proxy, const std::string& bypass, const std::string& pacUrl)
    {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key, nullptr);
        DWORD type = 0, size = 0;
        if (::RegQueryValueExW(m_key, kValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
            m_old.resize(size);
            m_hadOld = ::RegQueryValueExW(m_key, kValue, nullptr, &type, m_old.data(), &size) == ERROR_SUCCESS;
        }
        std::vector<BYTE> blob;
        auto word = [&](DWORD v) {
            blob.insert(blob.end(), reinterpret_cast<BYTE*>(&v), reinterpret_cast<BYTE*>(&v) + 4);
        };
        auto text = [&](const std::string& t) {
            word(static_cast<DWORD>(t.size()));
            blob.insert(blob.end(), t.begin(), t.end());
        };
        word(0x46); // the settings' version mark
        word(1);
        word(flags);
        text(proxy);
        text(bypass);
        text(pacUrl);
        blob.resize(blob.size() + 32, 0);
        ::RegSetValueExW(m_key, kValue, 0, REG_BINARY, blob.data(), static_cast<DWORD>(blob.size()));
        clearSystemProxyCache();
    }
    ~InternetSettings()
    {
        if (m_hadOld)
            ::RegSetValueExW(m_key, kValue, 0, REG_BINARY, m_old.data(), static_cast<DWORD>(m_old.size()));
        else
            ::RegDeleteValueW(m_key, kValue);
        ::RegCloseKey(m_key);
        clearSystemProxyCache();
    }
    InternetSettings(const InternetSettings&) = delete;
    InternetSettings& operator=(const InternetSettings&) = delete;

private:
    static constexpr const wchar_t* kKey =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
    static constexpr const wchar_t* kValue = L"DefaultConnectionSettings";
    HKEY m_key = nullptr;
    std::vector<BYTE> m_old;
    bool m_hadOld = false;
};

std::string nginxAddress() { return "127.0.0.1:" + std::to_string(serverPort(L"nginx")); }

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

TEST(ProxyDownload, DigestProxyAcceptsTheCredentials)
{
    TestFolder dir(L"proxy-digest");
    writeProxyConfig(dir, L"proxy_digest", "rkuser,rkpass");
    const std::wstring token = uniqueToken();
    EXPECT_EQ(queryFileSize(originUrl(L"small.bin", token)), 100000);
    ASSERT_TRUE(downloadFile(originUrl(L"mid.bin", token), dir.file(L"mid.bin"), -1, nullptr));
    EXPECT_TRUE(dir.read(L"mid.bin") == sourceBytes(L"mid.bin"));
    EXPECT_TRUE(proxyLogMentions(L"proxy_digest", token, L"access.log"));

    SettingsTable::instance().clear();
    writeProxyConfig(dir, L"proxy_digest", "rkuser,wrong");
    EXPECT_EQ(queryFileSize(originUrl(L"small.bin", uniqueToken())), -1);
    SettingsTable::instance().clear();
    writeProxyConfig(dir, L"proxy_digest", "");
    EXPECT_EQ(queryFileSize(originUrl(L"small.bin", uniqueToken())), -1);
}

TEST(SystemProxy, PacScriptSendsOneHostThroughTheProxyAndAnotherDirect)
{
    TestFolder dir(L"proxy-pac");
    InternetSettings settings(InternetSettings::kDirect | InternetSettings::kPacScript, "", "",
                              "http://" + nginxAddress() + "/proxy.pac");
    const std::wstring viaProxy = uniqueToken();
    ASSERT_TRUE(downloadFile(originUrl(L"mid.bin", viaProxy), dir.file(L"mid.bin"), -1, nullptr));
    EXPECT_TRUE(dir.read(L"mid.bin") == sourceBytes(L"mid.bin"));
    EXPECT_TRUE(proxyLogMentions(L"proxy", viaProxy));

    const std::wstring direct = uniqueToken();
    ASSERT_TRUE(downloadFile(nginxUrl(L"small.bin?" + direct), dir.file(L"small.bin"), -1, nullptr));
    EXPECT_TRUE(dir.read(L"small.bin") == sourceBytes(L"small.bin"));
    EXPECT_FALSE(proxyLogMentions(L"proxy", direct));
    EXPECT_TRUE(nginxLogMentions(direct));

    // The whole-body fetch follows the script as well.
    const std::wstring fetched = uniqueToken();
    std::string body;
    ASSERT_TRUE(fetchToSink(originUrl(L"s1234.bin", fetched), body));
    EXPECT_TRUE(body == sourceBytes(L"s1234.bin"));
    EXPECT_TRUE(proxyLogMentions(L"proxy", fetched));
}

TEST(SystemProxy, StaticProxyLeavesLoopbackDirectUnlessTheBypassListSaysOtherwise)
{
    TestFolder dir(L"proxy-static");
    const std::string proxy = "127.0.0.1:" + std::to_string(serverPort(L"proxy"));
    {
        InternetSettings settings(InternetSettings::kDirect | InternetSettings::kProxy, proxy, "", "");
        const std::wstring token = uniqueToken();
        ASSERT_TRUE(downloadFile(originUrl(L"mid.bin", token), dir.file(L"mid.bin"), -1, nullptr));
        EXPECT_FALSE(proxyLogMentions(L"proxy", token));
        EXPECT_TRUE(nginxLogMentions(token));
    }
    {
        InternetSettings settings(InternetSettings::kDirect | InternetSettings::kProxy, proxy, "<-loopback>", "");
        const std::wstring token = uniqueToken();
        ASSERT_TRUE(downloadFile(originUrl(L"mid.bin", token), dir.file(L"mid.bin"), -1, nullptr));
        EXPECT_TRUE(dir.read(L"mid.bin") == sourceBytes(L"mid.bin"));
        EXPECT_TRUE(proxyLogMentions(L"proxy", token));
    }
}
