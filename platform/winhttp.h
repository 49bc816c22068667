#pragma once
// Thin WinHTTP wrappers: session, request and header reads, owned by RAII.
// Synchronous only; a request belongs to one thread, the session handles behind
// them are shared. Everything returns bool or an empty owner and keeps
// GetLastError().

#include "platform/system_proxy.h"
#include "platform/unique_any.h"

#include <cstddef>
#include <memory>
#include <string>

namespace rk {

struct WinHttpTraits {
    using Type = void*; // HINTERNET
    static Type empty() noexcept { return nullptr; }
    static void close(Type h) noexcept;
};
using UniqueWinHttp = UniqueAny<WinHttpTraits>;

struct ProxyCredentials {
    std::wstring user;
    std::wstring password;
    bool hasUser = false;
    bool hasPassword = false;
};

// What a request is sent through: a WinHTTP session handle shared by every
// thread of the process (one per proxy choice, so their connections are kept
// alive and reused across requests and threads), the agent this request names
// itself by, the proxy credentials and the receive time-out. Cheap to make and
// copy; one per request or per transfer.
class WinHttpSession {
public:
    // The system's proxy configuration (platform/system_proxy.h): automatic
    // detection or a PAC script decide per URL, else the user's static proxy,
    // else WinHTTP's own default.
    static WinHttpSession openPreconfigured(const std::wstring& agent);
    // A named proxy in "host:port" form.
    static WinHttpSession openWithProxy(const std::wstring& agent, const std::wstring& proxy);

    explicit operator bool() const { return m_session != nullptr; }
    void* handle() const { return m_session; }
    // Sent as the User-Agent header of each request.
    const std::wstring& agent() const { return m_agent; }

    // Offered to a proxy that answers 407, in the strongest scheme it names
    // (Negotiate, NTLM, Digest, Basic); without them Negotiate and NTLM get the
    // logged-on user's.
    void setProxyCredentials(const ProxyCredentials& credentials) { m_credentials = credentials; }
    const ProxyCredentials& proxyCredentials() const { return m_credentials; }

    // How long a request of this session waits for the next byte of its answer
    // before the read fails; 0 keeps WinHTTP's own (30 s).
    void setReceiveTimeout(unsigned long milliseconds) { m_receiveTimeout = milliseconds; }
    unsigned long receiveTimeout() const { return m_receiveTimeout; }

    const SystemProxySettings& systemProxy() const { return m_system; }
    // Points the session at what the system settings choose for this URL before
    // a request opens on it; false when that needs a handle and none opened.
    bool useSystemProxyFor(const std::wstring& url, const std::wstring& host, unsigned short port);

private:
    void* m_session = nullptr; // shared, lives as long as the process
    std::wstring m_agent;
    ProxyCredentials m_credentials;
    unsigned long m_receiveTimeout = 0;
    SystemProxySettings m_system; // empty unless opened preconfigured
};

// A GET sent and its response headers received. The request closes before its
// connection (members are destroyed in reverse order).
class WinHttpRequest {
public:
    // headers: CR LF separated lines, may be empty. The path is sent as given
    // except for blanks and 8-bit characters, which WinHTTP always escapes; a
    // server that refuses the rest gets the fully encoded form on the retry.
    static WinHttpRequest open(WinHttpSession& session, const std::wstring& url, const std::wstring& headers);

    explicit operator bool() const { return m_request.valid(); }
    // Of a request that could not be opened: the system's error code, 0 when unknown.
    unsigned long failure() const { return m_failure; }

    // The raw header text, at most bufferBytes bytes; false when the header is absent.
    bool queryHeader(unsigned long infoLevel, wchar_t* buffer, unsigned long bufferBytes) const;
    // Fills data up to capacity; fewer bytes only where the body ended. A server
    // silent for the receive time-out ends the body there too (Wine reports it so),
    // and a body that ended is never waited on again. False when a read failed;
    // read then holds what arrived before, and every later read fails at once.
    bool read(void* data, std::size_t capacity, std::size_t& read) const;

    // Reads the rest of a short answer (an error page) to its end, so that its
    // connection goes back to the session's pool instead of being closed with
    // the request. Nothing when the answer announces more than limit bytes or
    // no length; waits at most waitMs for bytes still on their way.
    void finishShortBody(std::size_t limit, unsigned long waitMs) const;

private:
    bool brokenRead() const; // ends the request; always false

    UniqueWinHttp m_connection;
    UniqueWinHttp m_request;
    static constexpr unsigned long kReadBuffer = 64 * 1024;

    unsigned long m_failure = 0;
    long long m_bodyLength = -1;               // the Content-Length, -1 when absent
    mutable unsigned long long m_bodyRead = 0; // taken from WinHTTP, buffered or not
    mutable std::unique_ptr<char[]> m_buffer;  // kReadBuffer bytes once the first read needs them
    mutable std::size_t m_bufferAt = 0;
    mutable std::size_t m_buffered = 0;
    mutable bool m_ended = false;
    mutable bool m_failed = false;
};

// What a WinHTTP error says about the server's certificate; empty when the
// error is not about the certificate.
std::wstring certificateFailureText(unsigned long error);

namespace winhttp_query {
constexpr unsigned long kStatusCode = 19;   // WINHTTP_QUERY_STATUS_CODE
constexpr unsigned long kContentLength = 5; // WINHTTP_QUERY_CONTENT_LENGTH
constexpr unsigned long kServer = 37;       // WINHTTP_QUERY_SERVER
constexpr unsigned long kContentRange = 53; // WINHTTP_QUERY_CONTENT_RANGE
} // namespace winhttp_query

} // namespace rk
