#include "download/http_session.h"
#include "platform/message_box.h"
#include "tests/download/server_env.h"
#include "tests/unit/test_folder.h"

#include <gtest/gtest.h>

using namespace rk;
using namespace rk::test;

namespace {

class RecordingPrompter final : public Prompter {
public:
    MessageAnswer ask(void*, const std::wstring& text, const std::wstring& caption, MessageKind kind) override
    {
        texts.push_back(text);
        captions.push_back(caption);
        kinds.push_back(kind);
        return MessageAnswer::Ok;
    }
    std::vector<std::wstring> texts;
    std::vector<std::wstring> captions;
    std::vector<MessageKind> kinds;
};

class PrompterScope {
public:
    explicit PrompterScope(Prompter& p) { setPrompter(&p); }
    ~PrompterScope() { setPrompter(nullptr); }
};

} // namespace

TEST(SizeQuery, StatusDecidesAndTheBodyIsNotRead)
{
    TestFolder dir(L"size-query");
    ASSERT_GT(serverPort(L"nginx"), 0) << "servers not started";
    EXPECT_EQ(queryFileSize(nginxUrl(L"ten.bin")), 10000000);
    EXPECT_EQ(queryFileSize(nginxUrl(L"missing.bin")), -1);
    EXPECT_EQ(queryFileSize(faultUrl(L"status=500", L"small.bin")), -1);
    EXPECT_EQ(queryFileSize(faultUrl(L"status=404", L"small.bin")), -1);
    EXPECT_EQ(queryFileSize(faultUrl(L"status=206", L"s1234.bin")), 1234);
    EXPECT_EQ(queryFileSize(faultUrl(L"nolength", L"small.bin")), 0);
    EXPECT_EQ(queryFileSize(L"http://127.0.0.1:1/closed.bin"), -1);
    EXPECT_EQ(queryFileSize(L"not a url"), -1);
}

TEST(SizeQuery, AgentsCountUpAndNoRangeIsSent)
{
    TestFolder dir(L"size-agents");
    const std::wstring token = uniqueToken();
    const std::wstring url = faultUrl(token, L"small.bin");
    EXPECT_EQ(queryFileSize(url), 100000);
    EXPECT_EQ(queryFileSize(url), 100000);
    auto requests = loggedRequests(narrow(token));
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].agent, "querysize1");
    EXPECT_EQ(requests[1].agent, "querysize2");
    for (const auto& r : requests) {
        EXPECT_EQ(r.range, "");
        EXPECT_EQ(r.pragma, "no-cache");
        EXPECT_EQ(r.cacheControl, "no-cache");
    }
}

TEST(SegmentRequest, RangeHeaderOnlyWhenResuming)
{
    TestFolder dir(L"segment-request");
    const std::wstring token = uniqueToken();
    const std::wstring url = faultUrl(token, L"small.bin");
    HttpSession first = HttpSession::openSession(nextSegmentAgent());
    ASSERT_TRUE(first);
    HttpRequest fromStart = first.openRequest(url, 0);
    ASSERT_TRUE(fromStart);
    EXPECT_EQ(fromStart.queryStatus(), 200);
    EXPECT_EQ(fromStart.contentLength(), 100000);

    HttpSession second = HttpSession::openSession(nextSegmentAgent());
    HttpRequest resumed = second.openRequest(url, 5000);
    ASSERT_TRUE(resumed);
    EXPECT_EQ(resumed.queryStatus(), 206);
    EXPECT_EQ(resumed.contentLength(), 95000);
    char block[1024];
    std::size_t got = 0;
    ASSERT_TRUE(resumed.read(block, sizeof block, got));
    ASSERT_EQ(got, sizeof block);
    EXPECT_EQ(std::string(block, got), sourceBytes(L"small.bin").substr(5000, 1024));

    auto requests = loggedRequests(narrow(token));
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].agent, "down1");
    EXPECT_EQ(requests[0].range, "");
    EXPECT_EQ(requests[1].agent, "down2");
    EXPECT_EQ(requests[1].range, "bytes=5000-");
}

