#include "download/segmented_downloader.h"

#include "core/process_state.h"
#include "core/settings.h"
#include "download/counter_table.h"
#include "download/http_session.h"
#include "download/progress_messages.h"
#include "download/segment_plan.h"
#include "download/segment_transfer.h"
#include "download/url_encoding.h"
#include "core/path_text.h"
#include "platform/event.h"
#include "platform/file_reader.h"
#include "platform/files.h"
#include "platform/stream_file.h"
#include "platform/sleep.h"
#include "platform/worker_pool.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace rk {
namespace {

constexpr std::size_t kBlock = 1024;
// The 1 KiB blocks of the join are gathered into large reads and writes: each
// system call is a round trip to the Wine server (0.9 s on 256 MB otherwise).
constexpr std::size_t kJoinBuffer = 1 << 20;
constexpr unsigned long kThrottleStep = 10; // ms
constexpr unsigned long kWaitStep = 50;     // ms
// A split costs a new connection and a request; below this the tail is short
// enough to let the running transfer finish it.
constexpr long kMinSplitHalf = 256 * 1024;

std::uint64_t runningKey(std::int32_t id) { return counters::key(counters::kRunning, static_cast<std::uint32_t>(id)); }

// Leaves the running count and wakes the splitter, also when the transfer threw.
class RunningSlot {
public:
    RunningSlot(std::int32_t id, std::shared_ptr<Event> ended) : m_id(id), m_ended(std::move(ended)) {}
    ~RunningSlot()
    {
        counters::add(runningKey(m_id), -1);
        m_ended->set();
    }
    RunningSlot(const RunningSlot&) = delete;
    RunningSlot& operator=(const RunningSlot&) = delete;

private:
    std::int32_t m_id;
    std::shared_ptr<Event> m_ended; // the splitter may be gone once the count is down
};

void runSegment(SegmentTask& task, const std::shared_ptr<Event>& ended)
{
    RunningSlot slot(task.downloaderId, ended);
    try {
        if (task.failure->isSet())
            return;
        StreamFile part;
        if (!part.create(task.partPath)) {
            task.failure->set();
            return;
        }
        downloadSegment(task, part);
    } catch (...) {
        task.failure->set();
    }
}

// Copies the ranges of the parts, in file order, into the destination; the
// length reached. Stops at the first part that cannot be read or is short.
long joinParts(std::vector<std::shared_ptr<SegmentTask>> tasks, const std::wstring& destination)
{
    std::sort(tasks.begin(), tasks.end(),
              [](const std::shared_ptr<SegmentTask>& a, const std::shared_ptr<SegmentTask>& b) {
                  return a->offset < b->offset;
              });
    StreamFile out;
    if (!out.create(destination))
        return 0;
    out.bufferWrites(kJoinBuffer);
    char block[kBlock];
    for (const auto& task : tasks) {
        FileReader in;
        if (!in.open(task->partPath))
            break;
        in.bufferReads(kJoinBuffer);
        // A part may hold bytes past its range when the range was split as it ran.
        std::size_t left = static_cast<std::size_t>(std::max(0L, task->end.load() - task->offset));
        std::size_t got = 0;
        bool ok = true;
        while (left > 0 && (ok = in.read(block, std::min(kBlock, left), got)) && got > 0) {
            if (!out.write(block, got)) {
                ok = false;
                break;
            }
            left -= got;
        }
        if (!ok || left > 0)
            break;
    }
    if (!out.flush())
        return 0;
    // The handle's length counts every byte written; nothing needs to reach the disk first.
    return static_cast<long>(std::min<std::uint64_t>(out.size(), 0x7FFFFFFF));
}

// The running range with the most bytes still to come, when halving it leaves
// each half at least kMinSplitHalf: the idle thread's share of the tail.
std::shared_ptr<SegmentTask> largestRunningRange(const std::vector<std::shared_ptr<SegmentTask>>& tasks)
{
    std::shared_ptr<SegmentTask> best;
    long bestLeft = 2 * kMinSplitHalf - 1;
    for (const auto& task : tasks) {
        if (task->finished.load())
            continue;
        const long left = task->end.load() - std::max(task->done.load(), task->offset);
        if (left > bestLeft) {
            bestLeft = left;
            best = task;
        }
    }
    return best;
}

// A scanner or indexer may hold a fresh file open for a moment; a few counted
// retries keep a failed download from leaving it behind.
void removeFile(const std::wstring& path)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (deleteFileForced(path) || !pathExists(path))
            return;
        sleepFor(10);
    }
}

long threadsPerFileSetting()
{
    std::wstring text = SettingsTable::instance().get(props::kFileThread);
    long threads = text.empty() ? 8 : static_cast<long>(parseDecimal(text));
    return std::max(threads, 1L);
}

} // namespace

SegmentedDownloader::SegmentedDownloader()
{
    m_id = static_cast<std::int32_t>(counters::add(counters::key(counters::kNextId, 0), 1));
}

long SegmentedDownloader::runningCount() const { return static_cast<std::int32_t>(counters::get(runningKey(m_id))); }

void SegmentedDownloader::stop()
{
    m_stopped = true;
    std::lock_guard<std::mutex> hold(m_failureLock);
    if (m_failure)
        m_failure->set();
}

void SegmentedDownloader::watch(const std::shared_ptr<FailureMark>& failure)
{
    std::lock_guard<std::mutex> hold(m_failureLock);
    m_failure = failure;
    if (m_stopped)
        m_failure->set();
}

