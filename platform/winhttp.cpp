#include "platform/winhttp.h"

#include <windows.h>
#include <winhttp.h>

#include "platform/codepage.h"
#include "platform/digest_auth.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace rk {

static_assert(winhttp_query::kStatusCode == WINHTTP_QUERY_STATUS_CODE);
static_assert(winhttp_query::kContentLength == WINHTTP_QUERY_CONTENT_LENGTH);
static_assert(winhttp_query::kServer == WINHTTP_QUERY_SERVER);
static_assert(winhttp_query::kContentRange == WINHTTP_QUERY_CONTENT_RANGE);

void WinHttpTraits::close(Type h) noexcept { ::WinHttpCloseHandle(h); }

namespace {

constexpr DWORD kProxyAuthRequired = 407;

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

// Session handles by proxy choice, opened on first use and kept for the life of
// the process. WinHTTP keeps the connections of a session alive for its later
// requests, so every request of every thread goes through the one handle of its
// choice. Never closed: detached workers (the list fetch) may still send requests
// while the process ends, and the system closes what is left.
class SharedSessions {
public:
    static SharedSessions& instance()
    {
        static SharedSessions* sessions = new SharedSessions; // see above: never destroyed
        return *sessions;
    }

    HINTERNET defaultProxy()
    {
        return find(L"default", [] { return open(WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, {}); });
    }
    HINTERNET forChoice(const ProxyChoice& choice)
    {
        if (choice.direct)
            return find(L"direct", [] { return open(WINHTTP_ACCESS_TYPE_NO_PROXY, {}); });
        return find(L"proxy " + choice.proxy + L" " + choice.bypass,
                    [&] { return open(WINHTTP_ACCESS_TYPE_NAMED_PROXY, choice); });
    }

private:
    // Each request names itself by its own User-Agent header; this one is only
    // WinHTTP's default for a request that sets none.
    static HINTERNET open(DWORD access, const ProxyChoice& choice)
    {
        if (access != WINHTTP_ACCESS_TYPE_NAMED_PROXY)
            return ::WinHttpOpen(L"RenewKit", access, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
        return ::WinHttpOpen(L"RenewKit", access, choice.proxy.c_str(),
                             choice.bypass.empty() ? WINHTTP_NO_PROXY_BYPASS : choice.bypass.c_str(), 0);
    }

    template <typename Open> HINTERNET find(const std::wstring& key, Open open)
    {
        std::lock_guard<std::mutex> hold(m_lock);
        UniqueWinHttp& handle = m_handles[key];
        if (!handle)
            handle.reset(open()); // a failure is tried again by the next request
        return handle.get();
    }

    std::mutex m_lock;
    std::map<std::wstring, UniqueWinHttp> m_handles;
};

// What the system settings choose for one URL. A script is fetched directly.
ProxyChoice systemChoice(const SystemProxySettings& system, const std::wstring& url, const std::wstring& host,
                         INTERNET_PORT port)
{
    ProxyChoice choice;
    if (system.automatic()) {
        HINTERNET direct = SharedSessions::instance().forChoice(ProxyChoice());
        return automaticProxyFor(direct, system, url, host + L":" + std::to_wstring(port));
    }
    if (!system.staticProxy.empty() && !(isLoopbackHost(host) && !bypassKeepsLoopbackOnProxy(system.staticBypass))) {
        choice.direct = false;
        choice.proxy = system.staticProxy;
        choice.bypass = system.staticBypass;
    }
    return choice;
}

// The request target a proxy sees, which a Digest answer must name.
std::wstring absoluteTarget(INTERNET_SCHEME scheme, const std::wstring& host, INTERNET_PORT port,
                            const std::wstring& object)
{
    const bool secure = scheme == INTERNET_SCHEME_HTTPS;
    std::wstring target = secure ? L"https://" : L"http://";
    target += host;
    if (port != (secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT))
        target += L":" + std::to_wstring(port);
    return target + object;
}

DWORD strongestScheme(DWORD supported)
{
    for (DWORD scheme : {WINHTTP_AUTH_SCHEME_NEGOTIATE, WINHTTP_AUTH_SCHEME_NTLM, WINHTTP_AUTH_SCHEME_DIGEST,
                         WINHTTP_AUTH_SCHEME_BASIC}) {
        if (supported & scheme)
            return scheme;
    }
    return 0;
}

std::vector<std::string> proxyChallenges(HINTERNET request)
{
    std::vector<std::string> found;
    for (DWORD index = 0; index < 16;) {
        wchar_t buffer[1024];
        DWORD size = sizeof(buffer);
        DWORD before = index;
        if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_PROXY_AUTHENTICATE, WINHTTP_HEADER_NAME_BY_INDEX, buffer,
                                   &size, &index) ||
            index == before)
            break;
        found.push_back(wideToBytes(std::wstring(buffer, size / sizeof(wchar_t)), kCodePageUtf8));
    }
    return found;
}