TEST(ServerMark, SetOnlyByTheExactServerHeader)
{
    TestFolder dir(L"server-mark");
    EXPECT_EQ(serverMark(), -1);
    EXPECT_EQ(queryFileSize(faultUrl(L"server=Renewkit2.xx", L"small.bin")), 100000);
    EXPECT_EQ(queryFileSize(faultUrl(L"server=renewkit2.xx%20beta", L"small.bin")), 100000);
    EXPECT_EQ(queryFileSize(faultUrl(L"server=renewkit2.xxx", L"small.bin")), 100000);
    EXPECT_EQ(serverMark(), -1);
    // An error answer is not read for the mark.
    EXPECT_EQ(queryFileSize(faultUrl(L"server=renewkit2.xx,status=500", L"small.bin")), -1);
    EXPECT_EQ(serverMark(), -1);
    EXPECT_EQ(queryFileSize(faultUrl(L"server=renewkit2.xx", L"small.bin")), 100000);
    EXPECT_EQ(serverMark(), 1);
    EXPECT_EQ(queryFileSize(faultUrl(L"server=other", L"small.bin")), 100000);
    EXPECT_EQ(serverMark(), 1);
}

TEST(FetchToSink, WholeBodyWithTheAcceptHeaderAndNoProxy)
{
    TestFolder dir(L"fetch-sink");
    // The whole-body fetch ignores the Proxy keys, even a malformed one.
    dir.write(L"renewkit.ini", "[RenewKit]\r\nProxy=10.0.0.1\r\n");
    RecordingPrompter prompts;
    PrompterScope scope(prompts);
    const std::wstring token = uniqueToken();
    std::string body;
    ASSERT_TRUE(fetchToSink(faultUrl(token, L"mid.bin"), body));
    EXPECT_TRUE(body == sourceBytes(L"mid.bin"));
    std::string exact;
    ASSERT_TRUE(fetchToSink(nginxUrl(L"exact.bin"), exact)); // a multiple of the block size
    EXPECT_TRUE(exact == sourceBytes(L"exact.bin"));
    std::string empty;
    EXPECT_TRUE(fetchToSink(nginxUrl(L"empty.bin"), empty));
    EXPECT_TRUE(empty.empty());
    EXPECT_TRUE(prompts.texts.empty());

    auto requests = loggedRequests(narrow(token));
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].agent, "MyDownload");
    EXPECT_EQ(requests[0].pragma, "");
    EXPECT_EQ(requests[0].range, "");
}

TEST(FetchToSink, ErrorPagesAndDeadServersFail)
{
    TestFolder dir(L"fetch-errors");
    std::string body;
    EXPECT_FALSE(fetchToSink(faultUrl(L"status=404", L"small.bin"), body));
    EXPECT_FALSE(fetchToSink(faultUrl(L"status=500", L"small.bin"), body));
    EXPECT_FALSE(fetchToSink(L"http://127.0.0.1:1/x.xml", body));
    EXPECT_TRUE(body.empty());
}

// A connection closed before the Content-Length was reached is no document,
// and neither is one larger than the caller's bound.
TEST(FetchToSink, ABodyCutShortOrPastItsBoundFails)
{
    TestFolder dir(L"fetch-cut");
    for (const wchar_t* cut : {L"cut=100", L"cut=1024", L"cut=5000"}) {
        std::string body;
        EXPECT_FALSE(fetchToSink(faultUrl(cut, L"small.bin"), body)) << narrow(cut);
    }
    std::string bounded;
    EXPECT_FALSE(fetchToSink(nginxUrl(L"small.bin"), bounded, 99999));
    std::string exact;
    EXPECT_TRUE(fetchToSink(nginxUrl(L"small.bin"), exact, 100000));
    EXPECT_TRUE(exact == sourceBytes(L"small.bin"));
}

TEST(ProxySetting, MalformedProxyShowsTheBoxEveryTimeAndOpensNothing)
{
    TestFolder dir(L"proxy-malformed");
    dir.write(L"renewkit.ini", "[RenewKit]\r\nProxy=10.0.0.1\r\n");
    RecordingPrompter prompts;
    PrompterScope scope(prompts);
    EXPECT_FALSE(HttpSession::openSession(L"down1"));
    EXPECT_EQ(queryFileSize(nginxUrl(L"small.bin")), -1);
    ASSERT_EQ(prompts.texts.size(), 2u);
    EXPECT_EQ(prompts.texts[0], L"The proxy set error!");
    EXPECT_EQ(prompts.captions[0], L"RenewKit");
    EXPECT_EQ(prompts.kinds[0], MessageKind::Ok);
}
