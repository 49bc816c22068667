#include "core/host_link.h"
#include "core/settings.h"
#include "core/text_format.h"
#include "download/download_scheduler.h"
#include "download/entry_fetch.h"
#include "list/list_loader.h"
#include "list/list_url.h"
#include "platform/files.h"
#include "platform/system.h"
#include "run/download_stage.h"
#include "tests/download/message_recorder.h"
#include "tests/download/server_env.h"
#include "tests/fetch/fetch_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <thread>
#include <windows.h>

using namespace rk;
using namespace rk::test;

namespace {

// The stage reports of a pass, kept as the run's stage reporter keeps them.
struct StageLog {
    std::mutex lock;
    std::vector<std::int32_t> stages;
    DownloadScheduler::StageReport reporter()
    {
        return [this](std::int32_t s) {
            std::lock_guard<std::mutex> guard(lock);
            stages.push_back(s);
            DownLoadList::shared().setStage(s);
        };
    }
};

long countState(const std::vector<RecordedMessage>& messages, std::intptr_t state)
{
    return static_cast<long>(
        std::count_if(messages.begin(), messages.end(), [&](const RecordedMessage& m) { return m.lParam == state; }));
}

// Entry i of a token-marked group on the fault server: "t=TOKEN-i" in its path.
std::wstring markedUrl(const std::wstring& faults, const std::wstring& token, int i, const std::wstring& file)
{
    return faultUrl(faults + L",t=" + token + L"-" + std::to_wstring(i), file);
}

int markedIndex(const std::string& line, const std::string& token)
{
    size_t at = line.find("t=" + token + "-");
    return at == std::string::npos ? -1 : std::atoi(line.c_str() + at + token.size() + 3);
}

// A host window on a thread of its own that, when a log line with the given
// text arrives, keeps it (and its sender) waiting until letGo.
class StallingHostWindow {
public:
    explicit StallingHostWindow(std::wstring text) : m_text(std::move(text))
    {
        m_stalled = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE created = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_thread = std::thread([this, created] {
            WNDCLASSW cls{};
            cls.lpfnWndProc = proc;
            cls.hInstance = ::GetModuleHandleW(nullptr);
            cls.lpszClassName = L"RkTestStallingHost";
            ::RegisterClassW(&cls);
            m_window =
                ::CreateWindowExW(0, cls.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, cls.hInstance, this);
            ::SetEvent(created);
            MSG message;
            while (::GetMessageW(&message, nullptr, 0, 0) > 0)
                ::DispatchMessageW(&message);
        });
        ::WaitForSingleObject(created, INFINITE);
        ::CloseHandle(created);
    }
    ~StallingHostWindow()
    {
        letGo();
        ::PostMessageW(m_window, WM_CLOSE, 0, 0);
        m_thread.join();
        ::CloseHandle(m_stalled);
        ::CloseHandle(m_release);
    }
    StallingHostWindow(const StallingHostWindow&) = delete;
    StallingHostWindow& operator=(const StallingHostWindow&) = delete;

    void* window() const { return m_window; }
    bool waitUntilStalled() const { return ::WaitForSingleObject(m_stalled, 60000) == WAIT_OBJECT_0; }
    void letGo() const { ::SetEvent(m_release); }

private:
    static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_CREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            return 0;
        }
        auto* self = reinterpret_cast<StallingHostWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && message == msg::kLogLine && wParam &&
            std::wstring(reinterpret_cast<const wchar_t*>(wParam)).find(self->m_text) != std::wstring::npos) {
            ::SetEvent(self->m_stalled);
            ::WaitForSingleObject(self->m_release, 60000);
            return 0;
        }
        if (message == WM_CLOSE) {
            ::DestroyWindow(window);
            return 0;
        }
        if (message == WM_DESTROY) {
            ::PostQuitMessage(0);
            return 0;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    std::wstring m_text;
    HANDLE m_stalled = nullptr;
    HANDLE m_release = nullptr;
    HWND m_window = nullptr;
    std::thread m_thread;
};

} // namespace

TEST(Scheduler, ThreadSettingsAreClampedAndStored)
{
    EXPECT_EQ(clampThreadCount(-3), 1);
    EXPECT_EQ(clampThreadCount(1), 1);
    EXPECT_EQ(clampThreadCount(2), 2);
    EXPECT_EQ(clampThreadCount(50), 50);
    EXPECT_EQ(clampThreadCount(51), 50);
    EXPECT_EQ(clampFileThread(100), 100);
    EXPECT_EQ(clampFileThread(101), 100);

    {
        FetchFolder folder(L"sched-settings", "threadcount=0\r\nfilethread=500\r\n");
        loadDownloadSettings();
        EXPECT_EQ(SettingsTable::instance().get(L"threadcount"), L"1");
        EXPECT_EQ(SettingsTable::instance().get(L"filethread"), L"100");
        EXPECT_EQ(threadCountSetting(), 1);
    }
    FetchFolder folder(L"sched-defaults");
    loadDownloadSettings();
    EXPECT_EQ(SettingsTable::instance().get(L"threadcount"), L"8");
    EXPECT_EQ(SettingsTable::instance().get(L"filethread"), L"8");
}

