#include "core/process_state.h"
#include "core/settings.h"
#include "download/counter_table.h"
#include "download/progress_messages.h"
#include "download/segment_plan.h"
#include "download/segmented_downloader.h"
#include "platform/files.h"
#include "tests/download/message_recorder.h"
#include "tests/download/server_env.h"
#include "tests/unit/test_folder.h"

#include <gtest/gtest.h>
#include <set>
#include <windows.h>

using namespace rk;
using namespace rk::test;

namespace {

// Everything in the folder besides renewkit.ini.
std::vector<std::wstring> leftovers(const TestFolder& dir)
{
    std::vector<std::wstring> names;
    for (const DirectoryEntry& e : listDirectory(dir.path())) {
        if (e.name != L"renewkit.ini")
            names.push_back(e.name);
    }
    return names;
}

std::uint32_t counter(std::uint32_t category, std::int32_t id)
{
    return counters::get(counters::key(category, static_cast<std::uint32_t>(id)));
}

int countAgents(const std::vector<LoggedRequest>& requests, const std::string& prefix)
{
    int n = 0;
    for (const auto& r : requests)
        n += r.agent.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
}

bool runDownload(SegmentedDownloader& d, const std::wstring& url, const std::wstring& dest, long threads = 8,
                 int slot = -1, void* window = nullptr)
{
    d.setThreadsPerFile(threads);
    return d.download(url, dest, slot, window);
}

} // namespace

TEST(SegmentedDownload, NginxFileInElevenRangesWithProgress)
{
    TestFolder dir(L"dl-ten");
    MessageRecorder recorder;
    SegmentedDownloader d;
    EXPECT_GE(d.id(), 1);
    ASSERT_TRUE(runDownload(d, nginxUrl(L"ten.bin"), dir.file(L"ten.bin"), 8, 3, recorder.window()));
    EXPECT_TRUE(dir.read(L"ten.bin") == sourceBytes(L"ten.bin"));
    EXPECT_EQ(leftovers(dir), std::vector<std::wstring>{L"ten.bin"});
    EXPECT_EQ(d.fileSize(), 10000000);
    EXPECT_EQ(d.segmentCount(), 11);
    EXPECT_EQ(counter(counters::kRunning, d.id()), 0u);
    EXPECT_EQ(counter(counters::kFailed, d.id()), 0u);
    EXPECT_EQ(counter(counters::kFileBytes, d.id()), 10000000u);
    EXPECT_EQ(counter(counters::kSegmentBytes + 10, d.id()), 630400u);

    auto sizes = recorder.messages(WM_DL_FILESIZE);
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(sizes[0].wParam, 3u);
    EXPECT_EQ(sizes[0].lParam, 10000000);
    auto segSizes = recorder.messages(WM_DL_SEGSIZE);
    ASSERT_EQ(segSizes.size(), 1u);
    EXPECT_EQ(segSizes[0].lParam, 936960);
    auto received = recorder.messages(WM_DL_RECEIVED);
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received.back().lParam, 10000000);
    std::intptr_t most = 0;
    for (const auto& m : received) {
        EXPECT_LE(m.lParam, 10000000);
        most = std::max(most, m.lParam);
    }
    EXPECT_EQ(most, 10000000);
    auto threads = recorder.messages(WM_DL_THREADS);
    ASSERT_FALSE(threads.empty());
    for (const auto& m : threads)
        EXPECT_LE(m.lParam, 9); // threadsPerFile + 1 at most
    EXPECT_EQ(threads.back().lParam, 0);
    for (const auto& m : recorder.messages(WM_DL_SEGMENT)) {
        EXPECT_EQ(m.wParam & 0xFFFF, 3u);
        EXPECT_LT(m.wParam >> 16, 11u);
        EXPECT_LE(m.lParam, 936960);
    }
}

