#pragma once
// One URL fetched into one local file. With more than one thread per file the
// size is asked first, the file is cut into ranges that run on threads of their
// own into "<destination>.part<i>", and the parts are joined in order; with one
// thread a single transfer writes the destination. Progress goes to an optional
// window (download/progress_messages.h). Blocks the calling thread; several
// downloads may run at once on different threads.

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
    // When a segment thread falls idle after the last planned range started, the
    // largest running range is halved and its second half becomes a new part
    // ("<destination>.part<n>" numbered on), joined in file order; its progress
    // is counted under the segment it came from. On by default.
    void setSplitTail(bool split) { m_splitTail = split; }
    // The URL used, which is the percent-encoded form when only that was served.
    const std::wstring& url() const { return m_url; }
    const std::wstring& destination() const { return m_destination; }

private:
    bool downloadSingle(int slot, WindowHandle window);
    long querySize();
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

// Threads per file from the filethread setting (default 8, raised to at least 1),
// then the download; clears the destination's attributes and deletes it on failure.
bool downloadFile(const std::wstring& url, const std::wstring& destination, int slot, WindowHandle window);

} // namespace rk