TEST(Scheduler, LinesAndWhichEntriesNeedATransfer)
{
    EXPECT_EQ(progressLine(0, 3, 5, 2), L"Downloading, complete 3/5, total thread 2 ...");
    EXPECT_EQ(progressLine(2, 3, 5, 2), L"Error 2 files,complete 3/5");
    EXPECT_EQ(finalLine(0, 5, 5), L"Download completed 5/5.");
    EXPECT_EQ(finalLine(1, 4, 5), L"Error 1 files,complete 4/5");
    // A translation with fewer or other places is filled as far as it goes, never crashes.
    EXPECT_EQ(fillNumbers(L"%d of %s %d %d", {1, 2}), L"1 of %s 2 %d");
    EXPECT_EQ(fillText(L"x[%s] %d", {L"a.dll"}), L"x[a.dll] %d");

    EXPECT_TRUE(entryNeedsDownload(0));
    EXPECT_TRUE(entryNeedsDownload(ACT_RUN | ACT_REGISTER | ACT_REBOOT));
    EXPECT_FALSE(entryNeedsDownload(ACT_DELETE));
    EXPECT_FALSE(entryNeedsDownload(0x10));
    EXPECT_FALSE(entryNeedsDownload(0x20));
    EXPECT_FALSE(entryNeedsDownload(KIND_RUN));
    EXPECT_FALSE(entryNeedsDownload(KIND_DESCRIPTION));
}

TEST(Scheduler, EmptyListEndsAtOnce)
{
    FetchFolder folder(L"sched-empty");
    DownloadScheduler::instance().resetRun();
    StageLog stages;
    EXPECT_TRUE(DownloadScheduler::instance().runPass(nullptr, stages.reporter()));
    EXPECT_EQ(stages.stages, (std::vector<std::int32_t>{UpdateDownload, UpdateDownloadOk}));
    std::string log = folder.runLog();
    EXPECT_NE(log.find("Downloading to temporary directory..."), std::string::npos);
    EXPECT_NE(log.find("Download completed 0/0."), std::string::npos);
}

TEST(Scheduler, DownloadStageKeepsTheStageInTheUpdateList)
{
    FetchFolder folder(L"sched-stage");
    resetDownloadRun();
    DownLoadList& list = DownLoadList::shared();
    list.downloadDir = folder.file(L"dl");
    list.entries.push_back(fileEntry(publishedUrl(L"five", L"f2.bin"), L"f2.bin"));
    EXPECT_TRUE(runDownloadPass(nullptr));
    EXPECT_EQ(list.stage(), UpdateDownloadOk);
    EXPECT_EQ(downloadDoneCount(), 1);
    EXPECT_TRUE(folder.dir().read(L"dl\\f2.bin_") == releaseBytes(L"five", L"f2.bin"));
}