TEST(SegmentedDownload, SmallFilesAndSegmentMessageWord)
{
    TestFolder dir(L"dl-small");
    for (const wchar_t* name : {L"one.bin", L"exact.bin", L"small.bin"}) {
        SegmentedDownloader d;
        ASSERT_TRUE(runDownload(d, nginxUrl(name), dir.file(name))) << narrow(name);
        EXPECT_TRUE(dir.read(name) == sourceBytes(name)) << narrow(name);
        EXPECT_EQ(d.segmentCount(), std::wstring(name) == L"small.bin" ? 2 : 1) << narrow(name);
    }
    MessageRecorder recorder;
    SegmentedDownloader d;
    ASSERT_TRUE(runDownload(d, nginxUrl(L"mid.bin"), dir.file(L"mid.bin"), 8, 5, recorder.window()));
    EXPECT_TRUE(dir.read(L"mid.bin") == sourceBytes(L"mid.bin"));
    EXPECT_EQ(d.segmentCount(), 6);
    std::intptr_t segmentTwo = -1;
    for (const auto& m : recorder.messages(WM_DL_SEGMENT)) {
        if (m.wParam == 0x00020005u)
            segmentTwo = std::max(segmentTwo, m.lParam);
    }
    EXPECT_EQ(segmentTwo, 51200);
    EXPECT_EQ(leftovers(dir).size(), 4u);
}

TEST(SegmentedDownload, ManyThreadsAreAllWaitedForAndJoined)
{
    TestFolder dir(L"dl-many");
    SegmentedDownloader d;
    ASSERT_TRUE(runDownload(d, nginxUrl(L"ten.bin"), dir.file(L"ten.bin"), 100));
    EXPECT_EQ(d.segmentCount(), 134);
    EXPECT_TRUE(dir.read(L"ten.bin") == sourceBytes(L"ten.bin"));
    EXPECT_EQ(leftovers(dir), std::vector<std::wstring>{L"ten.bin"});
    EXPECT_EQ(counter(counters::kRunning, d.id()), 0u);
}

TEST(SizeQueryRounds, NotFoundFailsAfterConnectTryCountRoundsWithoutPartFiles)
{
    TestFolder dir(L"dl-404");
    setConnectionAttempts(4);
    dir.write(L"dest.bin", "old contents");
    const std::wstring token = uniqueToken();
    SegmentedDownloader d;
    EXPECT_FALSE(runDownload(d, faultUrl(token + L",status=404", L"small.bin"), dir.file(L"dest.bin")));
    EXPECT_EQ(d.fileSize(), -1);
    EXPECT_TRUE(leftovers(dir).empty());
    auto requests = loggedRequests(narrow(token));
    EXPECT_EQ(requests.size(), 4u);
    EXPECT_EQ(countAgents(requests, "querysize"), 4);
    EXPECT_EQ(countAgents(requests, "down"), 0);
}

TEST(SizeQueryRounds, OneConnectionAttemptStillDownloads)
{
    TestFolder dir(L"dl-one-attempt");
    setConnectionAttempts(1);
    SegmentedDownloader d;
    ASSERT_TRUE(runDownload(d, nginxUrl(L"mid.bin"), dir.file(L"mid.bin")));
    EXPECT_TRUE(dir.read(L"mid.bin") == sourceBytes(L"mid.bin"));
    EXPECT_EQ(leftovers(dir), std::vector<std::wstring>{L"mid.bin"});
}

TEST(SizeQueryRounds, EmptyFileCannotBeSegmented)
{
    TestFolder dir(L"dl-empty-seg");
    SegmentedDownloader d;
    EXPECT_FALSE(runDownload(d, nginxUrl(L"empty.bin"), dir.file(L"empty.bin")));
    EXPECT_EQ(d.fileSize(), 0);
    EXPECT_TRUE(leftovers(dir).empty());
}

