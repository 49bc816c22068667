// downloadFile against servers that answer ranges wrongly, stall, send error
// pages or ignore Range after a cut: the file is either exact or absent.

#include "core/process_state.h"
#include "core/settings.h"
#include "download/counter_table.h"
#include "download/http_session.h"
#include "download/segmented_downloader.h"
#include "platform/files.h"
#include "tests/download/server_env.h"
#include "tests/unit/test_folder.h"

#include <gtest/gtest.h>

using namespace rk;
using namespace rk::test;

namespace {

constexpr long kMidSegment = 51200; // mid.bin (300,000 bytes) on 8 threads

std::vector<std::wstring> folderNames(const TestFolder& dir)
{
    std::vector<std::wstring> names;
    for (const DirectoryEntry& e : listDirectory(dir.path())) {
        if (e.name != L"renewkit.ini")
            names.push_back(e.name);
    }
    return names;
}

// The receive time-out is process-wide; each test that shortens it puts it back.
class ShortReceiveTimeout {
public:
    explicit ShortReceiveTimeout(unsigned long milliseconds) { setReceiveTimeout(milliseconds); }
    ~ShortReceiveTimeout() { setReceiveTimeout(kDefaultReceiveTimeout); }
    ShortReceiveTimeout(const ShortReceiveTimeout&) = delete;
    ShortReceiveTimeout& operator=(const ShortReceiveTimeout&) = delete;
};

bool fetch(const std::wstring& url, const std::wstring& destination)
{
    SettingsTable::instance().set(props::kFileThread, L"8");
    return downloadFile(url, destination, -1, nullptr);
}

} // namespace

TEST(WrongRangeAnswers, BytesOfAnotherPositionOrAnotherFileFailTheFile)
{
    TestFolder dir(L"dl-wrongrange");
    setConnectionAttempts(3);
    // A cache answering each range with bytes 4096 further on, honestly labelled;
    // then a file replaced on the server: same bytes, another total. The file is
    // large enough for ranges beside the size query's answer.
    for (const std::wstring faults : {L"shift=4096", L"total=10000001", L"total=9999999"}) {
        dir.write(L"mid.bin", "installed");
        const std::wstring token = uniqueToken();
        EXPECT_FALSE(fetch(faultUrl(token + L"," + faults, L"ten.bin"), dir.file(L"mid.bin"))) << narrow(faults);
        EXPECT_TRUE(folderNames(dir).empty()) << narrow(faults);
        // Failed at once: no range is asked twice.
        std::vector<std::string> ranges;
        for (const auto& r : loggedRequests(narrow(token))) {
            if (!r.range.empty()) {
                EXPECT_EQ(std::count(ranges.begin(), ranges.end(), r.range), 0) << r.range;
                ranges.push_back(r.range);
            }
        }
    }
    // The honest 206 of a whole file, unasked, is still taken.
    ASSERT_TRUE(fetch(faultUrl(L"status=206", L"mid.bin"), dir.file(L"mid.bin")));
    EXPECT_TRUE(dir.read(L"mid.bin") == sourceBytes(L"mid.bin"));
}

TEST(WrongRangeAnswers, SingleConnectionResumeChecksTheRangeToo)
{
    TestFolder dir(L"dl-wrongrange-single");
    SettingsTable::instance().set(props::kFileThread, L"1");
    // The first answer is cut on a block boundary; the resume gets shifted bytes.
    const std::wstring faults = uniqueToken() + L",cutfirst=8192,shift=1024";
    EXPECT_FALSE(downloadFile(faultUrl(faults, L"mid.bin"), dir.file(L"mid.bin"), -1, nullptr));
    EXPECT_TRUE(folderNames(dir).empty());
}

