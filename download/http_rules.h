#pragma once
// The text rules of the HTTP session: proxy and credential values, the extra
// request headers, header numbers and the server mark. Pure functions.

#include "platform/winhttp.h"

#include <string>

namespace rk::http {

inline const wchar_t kServerMark[] = L"renewkit2.xx";
// The only header of a whole-body fetch: the accept line and an empty line.
inline const wchar_t kAcceptAllHeaders[] = L"Accept: */*\r\n\r\n";

struct ProxySetting {
    bool configured = false; // a non-blank Proxy value
    bool valid = false;      // both a host and a port
    std::wstring host;
    std::wstring port;
};

// [RenewKit] Proxy "host:port": split at ":" into trimmed pieces, the first two are
// host and port. A blank piece counts as missing, so "host:" is malformed too.
ProxySetting parseProxy(const std::wstring& value);
// The proxy in its configuration form "HTTP=HTTP://host:port".
std::wstring proxyString(const ProxySetting& proxy);
// The same proxy as WinHTTP takes it: "host:port".
std::wstring winHttpProxyName(const std::wstring& proxyString);

// [RenewKit] ProxyUser "user,password": split at "," into trimmed pieces; the
// first is the user, the second the password; either may be missing.
ProxyCredentials parseProxyUser(const std::wstring& value);

// "Range:bytes=N-" for a resume at N; empty at position 0 or below.
std::wstring rangeHeader(long position);
// What a segment request sends: the cache-defeating lines, then the range if any.
std::wstring transferHeaders(long position);

// Decimal number at the start of a header value in the C library's manner; 0 when
// there is none. Values beyond 32 bits saturate so they cannot wrap.
long long parseHeaderNumber(const std::wstring& text);

// Exactly "renewkit2.xx": case-sensitive, nothing before or after.
bool isServerMark(const std::wstring& serverHeader);

// A Content-Range value "bytes FIRST-LAST/TOTAL" (TOTAL may be "*").
struct ContentRange {
    bool valid = false;
    long long first = 0;
    long long last = 0;
    long long total = -1; // -1 for "*"
};
ContentRange parseContentRange(const std::wstring& text);

// Whether a 206 answer holds the bytes asked for: its range must start at the
// position, and its total (when stated) must be the size the file was cut by
// (0 or below: not known yet). A partial answer without a readable range cannot be
// placed anywhere but at 0.
bool partialAnswerFits(const std::wstring& contentRange, long position, long fileSize);

} // namespace rk::http
