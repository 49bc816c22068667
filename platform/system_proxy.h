#pragma once
// The proxy the system's Internet settings choose for a URL: the user's static
// proxy with its bypass list (loopback always direct unless the list says
// "<-loopback>"), or, when the settings ask for automatic detection or name a
// PAC script, WinHTTP's answer for the URL, cached per host and port for the
// life of the process. Any thread.

#include <string>

namespace rk {

struct SystemProxySettings {
    bool autoDetect = false;
    std::wstring autoConfigUrl; // a PAC script; empty for none
    std::wstring staticProxy;   // the user's static proxy list; empty for none
    std::wstring staticBypass;  // its bypass list
    bool automatic() const { return autoDetect || !autoConfigUrl.empty(); }
};

// The current user's settings (WinHttpGetIEProxyConfigForCurrentUser), read
// once for the process; all empty when they cannot be read.
SystemProxySettings readSystemProxySettings();

struct ProxyChoice {
    bool direct = true;
    std::wstring proxy;  // WinHTTP's proxy list when not direct
    std::wstring bypass; // may be empty
};

// The choice of automatic configuration for url, asked through the session
// (which downloads the script); direct when the script or the detection fails,
// as the system does.
ProxyChoice automaticProxyFor(void* session, const SystemProxySettings& settings, const std::wstring& url,
                              const std::wstring& hostKey);

// 127.0.0.0/8, ::1 and "localhost", which the static proxy never gets.
bool isLoopbackHost(const std::wstring& host);
// The bypass list names "<-loopback>": loopback goes through the proxy too.
bool bypassKeepsLoopbackOnProxy(const std::wstring& bypass);

// Forgets the settings and the cached answers (tests that change the settings).
void clearSystemProxyCache();

} // namespace rk