TEST(Scheduler, TwoOfFiveFailingAreTheOnlyOnesTriedAgain)
{
    FetchFolder folder(L"sched-five");
    DownloadScheduler::instance().resetRun();
    const std::wstring token = uniqueToken();
    DownLoadList& list = DownLoadList::shared();
    list.downloadDir = folder.file(L"dl");
    for (int i = 0; i < 5; ++i) {
        bool bad = i == 1 || i == 3;
        std::wstring file = L"f" + std::to_wstring(i) + L".bin";
        list.entries.push_back(
            fileEntry(markedUrl(bad ? L"status=404" : L"plain", token, i, L"pub/five/" + file), file));
    }

    MessageRecorder recorder;
    StageLog stages;
    DownloadScheduler::instance().runPass(recorder.window(), stages.reporter());
    EXPECT_EQ(stages.stages, (std::vector<std::int32_t>{UpdateDownload, UpdateDownloadError}));
    EXPECT_EQ(DownloadScheduler::instance().doneCount(), 3);
    std::vector<long> failed = DownloadScheduler::instance().errorList();
    std::sort(failed.begin(), failed.end());
    EXPECT_EQ(failed, (std::vector<long>{1, 3}));
    std::string log = folder.runLog();
    EXPECT_NE(log.find("Error 2 files,complete 3/5"), std::string::npos) << log;
    EXPECT_NE(log.find("error[f1.bin]"), std::string::npos);
    EXPECT_NE(log.find("done[f4.bin]"), std::string::npos);
    for (int i : {0, 2, 4}) {
        std::wstring file = L"f" + std::to_wstring(i) + L".bin";
        EXPECT_TRUE(folder.dir().read(L"dl\\" + file + L"_") == releaseBytes(L"five", file)) << i;
    }
    auto states = recorder.messages(WM_DL_FILESTATE);
    EXPECT_EQ(countState(states, kEntryStarted), 5);
    EXPECT_EQ(countState(states, kEntryDone), 3);
    EXPECT_EQ(countState(states, kEntryFailed), 2);

    const size_t before = loggedRequests(narrow(token)).size();
    DownloadScheduler::instance().runPass(recorder.window(), stages.reporter());
    auto requests = loggedRequests(narrow(token));
    ASSERT_GT(requests.size(), before);
    for (size_t i = before; i < requests.size(); ++i) {
        int entry = markedIndex(requests[i].line, narrow(token));
        EXPECT_TRUE(entry == 1 || entry == 3) << requests[i].line;
    }
    log = folder.runLog();
    EXPECT_NE(log.find("Downloading error files..."), std::string::npos);
    EXPECT_EQ(occurrences(log, "Error 2 files,complete 3/5"), 2);
    EXPECT_EQ(stages.stages.back(), UpdateDownloadError);
}

TEST(Scheduler, RunEntryCountsAsDoneWithoutATransfer)
{
    FetchFolder folder(L"sched-run");
    DownloadScheduler::instance().resetRun();
    const std::wstring token = uniqueToken();
    DownLoadList& list = DownLoadList::shared();
    list.downloadDir = folder.file(L"dl");
    updatefileinfo run = fileEntry(L"", L"setup.exe999");
    run.actions = KIND_RUN;
    list.entries.push_back(run);
    updatefileinfo removed = fileEntry(markedUrl(L"plain", token, 1, L"pub/five/f1.bin"), L"f1.bin");
    removed.actions = ACT_DELETE;
    list.entries.push_back(removed);
    list.entries.push_back(fileEntry(markedUrl(L"plain", token, 2, L"pub/five/f2.bin"), L"f2.bin"));
    StageLog stages;
    DownloadScheduler::instance().runPass(nullptr, stages.reporter());
    EXPECT_EQ(stages.stages.back(), UpdateDownloadOk);
    EXPECT_EQ(DownloadScheduler::instance().doneCount(), 3);
    for (const auto& r : loggedRequests(narrow(token)))
        EXPECT_EQ(markedIndex(r.line, narrow(token)), 2) << r.line;
    EXPECT_NE(folder.runLog().find("Download completed 3/3."), std::string::npos);
}

TEST(Scheduler, ProgressGoesToHostWindowsThatAskForIt)
{
    FetchFolder folder(L"sched-host");
    DownloadScheduler::instance().resetRun();
    DownLoadList& list = DownLoadList::shared();
    list.downloadDir = folder.file(L"dl");
    list.entries.push_back(fileEntry(publishedUrl(L"five", L"f0.bin"), L"f0.bin"));
    list.entries.push_back(fileEntry(publishedUrl(L"five", L"f1.bin"), L"f1.bin"));
    MessageRecorder asking;
    MessageRecorder silent;
    ASSERT_TRUE(setWindowProperty(asking.window(), prop::kNeedMsg, msg::kWantsMessages));
    HostWindows::instance().add(asking.window());
    HostWindows::instance().add(silent.window());
    StageLog stages;
    DownloadScheduler::instance().runPass(nullptr, stages.reporter());
    HostWindows::instance().clear();

    auto progress = asking.messages(msg::kProgress);
    ASSERT_GE(progress.size(), 5u); // two starts, two ends, the end of the pass
    EXPECT_EQ(progress.back().wParam, 2u);
    EXPECT_EQ(progress.back().lParam, 2);
    for (const auto& m : progress)
        EXPECT_LE(m.wParam, 2u);
    EXPECT_TRUE(silent.messages(msg::kProgress).empty());
}

