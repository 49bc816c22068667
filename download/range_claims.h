#pragma once
// Who transfers which bytes of one file. Every transfer asks an open-ended range
// (from its start to the end of the file), so its answer carries on past its
// own range: rather than stop there and lose the connection, a transfer that
// reaches the end of its range takes the next segment, as long as no other
// transfer starts there. A connection is kept alive only when its answer is
// read to the end, so a file fetched by one transfer costs one request on a
// connection that serves the next file too.
// More transfers start only where they pay: in the middle of the largest part
// still ahead of a running transfer, when both halves keep at least the
// minimum; the running transfer then stops where the new one starts.
// Any thread; one lock, held for a few comparisons.

#include "download/segment_transfer.h"

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace rk {

class RangeClaims {
public:
    using MakeTask = std::function<std::shared_ptr<SegmentTask>(long from, long length)>;

    // segmentSize: the plan's; ranges grow by segments.
    RangeClaims(long fileSize, long segmentSize) : m_fileSize(fileSize), m_segmentSize(segmentSize) {}

    // A transfer whose range was set by its caller.
    void add(const std::shared_ptr<SegmentTask>& task);
    // Called by a transfer that reached its end: moves the end on to the next
    // segment boundary, or to where the next transfer starts when that is
    // sooner. False at the end of the file and where another transfer starts.
    bool extend(SegmentTask& task);
    // A new transfer in the middle of the most bytes still ahead of one running
    // transfer (up to the next one's start or the end of the file), on a 64 KiB
    // boundary, when that part holds at least 2 x minPart bytes; made by make
    // and added. It takes up to the next segment boundary at first. The running
    // transfer's end is lowered to the new start when it had taken bytes beyond.
    // Null when no part is large enough.
    std::shared_ptr<SegmentTask> split(long minPart, const MakeTask& make);
    // Whether split would find a part large enough now.
    bool canSplit(long minPart) const;

    std::vector<std::shared_ptr<SegmentTask>> tasks() const;

private:
    long nextStartAfter(const SegmentTask& task, long from) const; // under the lock
    long firstGrowth(long from, long limit) const;                 // the end a range from `from` takes first
    struct Part {
        std::shared_ptr<SegmentTask> owner; // null when none is large enough
        long from = 0;
        long next = 0;
    };
    Part largestPart(long minPart) const; // under the lock

    const long m_fileSize;
    const long m_segmentSize;
    mutable std::mutex m_lock;
    std::vector<std::shared_ptr<SegmentTask>> m_tasks;
};

} // namespace rk
