#include "download/progress_messages.h"

#include "download/counter_table.h"
#include "download/segment_plan.h"

namespace rk {

void sendProgress(WindowHandle window, unsigned message, int slot, std::intptr_t value)
{
    if (window)
        sendMessage(window, message, static_cast<std::uintptr_t>(static_cast<std::intptr_t>(slot)), value);
}

void addProgress(long bytes, std::int32_t downloaderId, long fileSize, int slot, long index, WindowHandle window)
{
    // A transfer of unknown length has no size to clamp to yet.
    const std::uint32_t upper = fileSize > 0 ? static_cast<std::uint32_t>(fileSize) : 0x7FFFFFFFu;
    const auto object = static_cast<std::uint32_t>(downloaderId);
    const counters::ClampedPair now = counters::addClampedBoth(
        counters::key(counters::kFileBytes, object),
        counters::key(counters::kSegmentBytes + static_cast<std::uint32_t>(index), object), bytes, upper);
    sendProgress(window, WM_DL_RECEIVED, slot, now.first);
    if (window)
        sendMessage(window, WM_DL_SEGMENT, segmentWParam(index, slot), now.second);
}

} // namespace rk
