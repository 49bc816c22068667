#include "download/download_scheduler.h"

#include "core/config.h"
#include "core/host_link.h"
#include "core/language.h"
#include "core/path_text.h"
#include "core/release_signature.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "core/text_format.h"
#include "download/entry_fetch.h"
#include "download/progress_messages.h"
#include "download/segmented_downloader.h"
#include "download/transfer_slots.h"
#include "list/list_url.h"
#include "list/update_list.h"
#include "platform/named_lock.h"
#include "platform/worker_pool.h"

#include <algorithm>
#include <chrono>

namespace rk {
namespace {

constexpr long kDefaultThreads = 8;

long clampTo(long value, long most) { return value < 2 ? 1 : std::min(value, most); }

long loadClamped(const wchar_t* key, long most)
{
    std::wstring text = config::read(L"RenewKit", key);
    long value = text.empty() ? kDefaultThreads : static_cast<long>(parseDecimal(text));
    value = clampTo(value, most);
    SettingsTable::instance().set(key, std::to_wstring(value));
    return value;
}

// No lock is held across these sends: the receiving window's thread may be
// waiting for that very lock (a window of this process that logs, say).
void sendEntryState(WindowHandle window, long index, std::intptr_t state)
{
    sendProgress(window, WM_DL_FILESTATE, static_cast<int>(index), state);
    if (state == kEntryDone)
        sendProgress(window, WM_DL_THREADS, static_cast<int>(index), 0);
}

void showStatus(WindowHandle window, const std::wstring& text) { sendStatusText(window, text); }

} // namespace

long clampThreadCount(long value) { return clampTo(value, 50); }
long clampFileThread(long value) { return clampTo(value, 100); }

void loadDownloadSettings()
{
    loadClamped(props::kThreadCount, 50);
    loadClamped(props::kFileThread, 100);
}

long threadCountSetting()
{
    std::wstring text = SettingsTable::instance().get(props::kThreadCount);
    return text.empty() ? kDefaultThreads : clampThreadCount(static_cast<long>(parseDecimal(text)));
}

bool entryNeedsDownload(std::int32_t actions) { return (actions & (ACT_DELETE | 0x10 | 0x20 | 0x7F000000)) == 0; }

std::wstring progressLine(long failures, long done, long total, long running)
{
    if (failures > 0)
        return fillNumbers(tr(L"Error %d files,complete %d/%d"), {failures, done, total});
    return fillNumbers(tr(L"Downloading, complete %d/%d, total thread %d ..."), {done, total, running});
}

std::wstring finalLine(long failures, long done, long total)
{
    if (failures > 0)
        return fillNumbers(tr(L"Error %d files,complete %d/%d"), {failures, done, total});
    return fillNumbers(tr(L"Download completed %d/%d."), {done, total});
}

DownloadScheduler& DownloadScheduler::instance()
{
    static DownloadScheduler scheduler;
    return scheduler;
}

std::vector<long> DownloadScheduler::errorList() const
{
    std::lock_guard<std::mutex> guard(m_errorLock);
    std::vector<long> all = m_errors;
    all.insert(all.end(), m_rejected.begin(), m_rejected.end());
    return all;
}

long DownloadScheduler::failureCount() const
{
    NamedLockGuard named(locks::kDownloadErrorList);
    std::lock_guard<std::mutex> guard(m_errorLock);
    return static_cast<long>(m_errors.size());
}

void DownloadScheduler::resetRun()
{
    m_done = 0;
    std::lock_guard<std::mutex> guard(m_errorLock);
    m_errors.clear();
    m_rejected.clear();
}

void DownloadScheduler::fail(long index)
{
    {
        std::lock_guard<std::mutex> guard(m_errorLock);
        m_errors.push_back(index);
    }
    changed();
}

void DownloadScheduler::reject(long index)
{
    {
        std::lock_guard<std::mutex> guard(m_errorLock);
        m_rejected.push_back(index);
    }
    changed();
}

void DownloadScheduler::changed()
{
    // Taken and left so that a waiter between its test and its wait is not passed by.
    {
        std::lock_guard<std::mutex> hold(m_waitLock);
    }
    m_changed.notify_all();
}

void DownloadScheduler::waitWhile(const std::function<bool()>& busy, unsigned long stepMs)
{
    std::unique_lock<std::mutex> hold(m_waitLock);
    while (busy())
        m_changed.wait_for(hold, std::chrono::milliseconds(stepMs));
}

long DownloadScheduler::rejectedCount() const
{
    std::lock_guard<std::mutex> guard(m_errorLock);
    return static_cast<long>(m_rejected.size());
}

DownloadScheduler::Progress DownloadScheduler::progressNow() const
{
    Progress now;
    now.done = m_done.load();
    now.total = m_total.load();
    now.line = progressLine(failureCount() + rejectedCount(), now.done, now.total, m_running.load());
    return now;
}

void DownloadScheduler::reportProgress(const Progress& now)
{
    sendProgress(now.done, now.total);
    showStatus(m_window.load(), now.line);
}

void DownloadScheduler::reportProgress() { reportProgress(progressNow()); }

void DownloadScheduler::changeRunning(long lock, long delta)
{
    Progress now;
    {
        // The count and its line are taken together; they are sent after the lock is gone.
        NamedLockGuard guard(lock);
        m_running += delta;
        now = progressNow();
    }
    reportProgress(now);
}

bool DownloadScheduler::runPass(WindowHandle window, const StageReport& reportStage)
{
    DownLoadList& list = DownLoadList::shared();
    if (list.stage() != UpdateDownload && reportStage)
        reportStage(UpdateDownload);
    m_window = window;
    m_running = 0;
    loadDownloadSettings();
    const long threads = threadCountSetting();
    m_total = list.count();

    std::vector<long> chosen;
    std::wstring text;
    {
        std::lock_guard<std::mutex> guard(m_errorLock);
        if (m_errors.empty()) {
            m_rejected.clear();
            for (long i = 0; i < m_total; ++i)
                chosen.push_back(i);
            text = tr(L"Downloading to temporary directory...");
        } else {
            chosen = m_errors;
            text = tr(L"Downloading error files...");
        }
        m_errors.clear();
    }
    showStatus(window, text);
    logLine(text);
    const long finished0 = m_finished.load();

    // threadcount places for transfers: an entry gives its place back once its
    // file has arrived, so the next download starts while it unpacks and checks
    // (download/transfer_slots.h). Entry threads that only unpack and check are
    // bounded too, to as many again.
    auto slots = std::make_shared<TransferSlots>(threads);
    PassSplits splits(threads);
    PassUnzipSetting unzip;
    for (size_t p = 0; p < chosen.size(); ++p) {
        const long index = chosen[p];
        slots->take();
        const long started = static_cast<long>(p);
        waitWhile([&] { return started - (m_finished.load() - finished0) >= 2 * threads; }, 1);
        changeRunning(locks::kRunningThreads, 1);
        // A worker of the pool: under Wine a new thread per entry cost more
        // than a small file's transfer.
        if (!runOnWorker([this, index, slots] {
                HeldTransferSlot held(slots);
                runEntry(index);
            })) {
            slots->give();
            fail(index);
            changeRunning(locks::kRunningThreadsLine, -1);
            ++m_finished;
            changed();
        }
    }
    waitWhile([&] { return m_done.load() + failureCount() + rejectedCount() < m_total.load(); }, 50);
    // An entry counts as done before its thread has sent its last progress
    // and log lines: the pass's own end must come after them, not among them.
    const long launched = static_cast<long>(chosen.size());
    waitWhile([&] { return m_finished.load() - finished0 < launched; }, 1);

    // Refused files end the download like finished ones: they are not fetched
    // again, and the copy stage fails on them after installing the others.
    if (reportStage)
        reportStage(m_done.load() + rejectedCount() >= m_total.load() ? UpdateDownloadOk : UpdateDownloadError);
    reportProgress();
    std::wstring last = finalLine(failureCount() + rejectedCount(), m_done.load(), m_total.load());
    showStatus(window, last);
    logLine(last);
    return true;
}

void DownloadScheduler::runEntry(long index)
{
    const WindowHandle window = m_window.load();
    bool counted = false;
    try {
        DownLoadList& list = DownLoadList::shared();
        updatefileinfo entry;
        std::wstring url;
        std::wstring folder;
        bool inList = false;
        {
            NamedLockGuard guard(locks::kAddListEntry);
            if (index >= 0 && index < list.count()) {
                inList = true;
                entry = list.entries[static_cast<size_t>(index)];
                url = fileUrl(list, entry);
                folder = list.downloadDir;
            }
        }
        if (inList && !entryNeedsDownload(entry.actions)) {
            ++m_done;
            changed();
            counted = true;
        } else if (inList) {
            EntryNotes notes(static_cast<int>(index)); // the earlier notes are replaced
            if (folder.empty())
                folder = config::listKeyPath(L"");
            sendEntryState(window, index, kEntryStarted);
            const int slot = static_cast<int>(index);
            bool rejected = false;
            if (signedReleasesRequired() && !hasFileDigest(entry)) {
                // Nothing is fetched that the signed list does not pin down.
                logLine(L"The file [" + entry.path +
                        L"] is refused: its entry in the signed list names no sha256 and size.");
                rejected = true;
            } else if (downloadEntry(window, slot, url, entryDestination(folder, entry.path), &entry, &rejected)) {
                ++m_done;
                changed();
                counted = true;
                sendEntryState(window, index, kEntryDone);
                logLine(fillText(tr(L"done[%s]"), {entry.path}));
            }
            if (!counted) {
                sendEntryState(window, index, kEntryFailed);
                logLine(fillText(tr(L"error[%s]"), {entry.path}));
            }
            // A variant refused before the other one arrived verified does not
            // count against the entry: it is done.
            if (rejected && !counted) {
                // The server's bytes were refused: another pass would fetch the
                // same. The entry ends here; the copy stage leaves it out.
                reject(index);
                counted = true;
            }
        }
    } catch (...) {
        // Whatever went wrong, the entry is not done: it is listed below.
    }
    // An entry that is neither done nor listed would keep the pass waiting for ever.
    if (!counted)
        fail(index);
    changeRunning(locks::kRunningThreadsLine, -1);
    ++m_finished;
    changed();
}

} // namespace rk