// Our own Digest answer, for a library that takes Digest credentials but does not
// send them (Wine).
bool answerDigestItself(HINTERNET request, const ProxyCredentials& credentials, const std::wstring& target)
{
    static std::atomic<unsigned> clientNonces{0};
    for (const std::string& header : proxyChallenges(request)) {
        const digest::Challenge challenge = digest::parseChallenge(header);
        if (!challenge.valid)
            continue;
        const std::string cnonce =
            digest::md5Hex(std::to_string(::GetTickCount64()) + ":" + std::to_string(::GetCurrentThreadId()) + ":" +
                           std::to_string(++clientNonces))
                .substr(0, 16);
        const std::string value = digest::authorization(challenge, wideToBytes(credentials.user, kCodePageUtf8),
                                                        wideToBytes(credentials.password, kCodePageUtf8), "GET",
                                                        wideToBytes(target, kCodePageUtf8), cnonce, 1);
        const std::wstring line = L"Proxy-Authorization: " + bytesToWide(value, kCodePageUtf8);
        return ::WinHttpAddRequestHeaders(request, line.c_str(), static_cast<DWORD>(-1L),
                                          WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE) != FALSE;
    }
    return false;
}

// Round 0 hands the credentials to WinHTTP in the strongest scheme offered;
// round 1 answers Digest itself when WinHTTP did not.
bool answerProxyChallenge(HINTERNET request, const ProxyCredentials& credentials, int round, const std::wstring& target)
{
    DWORD supported = 0, first = 0, authTarget = 0;
    if (!::WinHttpQueryAuthSchemes(request, &supported, &first, &authTarget))
        return false;
    const DWORD scheme = strongestScheme(supported);
    const bool logonUser = scheme == WINHTTP_AUTH_SCHEME_NEGOTIATE || scheme == WINHTTP_AUTH_SCHEME_NTLM;
    if (scheme == 0 || (!credentials.hasUser && !logonUser))
        return false;
    if (round == 0) {
        // No user: Negotiate and NTLM take the logged-on user's credentials.
        LPCWSTR user = credentials.hasUser ? credentials.user.c_str() : nullptr;
        LPCWSTR password = credentials.hasUser ? credentials.password.c_str() : nullptr;
        return ::WinHttpSetCredentials(request, WINHTTP_AUTH_TARGET_PROXY, scheme, user, password, nullptr) != FALSE;
    }
    return scheme == WINHTTP_AUTH_SCHEME_DIGEST && answerDigestItself(request, credentials, target);
}

} // namespace

WinHttpSession WinHttpSession::openPreconfigured(const std::wstring& agent)
{
    WinHttpSession session;
    session.m_agent = agent;
    session.m_system = readSystemProxySettings();
    const SystemProxySettings& system = session.m_system;
    // Direct until a request's URL decides (useSystemProxyFor).
    if (system.automatic() || !system.staticProxy.empty())
        session.m_session = SharedSessions::instance().forChoice(ProxyChoice());
    if (!session.m_session) {
        session.m_system = SystemProxySettings();
        session.m_session = SharedSessions::instance().defaultProxy();
    }
    return session;
}

bool WinHttpSession::useSystemProxyFor(const std::wstring& url, const std::wstring& host, unsigned short port)
{
    if (!m_system.automatic() && m_system.staticProxy.empty())
        return true;
    // Wine takes a proxy only when a session handle opens (the proxy option of a
    // session or request is not implemented there): each choice has a handle.
    m_session = SharedSessions::instance().forChoice(systemChoice(m_system, url, host, port));
    return m_session != nullptr;
}

