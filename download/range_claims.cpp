#include "download/range_claims.h"

#include <algorithm>

namespace rk {
namespace {

constexpr long kSplitAlignment = 64 * 1024;

} // namespace

void RangeClaims::add(const std::shared_ptr<SegmentTask>& task)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_tasks.push_back(task);
}

std::vector<std::shared_ptr<SegmentTask>> RangeClaims::tasks() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_tasks;
}

long RangeClaims::nextStartAfter(const SegmentTask& task, long from) const
{
    long next = m_fileSize;
    for (const auto& other : m_tasks) {
        if (other.get() != &task && other->offset >= from && other->offset < next)
            next = other->offset;
    }
    return next;
}

long RangeClaims::firstGrowth(long from, long limit) const
{
    const long boundary = m_segmentSize > 0 ? (from / m_segmentSize + 1) * m_segmentSize : m_fileSize;
    return std::min(boundary, limit);
}

bool RangeClaims::extend(SegmentTask& task)
{
    std::lock_guard<std::mutex> hold(m_lock);
    const long end = task.end.load();
    if (end >= m_fileSize)
        return false;
    const long next = nextStartAfter(task, end);
    if (next <= end)
        return false;
    task.end.store(firstGrowth(end, next));
    return true;
}

RangeClaims::Part RangeClaims::largestPart(long minPart) const
{
    Part part;
    long most = 2 * minPart - 1;
    for (const auto& task : m_tasks) {
        if (task->finished.load())
            continue;
        const long at = std::max(task->done.load(), task->offset);
        const long limit = nextStartAfter(*task, at);
        if (limit - at > most) {
            most = limit - at;
            part.owner = task;
            part.from = at;
            part.next = limit;
        }
    }
    return part;
}

bool RangeClaims::canSplit(long minPart) const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return largestPart(minPart).owner != nullptr;
}

std::shared_ptr<SegmentTask> RangeClaims::split(long minPart, const MakeTask& make)
{
    std::lock_guard<std::mutex> hold(m_lock);
    const Part part = largestPart(minPart);
    if (!part.owner)
        return nullptr;
    const std::shared_ptr<SegmentTask>& owner = part.owner;
    const long from = part.from, next = part.next;
    // In the middle, so that both halves take the same time; on a 64 KiB
    // boundary (segment boundaries can lie too far from it).
    const long middle = from + (next - from) / 2;
    const long start = std::max(middle / kSplitAlignment * kSplitAlignment, from + 1);
    long end = owner->end.load();
    while (end > start && !owner->end.compare_exchange_weak(end, start)) {
    }
    std::shared_ptr<SegmentTask> task = make(start, firstGrowth(start, next) - start);
    if (task)
        m_tasks.push_back(task);
    return task;
}

} // namespace rk
