#include "download/segmented_downloader.h"

#include "core/path_text.h"
#include "core/process_state.h"
#include "core/settings.h"
#include "download/counter_table.h"
#include "download/http_session.h"
#include "download/progress_messages.h"
#include "download/range_claims.h"
#include "download/segment_plan.h"
#include "download/segment_transfer.h"
#include "download/url_encoding.h"
#include "platform/event.h"
#include "platform/file_probe.h"
#include "platform/file_reader.h"
#include "platform/files.h"
#include "platform/sleep.h"
#include "platform/stream_file.h"
#include "platform/worker_pool.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

namespace rk {
namespace {

constexpr std::size_t kBlock = 1024;
// The 1 KiB blocks of the join are gathered into large reads and writes: each
// system call is a round trip to the Wine server (0.9 s on 256 MB otherwise).
constexpr std::size_t kJoinBuffer = 1 << 20;
// The splitter looks again at least this often; a transfer that ends wakes it at once.
constexpr unsigned long kWaitStep = 50; // ms
// The least a split leaves on either side. A new transfer costs a request (and a
// handshake where no idle connection is at hand), and the transfer it cuts short
// loses its connection; on less than this, reading on is cheaper.
constexpr long kMinSplitPart = 1024 * 1024;

// The splits a download pass still allows (see allowSplits); below 0 while no
// pass runs, and then each download has an allowance of its own.
std::atomic<long> g_passSplits{-1};

// One split, from the pass's allowance while a pass runs, else from the download's.
bool takeSplit(long& ownSplits)
{
    long left = g_passSplits.load();
    while (left > 0 && !g_passSplits.compare_exchange_weak(left, left - 1)) {
    }
    if (left >= 0)
        return left > 0;
    return ownSplits-- > 0;
}

void returnSplit(long& ownSplits)
{
    long left = g_passSplits.load();
    while (left >= 0 && !g_passSplits.compare_exchange_weak(left, left + 1)) {
    }
    if (left < 0)
        ++ownSplits;
}

std::uint64_t runningKey(std::int32_t id) { return counters::key(counters::kRunning, static_cast<std::uint32_t>(id)); }

// Leaves the running count and wakes the splitter, also when the transfer threw.
// Without a splitter (one transfer on the downloader's own thread) nobody reads
// the count: it is not kept.
class RunningSlot {
public:
    RunningSlot(std::int32_t id, std::shared_ptr<Event> ended) : m_id(id), m_ended(std::move(ended)) {}
    ~RunningSlot()
    {
        if (!m_ended)
            return;
        counters::add(runningKey(m_id), -1);
        m_ended->set();
    }
    RunningSlot(const RunningSlot&) = delete;
    RunningSlot& operator=(const RunningSlot&) = delete;

private:
    std::int32_t m_id;
    std::shared_ptr<Event> m_ended; // the splitter may be gone once the count is down
};

// With a splitter, the count was raised by the caller before the thread existed.
void runSegment(SegmentTask& task, ReceivedAnswer* first, const std::shared_ptr<Event>& ended)
{
    RunningSlot slot(task.downloaderId, ended);
    try {
        StreamFile part;
        if (task.failure->isSet() || !part.create(task.partPath))
            task.failure->set();
        else if (downloadSegment(task, part, first))
            part.setNormalAttributes(); // kept when the part becomes the file by a rename
    } catch (...) {
        task.failure->set();
    }
    task.finished.store(true);
}

// Copies the ranges of the parts, in file order, into the destination; the
// length reached. Stops at the first part that cannot be read or is short. A
// single part that holds exactly the file becomes the destination by a rename.
long joinParts(std::vector<std::shared_ptr<SegmentTask>> tasks, const std::wstring& destination, long size)
{
    std::sort(tasks.begin(), tasks.end(),
              [](const std::shared_ptr<SegmentTask>& a, const std::shared_ptr<SegmentTask>& b) {
                  return a->offset < b->offset;
              });
    // The transfer checked the part's length on its handle before closing it.
    if (tasks.size() == 1 && tasks[0]->offset == 0 && tasks[0]->end.load() == size && tasks[0]->done.load() == size &&
        moveFileReplacing(tasks[0]->partPath, destination))
        return size;
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
    out.setNormalAttributes();
    // The handle's length counts every byte written; nothing needs to reach the disk first.
    return static_cast<long>(std::min<std::uint64_t>(out.size(), 0x7FFFFFFF));
}

// A scanner or indexer may hold a fresh file open for a moment; a few counted
// retries keep a failed download from leaving it behind.
void removeFile(const std::wstring& path)
{
    // Looking costs no open of the file; most parts are gone by their rename.
    if (!pathExists(path))
        return;
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
            if (ok)
                file.setNormalAttributes();
        }
    }
    if (!ok)
        removeFile(m_destination);
    return ok;
}