TEST(SizeQueryRounds, RefusedUrlIsRetriedEncodedAndUsedForTheRestOfTheFile)
{
    TestFolder dir(L"dl-blank");
    const std::wstring token = uniqueToken();
    SegmentedDownloader d;
    // WinHTTP escapes the blank itself but sends the braces raw, which the server
    // refuses. The encoded query's answer is cut on a block boundary, so the file
    // goes on from a range request, which must use the encoded form too.
    ASSERT_TRUE(runDownload(d, faultUrl(token + L",cutfirst=8192", L"a {b}.bin"), dir.file(L"ab.bin")));
    EXPECT_TRUE(dir.read(L"ab.bin") == sourceBytes(L"a {b}.bin"));
    EXPECT_NE(d.url().find(L"/a%20%7Bb%7D.bin"), std::wstring::npos);
    auto requests = loggedRequests(narrow(token));
    ASSERT_EQ(requests.size(), 3u); // refused query, encoded query read as the file, the resume
    EXPECT_EQ(requests[0].status, 400);
    EXPECT_EQ(requests[0].agent, "querysize1");
    EXPECT_NE(requests[0].line.find("{b}"), std::string::npos);
    EXPECT_EQ(requests[1].agent, "querysize2");
    for (size_t i = 1; i < requests.size(); ++i) {
        EXPECT_NE(requests[i].line.find("a%20%7Bb%7D.bin"), std::string::npos) << requests[i].line;
        EXPECT_NE(requests[i].status, 400);
    }
    EXPECT_EQ(requests[2].range, "bytes=8192-");
    EXPECT_EQ(countAgents(requests, "down"), 1);
}

TEST(SizeQueryRounds, BlankInUrlReachesTheServerEscaped)
{
    TestFolder dir(L"dl-blank-plain");
    const std::wstring token = uniqueToken();
    SegmentedDownloader d;
    ASSERT_TRUE(runDownload(d, faultUrl(token, L"a b.bin"), dir.file(L"ab.bin")));
    EXPECT_TRUE(dir.read(L"ab.bin") == sourceBytes(L"a b.bin"));
    auto requests = loggedRequests(narrow(token));
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(countAgents(requests, "querysize"), 1);
    for (const auto& r : requests)
        EXPECT_NE(r.line.find("a%20b.bin"), std::string::npos) << r.line;
}

TEST(RangeHandling, IgnoredRangeIsSkippedToTheRangeStart)
{
    TestFolder dir(L"dl-norange");
    const std::wstring token = uniqueToken();
    SegmentedDownloader d;
    // Large enough for more transfers than the size query's.
    ASSERT_TRUE(runDownload(d, faultUrl(token + L",norange", L"ten.bin"), dir.file(L"ten.bin")));
    EXPECT_TRUE(dir.read(L"ten.bin") == sourceBytes(L"ten.bin"));
    int ranged = 0;
    for (const auto& r : loggedRequests(narrow(token))) {
        EXPECT_EQ(r.status, 200);
        if (!r.range.empty())
            ++ranged;
    }
    EXPECT_GE(ranged, 1);
    EXPECT_LE(ranged, 7); // eight transfers at most, the first being the size query's
    EXPECT_EQ(leftovers(dir).size(), 1u);
}

TEST(RangeHandling, ConnectionDroppedOnABlockBoundaryResumesWithRange)
{
    TestFolder dir(L"dl-resume");
    const std::wstring token = uniqueToken();
    SegmentedDownloader d;
    // Request 1 is the size query, whose answer is the whole file; it is cut.
    ASSERT_TRUE(runDownload(d, faultUrl(token + L",cutnth=1:8192", L"mid.bin"), dir.file(L"mid.bin")));
    EXPECT_TRUE(dir.read(L"mid.bin") == sourceBytes(L"mid.bin"));
    auto requests = loggedRequests(narrow(token));
    ASSERT_EQ(requests.size(), 2u); // size query, one resume
    EXPECT_EQ(requests[0].agent.rfind("querysize", 0), 0u);
    EXPECT_EQ(requests[1].agent.rfind("down", 0), 0u);
    EXPECT_EQ(requests[1].range, "bytes=8192-");
    EXPECT_EQ(leftovers(dir).size(), 1u);
}

