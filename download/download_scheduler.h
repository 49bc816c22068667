#pragma once
// The download pass: every entry of the shared update list (or only those that
// failed in the pass before) into the temporary list folder, one thread per
// entry and at most threadcount transfers at once (an entry that unpacks and
// checks its file has given its place to the next one), with the counts that
// the progress texts, the host windows and the stage show.

#include "platform/window_messages.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace rk {

constexpr unsigned WM_DL_FILESTATE = 0x42B; // wParam slot, lParam one of the entry states
constexpr std::intptr_t kEntryStarted = 8;
constexpr std::intptr_t kEntryDone = 7;
constexpr std::intptr_t kEntryFailed = 0;

// Below 2 becomes 1; above 50 (threadcount) or 100 (filethread) becomes that bound.
long clampThreadCount(long value);
long clampFileThread(long value);
// threadcount and filethread of [RenewKit] (default 8 each), clamped, stored in
// the settings table under "threadcount" and "filethread". Any thread.
void loadDownloadSettings();
long threadCountSetting(); // from the settings table; 8 when not stored

// False for delete entries, bits 0x10 and 0x20, and run and description entries.
bool entryNeedsDownload(std::int32_t actions);

// The progress line while the pass runs, translated: with failures
// "Error %d files,complete %d/%d", else "Downloading, complete %d/%d, total thread %d ...".
std::wstring progressLine(long failures, long done, long total, long running);
// The last line of a pass: "Download completed %d/%d." or the error line.
std::wstring finalLine(long failures, long done, long total);

class DownloadScheduler {
public:
    using StageReport = std::function<void(std::int32_t)>;

    // The one scheduler of the process.
    static DownloadScheduler& instance();

    // One pass on the calling thread; returns when every chosen entry has ended.
    // The entry threads send to window while this thread waits without pumping
    // messages, so window must belong to another thread (or be null).
    // Stage changes (UpdateDownload, then UpdateDownloadOk or UpdateDownloadError)
    // go through reportStage. Always true: the outcome is the stage and the counts.
    bool runPass(WindowHandle window, const StageReport& reportStage);

    long doneCount() const { return m_done.load(); }
    // The entries that failed and those refused by their integrity check.
    std::vector<long> errorList() const;
    // A new update run: done count 0 and no failed entries. Not while a pass runs.
    void resetRun();

    // The progress line to the host windows (1976) and to the pass's window.
    void reportProgress();

private:
    struct Progress {
        long done = 0;
        long total = 0;
        std::wstring line;
    };
    Progress progressNow() const;
    void reportProgress(const Progress& now);
    // Moves the running count under the named lock, then reports outside it.
    void changeRunning(long lock, long delta);
    void runEntry(long index);
    void fail(long index);
    void reject(long index);
    long failureCount() const;
    long rejectedCount() const;
    // Wakes the pass's waits: an entry was counted or ended.
    void changed();
    // Waits while busy() holds, testing again when woken and at least every stepMs.
    void waitWhile(const std::function<bool()>& busy, unsigned long stepMs);

    std::atomic<long> m_done{0};
    std::atomic<long> m_running{0};
    std::atomic<long> m_total{0};
    std::atomic<long> m_finished{0}; // entry threads that sent their last report
    std::atomic<WindowHandle> m_window{nullptr};
    mutable std::mutex m_errorLock; // guards m_errors and m_rejected
    std::vector<long> m_errors;     // failed: the next pass tries them again
    std::vector<long> m_rejected;   // refused by their integrity check: not tried again
    std::mutex m_waitLock;          // with m_changed: the pass's waits
    std::condition_variable m_changed;
};

} // namespace rk
