#include "platform/winhttp.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>

namespace rk {

static_assert(winhttp_query::kStatusCode == WINHTTP_QUERY_STATUS_CODE);
static_assert(winhttp_query::kContentLength == WINHTTP_QUERY_CONTENT_LENGTH);
static_assert(winhttp_query::kServer == WINHTTP_QUERY_SERVER);
static_assert(winhttp_query::kContentRange == WINHTTP_QUERY_CONTENT_RANGE);

void WinHttpTraits::close(Type h) noexcept { ::WinHttpCloseHandle(h); }

namespace {

constexpr DWORD kProxyAuthRequired = 407;

struct IeProxyConfig {
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG value{};
    ~IeProxyConfig()
    {
        for (LPWSTR text : {value.lpszAutoConfigUrl, value.lpszProxy, value.lpszProxyBypass}) {
            if (text)
                ::GlobalFree(text);
        }
    }
};

DWORD statusOf(HINTERNET request)
{
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        return 0;
    return status;
}

bool sendAndReceive(HINTERNET request, const std::wstring& headers)
{
    LPCWSTR text = headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str();
    DWORD length = headers.empty() ? 0 : static_cast<DWORD>(-1L);
    return ::WinHttpSendRequest(request, text, length, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
           ::WinHttpReceiveResponse(request, nullptr);
}

} // namespace

WinHttpSession WinHttpSession::openPreconfigured(const std::wstring& agent)
{
    WinHttpSession session;
    IeProxyConfig config;
    if (::WinHttpGetIEProxyConfigForCurrentUser(&config.value) && config.value.lpszProxy && *config.value.lpszProxy) {
        LPCWSTR bypass = config.value.lpszProxyBypass ? config.value.lpszProxyBypass : WINHTTP_NO_PROXY_BYPASS;
        session.m_session.reset(
            ::WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_NAMED_PROXY, config.value.lpszProxy, bypass, 0));
    }
    if (!session.m_session) {
        session.m_session.reset(::WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                              WINHTTP_NO_PROXY_BYPASS, 0));
    }
    return session;
}

WinHttpSession WinHttpSession::openWithProxy(const std::wstring& agent, const std::wstring& proxy)
{
    WinHttpSession session;
    session.m_session.reset(
        ::WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy.c_str(), WINHTTP_NO_PROXY_BYPASS, 0));
    return session;
}

WinHttpRequest WinHttpRequest::open(const WinHttpSession& session, const std::wstring& url, const std::wstring& headers)
{
    WinHttpRequest result;
    if (!session)
        return result;

    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!::WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts))
        return result;
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring object;
    if (parts.lpszUrlPath)
        object.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo)
        object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (object.empty())
        object = L"/";

    UniqueWinHttp connection(::WinHttpConnect(session.handle(), host.c_str(), parts.nPort, 0));
    if (!connection)
        return result;
    DWORD flags = WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS)
        flags |= WINHTTP_FLAG_SECURE;
    UniqueWinHttp request(::WinHttpOpenRequest(connection.get(), L"GET", object.c_str(), nullptr, WINHTTP_NO_REFERER,
                                               WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!request)
        return result;

    if (session.receiveTimeout() > 0) {
        DWORD timeout = session.receiveTimeout();
        ::WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof(timeout));
        ::WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &timeout, sizeof(timeout));
    }

    const ProxyCredentials& credentials = session.proxyCredentials();
    // String option lengths are in characters.
    if (credentials.hasUser)
        ::WinHttpSetOption(request.get(), WINHTTP_OPTION_PROXY_USERNAME, const_cast<wchar_t*>(credentials.user.c_str()),
                           static_cast<DWORD>(credentials.user.size()));
    if (credentials.hasPassword)
        ::WinHttpSetOption(request.get(), WINHTTP_OPTION_PROXY_PASSWORD,
                           const_cast<wchar_t*>(credentials.password.c_str()),
                           static_cast<DWORD>(credentials.password.size()));

    if (!sendAndReceive(request.get(), headers))
        return result;
    // Wine answers the proxy's 407 itself from the options above; Windows may hand
    // it back, so offer the same credentials once more explicitly.
    if (credentials.hasUser && statusOf(request.get()) == kProxyAuthRequired) {
        if (::WinHttpSetCredentials(request.get(), WINHTTP_AUTH_TARGET_PROXY, WINHTTP_AUTH_SCHEME_BASIC,
                                    credentials.user.c_str(), credentials.password.c_str(), nullptr) &&
            !sendAndReceive(request.get(), headers))
            return result;
    }
    DWORD length = 0;
    DWORD size = sizeof(length);
    if (::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                              WINHTTP_HEADER_NAME_BY_INDEX, &length, &size, WINHTTP_NO_HEADER_INDEX))
        result.m_bodyLength = length;
    result.m_connection = std::move(connection);
    result.m_request = std::move(request);
    return result;
}

bool WinHttpRequest::queryHeader(unsigned long infoLevel, wchar_t* buffer, unsigned long bufferBytes) const
{
    DWORD size = bufferBytes;
    return m_request && ::WinHttpQueryHeaders(m_request.get(), infoLevel, WINHTTP_HEADER_NAME_BY_INDEX, buffer, &size,
                                              WINHTTP_NO_HEADER_INDEX);
}

bool WinHttpRequest::brokenRead() const
{
    m_ended = true;
    return false;
}

bool WinHttpRequest::read(void* data, std::size_t capacity, std::size_t& read) const
{
    read = 0;
    if (!m_request)
        return false;
    if (m_ended)
        return !m_failed;
    // Wine's WinHttpReadData, when the socket times out after part of the asked
    // count arrived, reports success with that part and leaves the request's
    // buffer state broken: the next read hands out bytes from past its buffer
    // and then faults. So only what is already buffered is ever read, and waiting
    // is left to WinHttpQueryDataAvailable. That reports a time-out (and a closed
    // connection) as 0 bytes available; once that happened before the announced
    // length, the socket is not waited on again: the request reads as ended.
    while (read < capacity) {
        DWORD available = 0;
        if (!::WinHttpQueryDataAvailable(m_request.get(), &available)) {
            m_failed = true;
            return brokenRead();
        }
        if (available == 0) {
            if (m_bodyLength < 0 || m_bodyRead < static_cast<unsigned long long>(m_bodyLength))
                m_ended = true;
            break;
        }
        DWORD want = static_cast<DWORD>(std::min<std::size_t>(available, capacity - read));
        DWORD got = 0;
        if (!::WinHttpReadData(m_request.get(), static_cast<char*>(data) + read, want, &got)) {
            m_failed = true;
            return brokenRead();
        }
        if (got == 0)
            break;
        read += got;
        m_bodyRead += got;
    }
    return true;
}

} // namespace rk