TEST(SegmentFailure, StreamCutInsideARangeFailsTheFileAndLeavesNothing)
{
    TestFolder dir(L"dl-cut");
    dir.write(L"ten.bin", "stale");
    MessageRecorder recorder;
    SegmentedDownloader d;
    // Past the first progress step, and not on a block boundary.
    EXPECT_FALSE(runDownload(d, faultUrl(uniqueToken() + L",cut=70000", L"ten.bin"), dir.file(L"ten.bin"), 8, 1,
                             recorder.window()));
    EXPECT_TRUE(leftovers(dir).empty());
    EXPECT_EQ(counter(counters::kFailed, d.id()), counters::kFailMark);
    // Bytes were reported, and every byte of a failed range was taken back.
    std::intptr_t most = 0;
    for (const auto& m : recorder.messages(WM_DL_RECEIVED))
        most = std::max(most, m.lParam);
    EXPECT_GT(most, 0);
    EXPECT_EQ(counter(counters::kFileBytes, d.id()), 0u);
    for (long i = 0; i < 11; ++i)
        EXPECT_EQ(counter(counters::kSegmentBytes + i, d.id()), 0u) << i;
}

TEST(SegmentFailure, ErrorPagesOnSegmentsAreNeverJoined)
{
    TestFolder dir(L"dl-errpage");
    // The size query succeeds; every later request gets a 500 page longer than a range.
    SegmentedDownloader d;
    EXPECT_FALSE(
        runDownload(d, faultUrl(uniqueToken() + L",failfrom=2:500,page=4000000", L"ten.bin"), dir.file(L"ten.bin")));
    EXPECT_TRUE(leftovers(dir).empty());
}

TEST(SegmentFailure, FailedRangeStopsTheOthersAndNoMoreStart)
{
    TestFolder dir(L"dl-stop");
    const std::wstring token = uniqueToken();
    // The first split of ten.bin: its middle on a 64 KiB boundary, as nothing has
    // arrived yet (every answer pauses after its headers, then drips slowly).
    const long firstSplit = 76 * 65536;
    MessageRecorder recorder;
    SegmentedDownloader d;
    // The range that starts at the first split is refused.
    EXPECT_FALSE(runDownload(
        d, faultUrl(token + L",stall=300,drip=16384:50,failrange=" + std::to_wstring(firstSplit) + L":503", L"ten.bin"),
        dir.file(L"ten.bin"), 8, 0, recorder.window()));
    EXPECT_TRUE(leftovers(dir).empty());
    auto requests = loggedRequests(narrow(token));
    int refused = 0;
    for (const auto& r : requests)
        refused += r.range == "bytes=" + std::to_string(firstSplit) + "-" ? 1 : 0;
    EXPECT_EQ(refused, 2); // two connection attempts with ConnectTryCount 3
    // The size query, seven more transfers at most, the one retry: none after the failure.
    EXPECT_LE(requests.size(), 9u);
    // The running ranges stopped long before their end.
    for (const auto& m : recorder.messages(WM_DL_SEGMENT))
        EXPECT_LT(m.lParam, 936960 / 2);
    EXPECT_EQ(counter(counters::kFileBytes, d.id()), 0u);
}

TEST(SlowServers, StallAndDripStillGiveTheSameBytes)
{
    TestFolder dir(L"dl-slow");
    SegmentedDownloader d;
    ASSERT_TRUE(runDownload(d, faultUrl(L"stall=300,drip=4096:2", L"mid.bin"), dir.file(L"mid.bin")));
    EXPECT_TRUE(dir.read(L"mid.bin") == sourceBytes(L"mid.bin"));
}

TEST(SingleConnection, WholeFileWithoutSizeQuery)
{
    TestFolder dir(L"dl-single");
    const std::wstring token = uniqueToken();
    MessageRecorder recorder;
    SegmentedDownloader d;
    ASSERT_TRUE(runDownload(d, faultUrl(token, L"mid.bin"), dir.file(L"mid.bin"), 1, 2, recorder.window()));
    EXPECT_TRUE(dir.read(L"mid.bin") == sourceBytes(L"mid.bin"));
    EXPECT_EQ(d.fileSize(), 300000);
    auto requests = loggedRequests(narrow(token));
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].agent.rfind("down", 0), 0u);
    auto sizes = recorder.messages(WM_DL_FILESIZE);
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(sizes[0].lParam, 300000);
    EXPECT_EQ(recorder.messages(WM_DL_SEGSIZE).at(0).lParam, 300000);
    EXPECT_EQ(recorder.messages(WM_DL_THREADS).at(0).lParam, 1);
    EXPECT_EQ(recorder.messages(WM_DL_RECEIVED).back().lParam, 300000);

    SegmentedDownloader big;
    ASSERT_TRUE(runDownload(big, nginxUrl(L"ten.bin"), dir.file(L"ten.bin"), 0));
    EXPECT_TRUE(dir.read(L"ten.bin") == sourceBytes(L"ten.bin"));
    EXPECT_EQ(leftovers(dir).size(), 2u);
}

