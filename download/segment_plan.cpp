#include "download/segment_plan.h"

#include <algorithm>

namespace rk {

long SegmentPlan::length(long index, long fileSize) const
{
    long long offset = static_cast<long long>(index) * segmentSize;
    return static_cast<long>(std::clamp<long long>(fileSize - offset, 0, segmentSize));
}

SegmentPlan planSegments(long size, long threads)
{
    SegmentPlan plan;
    long q = size / std::max(threads, 1L);
    long t = static_cast<long>(static_cast<long long>(q) * 3 / 4);
    plan.segmentSize = std::max(t / 1024 * 1024, kMinSegmentSize);
    plan.segmentCount = std::max(size / plan.segmentSize + (size % plan.segmentSize ? 1 : 0), 1L);
    return plan;
}

std::wstring partPath(const std::wstring& destination, long index)
{
    return destination + L".part" + std::to_wstring(index);
}

std::uintptr_t segmentWParam(long index, int slot)
{
    return static_cast<std::uintptr_t>(static_cast<std::uint32_t>(index) * 65536u +
                                       (static_cast<std::uint32_t>(slot) & 0xFFFFu));
}

} // namespace rk