SizeAnswer SegmentedDownloader::querySize()
{
    SizeAnswer answer;
    for (long round = 0; round < connectionAttempts() && answer.size < 0 && !m_stopped; ++round) {
        answer = openSizeQuery(m_url);
        if (answer.size >= 0)
            break;
        std::wstring encoded = percentEncodeUrl(m_url);
        if (encoded != m_url) {
            answer = openSizeQuery(encoded);
            if (answer.size >= 0)
                m_url = encoded;
        }
    }
    return answer;
}

bool SegmentedDownloader::splitAndJoin(int slot, WindowHandle window)
{
    // The size query's answer is the file from its first byte: it becomes the
    // first range, so a file read by one transfer costs this one request.
    SizeAnswer query = querySize();
    const long size = query.size;
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

    auto failure = std::make_shared<FailureMark>(m_id);
    watch(failure);
    RangeClaims claims(size, plan.segmentSize);
    long nextIndex = 0;
    auto make = [&](long offset, long length) {
        auto task = std::make_shared<SegmentTask>();
        task->url = m_url;
        task->index = nextIndex++;
        task->partPath = partPath(m_destination, task->index);
        task->offset = offset;
        task->length = length;
        task->segmentSize = plan.segmentSize;
        task->end.store(offset + length);
        task->done.store(offset);
        task->downloaderId = m_id;
        task->fileSize = size;
        task->slot = slot;
        task->window = window;
        task->failure = failure;
        task->claims = &claims;
        return task;
    };
    auto first = std::make_shared<ReceivedAnswer>();
    first->session = std::move(query.session);
    first->request = std::move(query.request);
    const std::shared_ptr<SegmentTask> head = make(0, plan.length(0, size));
    claims.add(head);

    bool failed = false;
    if (!m_splitTail || size < 2 * kMinSplitPart) {
        // One transfer reads the whole file, here: no thread to start or wait for.
        sendProgress(window, WM_DL_THREADS, slot, 1);
        runSegment(*head, first.get(), nullptr);
        sendProgress(window, WM_DL_THREADS, slot, 0);
    } else {
        // Segment threads wake the splitter when they end, so its pauses end
        // early instead of always running their full step.
        auto ended = std::make_shared<Event>();
        auto start = [&](const std::shared_ptr<SegmentTask>& task, const std::shared_ptr<ReceivedAnswer>& answer) {
            // Counted before the thread exists, so a thread that starts late is
            // still waited for and its part file still joined or removed.
            counters::add(runningKey(m_id), 1);
            bool started = false;
            try {
                started = runOnWorker([task, answer, ended] { runSegment(*task, answer.get(), ended); });
            } catch (...) {
                // Out of memory for the thread's body: the same as a refused thread.
            }
            if (!started) {
                counters::add(runningKey(m_id), -1);
                task->finished.store(true);
                failure->set();
            }
        };
        start(head, first);
        long ownSplits = 2 * m_threadsPerFile;
        long reported = 0;
        for (;;) {
            failed = failed || failure->isSet();
            long running = runningCount();
            // Free threads take the middle of the largest part still ahead of a
            // running transfer, as long as both halves stay large enough.
            while (!failed && running < m_threadsPerFile && claims.canSplit(kMinSplitPart) && takeSplit(ownSplits)) {
                std::shared_ptr<SegmentTask> task = claims.split(kMinSplitPart, make);
                if (!task) {
                    returnSplit(ownSplits); // not used after all
                    break;
                }
                start(task, nullptr);
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
    }
    failed = failed || failure->isSet();

    const std::vector<std::shared_ptr<SegmentTask>> tasks = claims.tasks();
    const long joined = failed ? 0 : joinParts(tasks, m_destination, size);
    for (const auto& task : tasks)
        removeFile(task->partPath);
    if (!failed && joined == size) {
        sendProgress(window, WM_DL_RECEIVED, slot, size);
        return true;
    }
    removeFile(m_destination);
    return false;
}

PassSplits::PassSplits(long count) { g_passSplits.store(std::max(count, 0L)); }
PassSplits::~PassSplits() { g_passSplits.store(-1); }

bool downloadFile(const std::wstring& url, const std::wstring& destination, int slot, WindowHandle window)
{
    SegmentedDownloader downloader;
    downloader.setThreadsPerFile(threadsPerFileSetting());
    bool ok = downloader.download(url, destination, slot, window);
    if (!ok)
        removeFile(destination);
    return ok;
}

} // namespace rk