TEST(SingleConnection, ResumesAfterADroppedConnection)
{
    TestFolder dir(L"dl-single-resume");
    const std::wstring token = uniqueToken();
    SegmentedDownloader d;
    ASSERT_TRUE(runDownload(d, faultUrl(token + L",cutfirst=8192", L"mid.bin"), dir.file(L"mid.bin"), 1));
    EXPECT_TRUE(dir.read(L"mid.bin") == sourceBytes(L"mid.bin"));
    auto requests = loggedRequests(narrow(token));
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].range, "bytes=8192-");
}

TEST(SingleConnection, EmptyBodyAndBodyWithoutLength)
{
    TestFolder dir(L"dl-single-empty");
    SegmentedDownloader empty;
    ASSERT_TRUE(runDownload(empty, nginxUrl(L"empty.bin"), dir.file(L"empty.bin"), 1));
    EXPECT_TRUE(fileExists(dir.file(L"empty.bin")));
    EXPECT_TRUE(dir.read(L"empty.bin").empty());

    SegmentedDownloader unsized;
    ASSERT_TRUE(runDownload(unsized, faultUrl(L"nolength", L"mid.bin"), dir.file(L"mid.bin"), 1));
    EXPECT_TRUE(dir.read(L"mid.bin") == sourceBytes(L"mid.bin"));
}

TEST(SingleConnection, ErrorStatusOrCutStreamDeletesTheDestination)
{
    TestFolder dir(L"dl-single-fail");
    for (const wchar_t* faults : {L"status=404", L"status=500", L"cut=5000"}) {
        dir.write(L"out.bin", "stale");
        SegmentedDownloader d;
        EXPECT_FALSE(runDownload(d, faultUrl(faults, L"mid.bin"), dir.file(L"out.bin"), 1)) << narrow(faults);
        EXPECT_TRUE(leftovers(dir).empty()) << narrow(faults);
    }
}