TEST(Scheduler, ThreadCountOneDownloadsStrictlyOneAfterAnother)
{
    FetchFolder folder(L"sched-serial", "threadcount=1\r\n");
    DownloadScheduler::instance().resetRun();
    const std::wstring token = uniqueToken();
    DownLoadList& list = DownLoadList::shared();
    list.downloadDir = folder.file(L"dl");
    for (int i = 0; i < 5; ++i) {
        std::wstring file = L"f" + std::to_wstring(i) + L".bin";
        // Without zipped variants each entry makes several requests: a 404 and the plain transfer.
        list.entries.push_back(fileEntry(markedUrl(L"nozip", token, i, L"pub/five/" + file), file));
    }
    StageLog stages;
    DownloadScheduler::instance().runPass(nullptr, stages.reporter());
    EXPECT_EQ(stages.stages.back(), UpdateDownloadOk);
    auto requests = loggedRequests(narrow(token));
    ASSERT_GE(requests.size(), 10u);
    int last = 0;
    for (const auto& r : requests) {
        int entry = markedIndex(r.line, narrow(token));
        EXPECT_GE(entry, last) << "entry " << entry << " asked after entry " << last << " had begun";
        last = std::max(last, entry);
    }
    EXPECT_EQ(last, 4);
}

TEST(Scheduler, AnEntryThatChecksItsFileHoldsNoPlaceOfThePass)
{
    FetchFolder folder(L"sched-overlap", "threadcount=1\r\n");
    DownloadScheduler::instance().resetRun();
    const std::wstring token = uniqueToken();
    DownLoadList& list = DownLoadList::shared();
    list.downloadDir = folder.file(L"dl");
    // Entry 0's digest is wrong: after its transfer its check refuses it and
    // logs why, and the host window keeps that line (and entry 0) waiting.
    updatefileinfo refused = fileEntry(markedUrl(L"plain", token, 0, L"pub/five/f0.bin"), L"f0.bin");
    refused.sha256 = std::wstring(64, L'0');
    refused.size = static_cast<long long>(releaseBytes(L"five", L"f0.bin").size());
    list.entries.push_back(refused);
    list.entries.push_back(fileEntry(markedUrl(L"plain", token, 1, L"pub/five/f1.bin"), L"f1.bin"));
    StallingHostWindow host(L"is refused");
    HostWindows::instance().add(host.window());
    StageLog stages;
    std::thread pass([&] { DownloadScheduler::instance().runPass(nullptr, stages.reporter()); });
    const bool stalled = host.waitUntilStalled();
    EXPECT_TRUE(stalled);
    // With one place, entry 1 is fetched while entry 0 still checks.
    bool entryOneAsked = false;
    for (int i = 0; stalled && i < 6000 && !entryOneAsked; ++i) {
        for (const auto& r : loggedRequests(narrow(token)))
            entryOneAsked = entryOneAsked || markedIndex(r.line, narrow(token)) == 1;
        if (!entryOneAsked)
            ::Sleep(10);
    }
    EXPECT_TRUE(entryOneAsked);
    host.letGo();
    pass.join();
    HostWindows::instance().clear();
    EXPECT_EQ(stages.stages.back(), UpdateDownloadOk); // a refused file ends like a finished one
    EXPECT_EQ(DownloadScheduler::instance().doneCount(), 1);
    EXPECT_EQ(DownloadScheduler::instance().errorList(), std::vector<long>{0});
    EXPECT_TRUE(folder.dir().read(L"dl\\f1.bin_") == releaseBytes(L"five", L"f1.bin"));
    EXPECT_FALSE(pathExists(folder.file(L"dl\\f0.bin_")));
}

TEST(Scheduler, ThousandEntriesFromNginxArriveByteIdentical)
{
    FetchFolder folder(L"sched-thousand");
    DownloadScheduler::instance().resetRun();
    const std::wstring listUrl = publishedUrl(L"thousand", L"update.xml");
    const std::wstring listFile = folder.file(L"list.xml");
    ASSERT_TRUE(downloadEntry(nullptr, -1, listUrl, listFile));
    DownLoadList& list = DownLoadList::shared();
    {
        ComApartment com;
        ASSERT_TRUE(loadList(listFile, list, true));
    }
    ASSERT_EQ(list.count(), 1000);
    setListUrlBase(list, listUrl);
    list.downloadDir = folder.file(L"dl");

    StageLog stages;
    DownloadScheduler::instance().runPass(nullptr, stages.reporter());
    EXPECT_EQ(stages.stages.back(), UpdateDownloadOk);
    EXPECT_EQ(DownloadScheduler::instance().doneCount(), 1000);
    int differing = 0;
    for (const updatefileinfo& entry : list.entries) {
        std::wstring path = entry.path;
        std::replace(path.begin(), path.end(), L'\\', L'/');
        if (folder.dir().read(L"dl\\" + entry.path + L"_") != releaseBytes(L"thousand", path))
            ++differing;
    }
    EXPECT_EQ(differing, 0);
    EXPECT_NE(folder.runLog().find("Download completed 1000/1000."), std::string::npos);
}
