#include "download/http_session.h"

#include "core/config.h"
#include "core/language.h"
#include "core/run_log.h"
#include "download/http_rules.h"
#include "platform/message_box.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>

namespace rk {
namespace {

// Two threads racing may draw the same number; a repeated agent name is harmless.
std::atomic<int> g_segmentAgents{0};
std::atomic<int> g_sizeQueryAgents{0};
std::atomic<int> g_serverMark{-1};
std::atomic<unsigned long> g_receiveTimeout{kDefaultReceiveTimeout};

constexpr unsigned long kHeaderOffer = 1024; // bytes offered to each header read
constexpr std::size_t kBlock = 1024;
constexpr long long kLargestSize = 0x7FFFFFFF;
// An error page up to this size is read to its end rather than costing its
// connection (a release without zipped variants answers 404 for each file).
constexpr std::size_t kShortBody = 16 * 1024;
constexpr unsigned long kShortBodyWait = 2000; // ms

std::wstring headerText(const WinHttpRequest& request, unsigned long which)
{
    wchar_t buffer[1024] = {}; // 2048 bytes; half of it is offered per read
    if (!request.queryHeader(which, buffer, kHeaderOffer))
        return std::wstring();
    return buffer;
}

} // namespace

std::wstring nextSegmentAgent() { return L"down" + std::to_wstring(++g_segmentAgents); }
std::wstring nextSizeQueryAgent() { return L"querysize" + std::to_wstring(++g_sizeQueryAgents); }
int serverMark() { return g_serverMark.load(std::memory_order_relaxed); }
void setReceiveTimeout(unsigned long milliseconds) { g_receiveTimeout.store(milliseconds); }
unsigned long receiveTimeout() { return g_receiveTimeout.load(); }

void HttpRequest::finishUnused() const { m_request.finishShortBody(kShortBody, kShortBodyWait); }

std::wstring HttpRequest::contentRange() const { return headerText(m_request, winhttp_query::kContentRange); }

int HttpRequest::queryStatus() const
{
    return static_cast<int>(http::parseHeaderNumber(headerText(m_request, winhttp_query::kStatusCode)));
}

long long HttpRequest::contentLength() const
{
    wchar_t buffer[1024] = {};
    if (!m_request.queryHeader(winhttp_query::kContentLength, buffer, kHeaderOffer))
        return -1;
    return http::parseHeaderNumber(buffer);
}

void HttpRequest::checkServerMark() const
{
    if (g_serverMark.load(std::memory_order_relaxed) == 1)
        return;
    if (http::isServerMark(headerText(m_request, winhttp_query::kServer)))
        g_serverMark.store(1, std::memory_order_relaxed);
}

HttpSession HttpSession::openSession(const std::wstring& agent)
{
    HttpSession session;
    const http::ProxySetting proxy = http::parseProxy(config::read(L"RenewKit", L"Proxy"));
    if (!proxy.configured) {
        session.m_session = WinHttpSession::openPreconfigured(agent);
        session.m_session.setReceiveTimeout(receiveTimeout());
        return session;
    }
    if (!proxy.valid) {
        showMessage(nullptr, tr(L"The proxy set error!"), L"RenewKit", MessageKind::Ok);
        return session;
    }
    session.m_session = WinHttpSession::openWithProxy(agent, http::winHttpProxyName(http::proxyString(proxy)));
    session.m_session.setReceiveTimeout(receiveTimeout());
    if (session.m_session)
        session.m_session.setProxyCredentials(http::parseProxyUser(config::read(L"RenewKit", L"ProxyUser")));
    return session;
}

HttpSession HttpSession::openPreconfigured(const std::wstring& agent)
{
    HttpSession session;
    session.m_session = WinHttpSession::openPreconfigured(agent);
    session.m_session.setReceiveTimeout(receiveTimeout());
    return session;
}

HttpRequest HttpSession::openRequest(const std::wstring& url, long position)
{
    return openRequestWithHeaders(url, http::transferHeaders(position));
}

namespace {

std::mutex g_certificateLogMutex;           // guards g_certificateLogged
std::set<std::wstring> g_certificateLogged; // server and reason, each logged once

// The server part of an address: scheme, host and port, with the "/" after them.
std::wstring serverOf(const std::wstring& url)
{
    const size_t scheme = url.find(L"://");
    const size_t path = url.find(L'/', scheme == std::wstring::npos ? 0 : scheme + 3);
    return path == std::wstring::npos ? url + L"/" : url.substr(0, path + 1);
}

} // namespace

HttpRequest HttpSession::openRequestWithHeaders(const std::wstring& url, const std::wstring& headers)
{
    WinHttpRequest request = WinHttpRequest::open(m_session, url, headers);
    if (!request) {
        const std::wstring reason = certificateFailureText(request.failure());
        if (!reason.empty()) {
            const std::wstring line = L"The certificate of " + serverOf(url) + L" was refused: " + reason +
                                      L" (error " + std::to_wstring(request.failure()) +
                                      L"); nothing is fetched from it.";
            std::lock_guard<std::mutex> guard(g_certificateLogMutex);
            if (g_certificateLogged.insert(line).second)
                logLine(line);
        }
    }
    return HttpRequest(std::move(request));
}

SizeAnswer openSizeQuery(const std::wstring& url)
{
    SizeAnswer answer;
    answer.session = HttpSession::openSession(nextSizeQueryAgent());
    if (!answer.session)
        return answer;
    answer.request = answer.session.openRequest(url, 0);
    if (!answer.request)
        return answer;
    const long long length = answer.request.contentLength();
    const int status = answer.request.queryStatus();
    if ((status != 200 && status != 206) || length > kLargestSize) {
        answer.request.finishUnused();
        answer.request = HttpRequest();
        return answer;
    }
    answer.request.checkServerMark();
    answer.size = length < 0 ? 0 : static_cast<long>(length);
    if (answer.size == 0 || (status == 206 && !http::partialAnswerFits(answer.request.contentRange(), 0, answer.size)))
        answer.request = HttpRequest();
    return answer;
}

long queryFileSize(const std::wstring& url) { return openSizeQuery(url).size; }

bool fetchToSink(const std::wstring& url, std::string& sink, std::size_t maxBytes)
{
    HttpSession session = HttpSession::openPreconfigured(kFetchAgent);
    if (!session)
        return false;
    HttpRequest request = session.openRequestWithHeaders(url, http::kAcceptAllHeaders);
    if (!request)
        return false;
    int status = request.queryStatus();
    if (status < 200 || status > 299) {
        request.finishUnused();
        return false;
    }
    const long long length = request.contentLength();
    const std::size_t start = sink.size();
    char block[kBlock];
    for (;;) {
        std::size_t got = 0;
        if (!request.read(block, kBlock, got))
            return false;
        if (got > maxBytes - std::min(maxBytes, sink.size()))
            return false;
        sink.append(block, got);
        if (got < kBlock)
            break;
    }
    // A connection closed early ends the body like a complete one does.
    return length < 0 || sink.size() - start == static_cast<unsigned long long>(length);
}

} // namespace rk
