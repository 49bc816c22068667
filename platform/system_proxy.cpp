#include "platform/system_proxy.h"

#include <windows.h>
#include <winhttp.h>

#include <cwctype>
#include <map>
#include <mutex>

namespace rk {
namespace {

std::mutex g_cacheLock; // guards g_cache, g_settings and g_settingsRead
std::map<std::wstring, ProxyChoice> g_cache;
SystemProxySettings g_settings;
bool g_settingsRead = false;

std::wstring lower(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::wstring takeGlobal(LPWSTR text)
{
    if (!text)
        return std::wstring();
    std::wstring copy = text;
    ::GlobalFree(text);
    return copy;
}

} // namespace

SystemProxySettings readSystemProxySettings()
{
    {
        std::lock_guard<std::mutex> hold(g_cacheLock);
        if (g_settingsRead)
            return g_settings;
    }
    SystemProxySettings settings;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
    if (::WinHttpGetIEProxyConfigForCurrentUser(&config)) {
        settings.autoDetect = config.fAutoDetect != FALSE;
        settings.autoConfigUrl = takeGlobal(config.lpszAutoConfigUrl);
        settings.staticProxy = takeGlobal(config.lpszProxy);
        settings.staticBypass = takeGlobal(config.lpszProxyBypass);
    }
    std::lock_guard<std::mutex> hold(g_cacheLock);
    g_settings = settings;
    g_settingsRead = true;
    return settings;
}

ProxyChoice automaticProxyFor(void* session, const SystemProxySettings& settings, const std::wstring& url,
                              const std::wstring& hostKey)
{
    const std::wstring key = lower(hostKey);
    {
        std::lock_guard<std::mutex> hold(g_cacheLock);
        auto found = g_cache.find(key);
        if (found != g_cache.end())
            return found->second;
    }
    // Asked outside the lock: the script download may take a while, and two
    // threads asking for the same host at once only repeat the work.
    WINHTTP_AUTOPROXY_OPTIONS options{};
    if (settings.autoDetect) {
        options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    if (!settings.autoConfigUrl.empty()) {
        options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = settings.autoConfigUrl.c_str();
    }
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO info{};
    ProxyChoice choice;
    if (::WinHttpGetProxyForUrl(session, url.c_str(), &options, &info)) {
        std::wstring proxy = takeGlobal(info.lpszProxy);
        std::wstring bypass = takeGlobal(info.lpszProxyBypass);
        if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && !proxy.empty()) {
            choice.direct = false;
            choice.proxy = proxy;
            choice.bypass = bypass;
        }
    }
    std::lock_guard<std::mutex> hold(g_cacheLock);
    g_cache[key] = choice;
    return choice;
}

bool isLoopbackHost(const std::wstring& host)
{
    const std::wstring name = lower(host);
    return name == L"localhost" || name == L"::1" || name == L"[::1]" || name.rfind(L"127.", 0) == 0;
}

bool bypassKeepsLoopbackOnProxy(const std::wstring& bypass)
{
    return lower(bypass).find(L"<-loopback>") != std::wstring::npos;
}

void clearSystemProxyCache()
{
    std::lock_guard<std::mutex> hold(g_cacheLock);
    g_cache.clear();
    g_settingsRead = false;
}

} // namespace rk
