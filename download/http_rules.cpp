#include "download/http_rules.h"

#include "core/path_text.h"

#include <cwchar>
#include <vector>

namespace rk::http {
namespace {

// WinHTTP has no cache of its own to bypass; these ask every cache on the way to
// revalidate, which is what the reload and no-cache flags of a cached client do.
constexpr wchar_t kNoCacheHeaders[] = L"Pragma: no-cache\r\nCache-Control: no-cache";

std::wstring trimSpace(const std::wstring& text)
{
    const wchar_t* blanks = L" \t\r\n";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::wstring::npos)
        return std::wstring();
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

std::vector<std::wstring> splitTrimmed(const std::wstring& text, wchar_t separator)
{
    std::vector<std::wstring> pieces;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(separator, start);
        pieces.push_back(trimSpace(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start)));
        if (end == std::wstring::npos)
            return pieces;
        start = end + 1;
    }
}

} // namespace

ProxySetting parseProxy(const std::wstring& value)
{
    ProxySetting proxy;
    if (trimSpace(value).empty())
        return proxy;
    proxy.configured = true;
    std::vector<std::wstring> pieces = splitTrimmed(value, L':');
    if (pieces.size() < 2 || pieces[0].empty() || pieces[1].empty())
        return proxy;
    proxy.valid = true;
    proxy.host = pieces[0];
    proxy.port = pieces[1];
    return proxy;
}

std::wstring proxyString(const ProxySetting& proxy) { return L"HTTP=HTTP://" + proxy.host + L":" + proxy.port; }

std::wstring winHttpProxyName(const std::wstring& proxyString)
{
    std::wstring name = proxyString;
    for (const wchar_t* prefix : {L"HTTP=", L"HTTP://"}) {
        size_t length = std::wcslen(prefix);
        if (name.size() >= length && toLower(name.substr(0, length)) == toLower(prefix))
            name.erase(0, length);
    }
    return name;
}

ProxyCredentials parseProxyUser(const std::wstring& value)
{
    ProxyCredentials credentials;
    if (value.empty())
        return credentials;
    std::vector<std::wstring> pieces = splitTrimmed(value, L',');
    credentials.hasUser = true;
    credentials.user = pieces[0];
    if (pieces.size() >= 2) {
        credentials.hasPassword = true;
        credentials.password = pieces[1];
    }
    return credentials;
}

std::wstring rangeHeader(long position)
{
    if (position <= 0)
        return std::wstring();
    return L"Range:bytes=" + std::to_wstring(position) + L"-";
}

std::wstring transferHeaders(long position)
{
    std::wstring headers = kNoCacheHeaders;
    std::wstring range = rangeHeader(position);
    if (!range.empty())
        headers += L"\r\n" + range;
    return headers;
}

long long parseHeaderNumber(const std::wstring& text)
{
    long long value = parseDecimal(text);
    constexpr long long kLimit = 0x7FFFFFFFLL;
    if (value > kLimit)
        return kLimit + 1;
    if (value < -kLimit)
        return -kLimit - 1;
    return value;
}

bool isServerMark(const std::wstring& serverHeader) { return serverHeader == kServerMark; }

} // namespace rk::http