WinHttpSession WinHttpSession::openWithProxy(const std::wstring& agent, const std::wstring& proxy)
{
    WinHttpSession session;
    session.m_agent = agent;
    ProxyChoice choice;
    choice.direct = false;
    choice.proxy = proxy;
    session.m_session = SharedSessions::instance().forChoice(choice);
    return session;
}

WinHttpRequest WinHttpRequest::open(WinHttpSession& session, const std::wstring& url, const std::wstring& headers)
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

    if (!session.useSystemProxyFor(url, host, parts.nPort))
        return result;
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

    // The session is shared: the agent goes with the request.
    const std::wstring agentLine = L"User-Agent: " + session.agent();
    if (!session.agent().empty() &&
        !::WinHttpAddRequestHeaders(request.get(), agentLine.c_str(), static_cast<DWORD>(-1L),
                                    WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE))
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

    // The system checks the certificate of an HTTPS server; nothing here ever
    // lowers that check, so a refused certificate fails the request.
    if (!sendAndReceive(request.get(), headers)) {
        result.m_failure = ::GetLastError();
        return result;
    }
    // Wine answers a Basic 407 itself from the options above; other schemes, and
    // Windows, hand it back.
    const std::wstring target = absoluteTarget(parts.nScheme, host, parts.nPort, object);
    for (int round = 0; round < 2 && statusOf(request.get()) == kProxyAuthRequired; ++round) {
        if (!answerProxyChallenge(request.get(), credentials, round, target) || !sendAndReceive(request.get(), headers))
            break;
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

std::wstring certificateFailureText(unsigned long error)
{
    switch (error) {
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
        return L"it names another host";
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
        return L"it has expired or is not valid yet";
    case ERROR_WINHTTP_SECURE_INVALID_CA:
        return L"its issuer is not trusted";
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
        return L"it was revoked";
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
        return L"its revocation could not be checked";
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
        return L"it is not for servers";
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
        return L"it is not valid";
    case ERROR_WINHTTP_SECURE_FAILURE:
        return L"the secure connection failed its checks";
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
        return L"no secure connection could be made";
    default:
        return std::wstring();
    }
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
    // Wine's WinHttpReadData, when the socket times out after part of the asked
    // count arrived, reports success with that part and leaves the request's
    // buffer state broken: the next read hands out bytes from past its buffer
    // and then faults. So only what is already buffered is ever read, and waiting
    // is left to WinHttpQueryDataAvailable. That reports a time-out (and a closed
    // connection) as 0 bytes available; once that happened before the announced
    // length, the socket is not waited on again: the request reads as ended.
    // What arrives is kept in a buffer of ours, so that small reads of the caller
    // do not each cost two calls into WinHTTP.
    while (read < capacity) {
        if (m_bufferAt < m_buffered) {
            const std::size_t take = std::min(m_buffered - m_bufferAt, capacity - read);
            std::memcpy(static_cast<char*>(data) + read, m_buffer.get() + m_bufferAt, take);
            m_bufferAt += take;
            read += take;
            continue;
        }
        if (m_ended)
            return !m_failed;
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
        if (!m_buffer)
            m_buffer.reset(new char[kReadBuffer]);
        DWORD got = 0;
        if (!::WinHttpReadData(m_request.get(), m_buffer.get(), std::min<DWORD>(available, kReadBuffer), &got)) {
            m_failed = true;
            return brokenRead();
        }
        if (got == 0)
            break;
        m_bufferAt = 0;
        m_buffered = got;
        m_bodyRead += got;
    }
    return true;
}

void WinHttpRequest::finishShortBody(std::size_t limit, unsigned long waitMs) const
{
    if (!m_request || m_ended || m_bodyLength < 0 || m_bodyLength > static_cast<long long>(limit))
        return;
    // A server that sends the headers of an error and stalls must not hold the
    // caller for a whole receive time-out: the wait is cut short here.
    DWORD timeout = waitMs;
    ::WinHttpSetOption(m_request.get(), WINHTTP_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof(timeout));
    char block[4096];
    std::size_t got = 0;
    while (read(block, sizeof(block), got) && got == sizeof(block)) {
    }
}

} // namespace rk
