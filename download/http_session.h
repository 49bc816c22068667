#pragma once
// HttpSession: the only place the updater talks HTTP. Every call blocks its
// thread until the server answered; any thread may call. A session object and
// its requests belong to the thread that made them, but the WinHTTP handle
// behind every session of one proxy choice is shared by the whole process, so
// connections stay alive and later requests of any thread reuse them.
//
// WinHTTP stands in for WinINet, step by step:
//   InternetOpenW with an agent                  -> one WinHttpOpen handle per proxy choice for the process;
//                                                   the agent goes as the User-Agent header of each request
//   InternetOpenW, INTERNET_OPEN_TYPE_PRECONFIG  -> the handle with the user's static proxy when one is
//                                                   set, otherwise WINHTTP_ACCESS_TYPE_DEFAULT_PROXY
//   InternetOpenW, INTERNET_OPEN_TYPE_PROXY with "HTTP=HTTP://host:port"
//                                                -> the handle of WINHTTP_ACCESS_TYPE_NAMED_PROXY "host:port"
//   INTERNET_OPTION_PROXY_USERNAME / _PASSWORD on the session
//                                                -> WINHTTP_OPTION_PROXY_USERNAME / _PASSWORD on each request,
//                                                   and WinHttpSetCredentials once if the proxy still says 407
//   InternetOpenUrlW                             -> WinHttpCrackUrl, WinHttpConnect, WinHttpOpenRequest (GET,
//                                                   path sent unescaped), WinHttpSendRequest, WinHttpReceiveResponse
//   INTERNET_FLAG_RELOAD, INTERNET_FLAG_PRAGMA_NOCACHE
//                                                -> request headers "Pragma: no-cache" and "Cache-Control: no-cache"
//   INTERNET_FLAG_NO_CACHE_WRITE                 -> nothing: WinHTTP keeps no cache
//   HttpQueryInfoW, HTTP_QUERY_STATUS_CODE / CONTENT_LENGTH / SERVER
//                                                -> WinHttpQueryHeaders, WINHTTP_QUERY_* of the same numbers
//   InternetReadFile                             -> WinHttpReadData, repeated until the block is full or the
//                                                   body has ended
//   InternetCloseHandle                          -> WinHttpCloseHandle, through UniqueWinHttp; a connection
//                                                   whose answer was read to its end goes back to the pool

#include "platform/winhttp.h"

#include <cstddef>
#include <string>

namespace rk {

// The next agent names, "down%d" and "querysize%d"; each counter starts at 1.
std::wstring nextSegmentAgent();
std::wstring nextSizeQueryAgent();
inline const wchar_t kFetchAgent[] = L"MyDownload";

// -1 until a response's Server header was exactly "renewkit2.xx", then 1.
int serverMark();

// How long a request waits for the next byte of its answer (headers or body)
// before the body counts as ended there. The default is WinHTTP's own, 30 s, set
// explicitly so it holds everywhere; a stalled range then resumes or fails
// (segment_transfer.h).
// Tests shorten it. Any thread; read when a session opens.
constexpr unsigned long kDefaultReceiveTimeout = 30000;
void setReceiveTimeout(unsigned long milliseconds);
unsigned long receiveTimeout();

class HttpRequest {
public:
    HttpRequest() = default;
    explicit HttpRequest(WinHttpRequest request) : m_request(std::move(request)) {}
    explicit operator bool() const { return static_cast<bool>(m_request); }

    int queryStatus() const; // 0 when unreadable or not a number
    // The Content-Length as a number; -1 when the response has none.
    long long contentLength() const;
    // Reads the Server header while the server mark is not yet set.
    void checkServerMark() const;
    // The Content-Range header; empty when absent.
    std::wstring contentRange() const;
    // An answer that is not used is read to its end when it is short (an error
    // page), so that its connection serves the next request.
    void finishUnused() const;
    // Up to capacity bytes; fewer only at the end of the body. False on a failed
    // read, after which the request only reads false.
    bool read(void* data, std::size_t capacity, std::size_t& read) const
    {
        return m_request.read(data, capacity, read);
    }

private:
    WinHttpRequest m_request;
};

class HttpSession {
public:
    // Direct or through [RenewKit] Proxy / ProxyUser. A Proxy without a port shows
    // "The proxy set error!" and gives an empty session, every time.
    static HttpSession openSession(const std::wstring& agent);
    // The system's proxy configuration; the Proxy keys are not read.
    static HttpSession openPreconfigured(const std::wstring& agent);

    explicit operator bool() const { return static_cast<bool>(m_session); }

    // A GET with the cache-defeating headers and, above position 0, "Range:bytes=N-".
    HttpRequest openRequest(const std::wstring& url, long position);
    // A GET with exactly these header lines.
    HttpRequest openRequestWithHeaders(const std::wstring& url, const std::wstring& headers);

private:
    WinHttpSession m_session;
};

// The size query: a GET under the next "querysize%d" agent. size is the remote
// size in bytes; -1 when no session or request could be opened, on a status
// other than 200 and 206, and for sizes beyond 32 bits; 0 when the answer has
// no Content-Length. The answer stays open when its body is the file from its
// first byte (a 200, or a 206 whose range starts at 0 and names the size as
// its total), so that the caller can read it as its first range; otherwise
// request is empty.
struct SizeAnswer {
    long size = -1;
    HttpSession session;
    HttpRequest request;
};
SizeAnswer openSizeQuery(const std::wstring& url);

// The size alone; the answer is closed unread.
long queryFileSize(const std::wstring& url);

// The whole body into sink, read in 1024-byte blocks, without the Proxy keys.
// False when the request fails, a read fails, or the server answers with a
// status outside 200-299 (an error page is not the document asked for), when
// the body grows past maxBytes, and when it ends before its Content-Length.
bool fetchToSink(const std::wstring& url, std::string& sink, std::size_t maxBytes = static_cast<std::size_t>(-1));

} // namespace rk
