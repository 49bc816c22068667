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

namespace {

// Digits only, no sign and no blanks; false for an empty or overlong run.
bool readNumber(const std::wstring& text, size_t& at, long long& value)
{
    size_t start = at;
    value = 0;
    while (at < text.size() && text[at] >= L'0' && text[at] <= L'9') {
        if (at - start >= 18)
            return false;
        value = value * 10 + (text[at] - L'0');
        ++at;
    }
    return at > start;
}

} // namespace

ContentRange parseContentRange(const std::wstring& text)
{
    ContentRange range;
    const std::wstring value = trimSpace(text);
    const std::wstring unit = L"bytes";
    if (value.size() <= unit.size() || toLower(value.substr(0, unit.size())) != unit)
        return range;
    size_t at = value.find_first_not_of(L" \t", unit.size());
    if (at == std::wstring::npos || at == unit.size())
        return range;
    if (!readNumber(value, at, range.first) || at >= value.size() || value[at++] != L'-')
        return range;
    if (!readNumber(value, at, range.last) || at >= value.size() || value[at++] != L'/')
        return range;
    if (value.compare(at, std::wstring::npos, L"*") == 0) {
        range.total = -1;
    } else if (!readNumber(value, at, range.total) || at != value.size() || range.last >= range.total) {
        return range;
    }
    range.valid = range.first <= range.last;
    return range;
}

bool partialAnswerFits(const std::wstring& contentRange, long position, long fileSize)
{
    const ContentRange range = parseContentRange(contentRange);
    if (!range.valid)
        return position <= 0 && trimSpace(contentRange).empty();
    if (range.first != position)
        return false;
    return range.total < 0 || fileSize <= 0 || range.total == fileSize;
}

} // namespace rk::http
