#pragma once
// One URL fetched into one local file. With more than one thread per file the
// size is asked first and the answer's body becomes the first range; that
// transfer reads on segment by segment, and larger files get more transfers on
// threads of their own, each into "<destination>.part<i>", joined in file order
// (download/range_claims.h). With one thread a single transfer writes the
// destination. Progress goes to an optional window (download/progress_messages.h).
// Blocks the calling thread; several downloads may run at once on different threads.

#include "download/http_session.h"
#include "platform/window_messages.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace rk {

class FailureMark;

class SegmentedDownloader {
public:
    SegmentedDownloader(); // takes the next id of the process, the first being 1
    SegmentedDownloader(const SegmentedDownloader&) = delete;
    SegmentedDownloader& operator=(const SegmentedDownloader&) = delete;

    // True when the destination holds the whole remote file. On failure no part
    // file is left and the destination is deleted.
    bool download(const std::wstring& url, const std::wstring& destination, int slot, WindowHandle window);
    // From any thread: the running download ends at the next block of each
    // range, removes its part files and the destination, and returns false; a
    // later download() ends at once.
    void stop();

    std::int32_t id() const { return m_id; }
    long fileSize() const { return m_fileSize; } // 0 before the size query, -1 after a failed one
    long segmentCount() const { return m_segmentCount; }
    long threadsPerFile() const { return m_threadsPerFile; }
    void setThreadsPerFile(long threads) { m_threadsPerFile = threads; }
    // Whether more transfers than the first may start: in the middle of the
    // largest part still ahead of a running transfer, when both halves keep at
    // least 1 MiB, while fewer than threadsPerFile run; each into a new part
    // ("<destination>.part<n>" numbered on), joined in file order. On by default.
    void setSplitTail(bool split) { m_splitTail = split; }
    // The URL used, which is the percent-encoded form when only that was served.
    const std::wstring& url() const { return m_url; }
    const std::wstring& destination() const { return m_destination; }

private:
    bool downloadSingle(int slot, WindowHandle window);
    SizeAnswer querySize();
    // Makes `failure` the running download's mark, set at once after a stop.
    void watch(const std::shared_ptr<FailureMark>& failure);
    bool splitAndJoin(int slot, WindowHandle window);
    long runningCount() const;

    std::int32_t m_id = 0;
    long m_fileSize = 0;
    long m_segmentCount = 0;
    long m_threadsPerFile = 8;
    bool m_splitTail = true;
    std::wstring m_url;
    std::wstring m_destination;
    std::atomic<bool> m_stopped{false};
    std::mutex m_failureLock; // guards m_failure
    std::shared_ptr<FailureMark> m_failure;
};

// Each split stops a running transfer before its answer ends, which closes its
// connection; all others are read to their end and kept. While a download pass
// holds this object, all its downloads together may split count times (the
// pass passes threadcount, the transfers it runs at once), so that a whole run
// opens at most threadcount x (filethread + 1) connections per server. A
// download outside a pass may split twice its threads per file. One pass at a time.
class PassSplits {
public:
    explicit PassSplits(long count);
    ~PassSplits();
    PassSplits(const PassSplits&) = delete;
    PassSplits& operator=(const PassSplits&) = delete;
};

// Threads per file from the filethread setting (default 8, raised to at least 1),
// then the download; clears the destination's attributes and deletes it on failure.
bool downloadFile(const std::wstring& url, const std::wstring& destination, int slot, WindowHandle window);

} // namespace rk