TEST(DownloadFile, ThreadSettingAndCleanUpOfReadOnlyDestination)
{
    TestFolder dir(L"dl-file");
    SettingsTable::instance().set(props::kFileThread, L"1");
    const std::wstring token = uniqueToken();
    ASSERT_TRUE(downloadFile(faultUrl(token, L"small.bin"), dir.file(L"small.bin"), -1, nullptr));
    EXPECT_TRUE(dir.read(L"small.bin") == sourceBytes(L"small.bin"));
    EXPECT_EQ(countAgents(loggedRequests(narrow(token)), "querysize"), 0);

    SettingsTable::instance().set(props::kFileThread, L"8");
    dir.write(L"locked.bin", "old");
    ASSERT_TRUE(::SetFileAttributesW(dir.file(L"locked.bin").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(downloadFile(faultUrl(L"status=404", L"small.bin"), dir.file(L"locked.bin"), -1, nullptr));
    EXPECT_FALSE(fileExists(dir.file(L"locked.bin")));

    ASSERT_TRUE(downloadFile(nginxUrl(L"small.bin"), dir.file(L"again.bin"), -1, nullptr));
    EXPECT_EQ(::GetFileAttributesW(dir.file(L"again.bin").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST(Splits, MoreTransfersStartOnlyWhereTheyPayAndProgressStaysTrue)
{
    TestFolder dir(L"dl-split");
    const std::wstring token = uniqueToken();
    MessageRecorder recorder;
    SegmentedDownloader d;
    // Five threads: seven segments of 1,499,136 bytes (the last 1,005,184). The
    // size query's answer is the first transfer; more start in the middle of the
    // largest part ahead of a running one while it holds 2 MiB. Every answer
    // pauses after its headers, so nothing has arrived when the first splits are made.
    ASSERT_TRUE(runDownload(d, faultUrl(token + L",stall=300,drip=16384:5", L"ten.bin"), dir.file(L"ten.bin"), 5, 4,
                            recorder.window()));
    EXPECT_TRUE(dir.read(L"ten.bin") == sourceBytes(L"ten.bin"));
    EXPECT_EQ(leftovers(dir), std::vector<std::wstring>{L"ten.bin"});
    EXPECT_EQ(d.segmentCount(), 7);
    const long segment = 1499136;
    // At once four more: the file's middle, then the middles of the larger halves,
    // on 64 KiB boundaries; later ones only where 2 MiB are still ahead of a
    // transfer when another ends.
    auto requests = loggedRequests(narrow(token));
    ASSERT_GE(requests.size(), 5u);
    EXPECT_LE(requests.size(), 9u);
    EXPECT_TRUE(requests[0].range.empty());
    std::set<long> starts;
    for (size_t i = 1; i < requests.size(); ++i) {
        ASSERT_FALSE(requests[i].range.empty());
        EXPECT_EQ(requests[i].agent.rfind("down", 0), 0u);
        const long start = std::atol(requests[i].range.c_str() + 6);
        EXPECT_EQ(start % 65536, 0) << start;
        EXPECT_GE(start, 1024 * 1024);
        EXPECT_LE(start, 10000000 - 1024 * 1024);
        EXPECT_TRUE(starts.insert(start).second) << "asked twice: " << start;
    }
    for (long start : {76 * 65536, 114 * 65536, 38 * 65536})
        EXPECT_EQ(starts.count(start), 1u) << start;
    // Each segment's counter holds exactly its bytes, wherever they came from.
    for (long i = 0; i < 6; ++i)
        EXPECT_EQ(counter(counters::kSegmentBytes + i, d.id()), 1499136u) << i;
    EXPECT_EQ(counter(counters::kSegmentBytes + 6, d.id()), 1005184u);
    EXPECT_EQ(counter(counters::kFileBytes, d.id()), 10000000u);
    for (const auto& m : recorder.messages(WM_DL_SEGMENT)) {
        EXPECT_LT(m.wParam >> 16, 7u);
        EXPECT_LE(m.lParam, segment);
    }
    for (const auto& m : recorder.messages(WM_DL_THREADS))
        EXPECT_LE(m.lParam, 5);
}

TEST(Splits, AFileBelowTwiceTheSplitMinimumIsTheSizeQuerysOneRequest)
{
    TestFolder dir(L"dl-onerequest");
    const std::wstring token = uniqueToken();
    MessageRecorder recorder;
    SegmentedDownloader d;
    ASSERT_TRUE(runDownload(d, faultUrl(token, L"mid.bin"), dir.file(L"mid.bin"), 8, 2, recorder.window()));
    EXPECT_TRUE(dir.read(L"mid.bin") == sourceBytes(L"mid.bin"));
    EXPECT_EQ(leftovers(dir), std::vector<std::wstring>{L"mid.bin"});
    EXPECT_EQ(d.segmentCount(), 6); // the plan is the same, its segments come on one answer
    auto requests = loggedRequests(narrow(token));
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].agent.rfind("querysize", 0), 0u);
    EXPECT_TRUE(requests[0].range.empty());
    for (long i = 0; i < 5; ++i)
        EXPECT_EQ(counter(counters::kSegmentBytes + i, d.id()), 51200u) << i;
    EXPECT_EQ(counter(counters::kSegmentBytes + 5, d.id()), 44000u);
    auto threads = recorder.messages(WM_DL_THREADS);
    ASSERT_FALSE(threads.empty());
    EXPECT_EQ(threads.front().lParam, 1);
    EXPECT_EQ(threads.back().lParam, 0);
    EXPECT_EQ(recorder.messages(WM_DL_RECEIVED).back().lParam, 300000);
}