bool SegmentedDownloader::download(const std::wstring& url, const std::wstring& destination, int slot,
                                   WindowHandle window)
{
    m_url = url;
    m_destination = destination;
    if (m_stopped)
        return false;
    if (m_threadsPerFile <= 1)
        return downloadSingle(slot, window);
    return splitAndJoin(slot, window);
}

bool SegmentedDownloader::downloadSingle(int slot, WindowHandle window)
{
    bool ok = false;
    {
        StreamFile file;
        if (file.create(m_destination)) {
            SegmentTask task;
            task.url = m_url;
            task.partPath = m_destination;
            task.downloaderId = m_id;
            task.slot = slot;
            task.window = window;
            task.failure = std::make_shared<FailureMark>(m_id);
            watch(task.failure);
            ok = downloadSegment(task, file);
            m_fileSize = task.fileSize;
        }
    }
    if (!ok)
        removeFile(m_destination);
    return ok;
}

long SegmentedDownloader::querySize()
{
    long size = -1;
    for (long round = 0; round < connectionAttempts() && size < 0 && !m_stopped; ++round) {
        size = queryFileSize(m_url);
        if (size >= 0)
            break;
        std::wstring encoded = percentEncodeUrl(m_url);
        if (encoded != m_url) {
            size = queryFileSize(encoded);
            if (size >= 0)
                m_url = encoded;
        }
    }
    return size;
}

bool SegmentedDownloader::splitAndJoin(int slot, WindowHandle window)
{
    const long size = querySize();
    if (size < 1 || m_stopped) {
        m_fileSize = size < 0 ? -1 : size;
        removeFile(m_destination);
        return false;
    }
    m_fileSize = size;
    const SegmentPlan plan = planSegments(size, m_threadsPerFile);
    m_segmentCount = plan.segmentCount;
    sendProgress(window, WM_DL_FILESIZE, slot, size);
    sendProgress(window, WM_DL_SEGSIZE, slot, plan.segmentSize);

    // Segment threads wake the splitter when they end, so the counted pauses
    // below end early instead of always running their full step.
    auto ended = std::make_shared<Event>();
    auto failure = std::make_shared<FailureMark>(m_id);
    watch(failure);
    std::vector<std::shared_ptr<SegmentTask>> tasks;
    long nextIndex = 0;
    auto start = [&](long offset, long length, long reportIndex) {
        auto task = std::make_shared<SegmentTask>();
        task->url = m_url;
        task->index = nextIndex++;
        task->partPath = partPath(m_destination, task->index);
        task->offset = offset;
        task->length = length;
        task->end.store(offset + length);
        task->done.store(offset);
        task->reportIndex = reportIndex;
        task->downloaderId = m_id;
        task->fileSize = size;
        task->slot = slot;
        task->window = window;
        task->failure = failure;
        tasks.push_back(task);

        // Counted before the thread exists, so a thread that starts late is still
        // waited for and its part file still joined or removed.
        counters::add(runningKey(m_id), 1);
        bool started = false;
        try {
            started = runOnWorker([task, ended] { runSegment(*task, ended); });
        } catch (...) {
            // Out of memory for the thread's body: the same as a refused thread.
        }
        if (!started) {
            counters::add(runningKey(m_id), -1);
            failure->set();
        }
    };

    long reported = 0;
    for (long index = 0; index < plan.segmentCount; ++index) {
        start(index * plan.segmentSize, plan.length(index, size), index);
        if (failure->isSet())
            break;
        long running = runningCount();
        while (running > m_threadsPerFile) {
            ended->wait(kThrottleStep);
            running = runningCount();
        }
        if (running != reported) {
            reported = running;
            sendProgress(window, WM_DL_THREADS, slot, running);
        }
    }

    bool failed = false;
    for (;;) {
        failed = failed || failure->isSet();
        long running = runningCount();
        // A thread fell idle in the tail: the largest running range gives its
        // second half to a new part, so the last ranges do not run alone.
        while (!failed && m_splitTail && running < m_threadsPerFile && running > 0) {
            std::shared_ptr<SegmentTask> victim = largestRunningRange(tasks);
            if (!victim)
                break;
            const long end = victim->end.load();
            const long from = std::max(victim->done.load(), victim->offset);
            const long middle = from + ((end - from) / 2 / 1024) * 1024;
            long expected = end;
            if (middle <= from || !victim->end.compare_exchange_strong(expected, middle))
                break;
            start(middle, end - middle, victim->reportIndex);
            running = runningCount();
        }
        if (running != reported) {
            reported = running;
            sendProgress(window, WM_DL_THREADS, slot, running);
        }
        if (running < 1)
            break;
        ended->wait(kWaitStep);
    }
    failed = failed || failure->isSet();

    const long joined = failed ? 0 : joinParts(tasks, m_destination);
    for (const auto& task : tasks)
        removeFile(task->partPath);
    setNormalAttributes(m_destination);
    if (!failed && joined == size) {
        sendProgress(window, WM_DL_RECEIVED, slot, size);
        return true;
    }
    removeFile(m_destination);
    return false;
}

bool downloadFile(const std::wstring& url, const std::wstring& destination, int slot, WindowHandle window)
{
    SegmentedDownloader downloader;
    downloader.setThreadsPerFile(threadsPerFileSetting());
    bool ok = downloader.download(url, destination, slot, window);
    setNormalAttributes(destination);
    if (!ok)
        removeFile(destination);
    return ok;
}

} // namespace rk