TEST(StalledServer, SilenceInsideABlockFailsTheFileWithoutACrash)
{
    TestFolder dir(L"dl-stall");
    setConnectionAttempts(3);
    ShortReceiveTimeout timeout(700);
    dir.write(L"mid.bin", "installed");
    const std::wstring token = uniqueToken();
    SegmentedDownloader d;
    d.setThreadsPerFile(8);
    // Every answer stops after 1,000 bytes and the connection stays open.
    EXPECT_FALSE(d.download(faultUrl(token + L",hang=1000", L"mid.bin"), dir.file(L"mid.bin"), -1, nullptr));
    EXPECT_TRUE(folderNames(dir).empty());
    EXPECT_EQ(counters::get(counters::key(counters::kFileBytes, static_cast<std::uint32_t>(d.id()))), 0u);
    EXPECT_EQ(counters::get(counters::key(counters::kRunning, static_cast<std::uint32_t>(d.id()))), 0u);
    // A partial block is a stream that ended inside the range: no range is asked twice.
    EXPECT_LE(loggedRequests(narrow(token)).size(), 7u);

    // The same through the single connection, which has no size to cut by.
    SegmentedDownloader single;
    single.setThreadsPerFile(1);
    EXPECT_FALSE(
        single.download(faultUrl(uniqueToken() + L",hang=1000", L"mid.bin"), dir.file(L"mid.bin"), -1, nullptr));
    EXPECT_TRUE(folderNames(dir).empty());
}

TEST(StalledServer, SilenceOnABlockBoundaryResumesAndTheFileIsExact)
{
    TestFolder dir(L"dl-stall-once");
    setConnectionAttempts(3);
    ShortReceiveTimeout timeout(700);
    const std::wstring token = uniqueToken();
    // Request 1 is the size query, whose answer is the file; it stops after eight blocks.
    ASSERT_TRUE(fetch(faultUrl(token + L",hangnth=1:8192", L"mid.bin"), dir.file(L"mid.bin")));
    EXPECT_TRUE(dir.read(L"mid.bin") == sourceBytes(L"mid.bin"));
    EXPECT_EQ(folderNames(dir), std::vector<std::wstring>{L"mid.bin"});
    auto requests = loggedRequests(narrow(token));
    EXPECT_EQ(requests.size(), 2u); // size query, one resume
    int resumes = 0;
    for (const auto& r : requests)
        resumes += !r.range.empty() && std::atol(r.range.c_str() + 6) % kMidSegment == 8192 ? 1 : 0;
    EXPECT_EQ(resumes, 1);
}

TEST(ErrorAnswers, ClientErrorPagesOnRangesFailTheFile)
{
    TestFolder dir(L"dl-4xx");
    setConnectionAttempts(3);
    // Longer than a range, so a page taken for data would fill it. The file is
    // large enough for ranges beside the size query's answer.
    for (const wchar_t* status : {L"403", L"404", L"410", L"429"}) {
        dir.write(L"mid.bin", "installed");
        const std::wstring faults = uniqueToken() + L",failfrom=2:" + status + L",page=4000000";
        EXPECT_FALSE(fetch(faultUrl(faults, L"ten.bin"), dir.file(L"mid.bin"))) << narrow(status);
        EXPECT_TRUE(folderNames(dir).empty()) << narrow(status);
    }
}

TEST(ErrorAnswers, ResumeOnAServerIgnoringRangeSkipsToOffsetPlusReceived)
{
    TestFolder dir(L"dl-norange-resume");
    setConnectionAttempts(3);
    const std::wstring token = uniqueToken();
    // Two threads per file: the second transfer starts in the middle of ten.bin,
    // rounded down to 64 KiB, as nothing has arrived yet (answers pause after
    // their headers).
    const long offset = 76 * 65536;
    const long cutAt = offset + 8192; // whole body from 0: eight blocks into the range
    const std::wstring faults =
        token + L",norange,stall=200,cutrange=" + std::to_wstring(offset) + L":" + std::to_wstring(cutAt);
    SettingsTable::instance().set(props::kFileThread, L"2");
    ASSERT_TRUE(downloadFile(faultUrl(faults, L"ten.bin"), dir.file(L"ten.bin"), -1, nullptr));
    EXPECT_TRUE(dir.read(L"ten.bin") == sourceBytes(L"ten.bin"));
    int resumes = 0;
    for (const auto& r : loggedRequests(narrow(token)))
        resumes += r.range == "bytes=" + std::to_string(cutAt) + "-" ? 1 : 0;
    EXPECT_EQ(resumes, 1);
}
