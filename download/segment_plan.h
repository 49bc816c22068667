#pragma once
// How a file is cut into byte ranges, and the names and message words that go
// with them. Pure functions.

#include <cstdint>
#include <string>

namespace rk {

constexpr long kMinSegmentSize = 51200;

struct SegmentPlan {
    long segmentSize = 0;
    long segmentCount = 0;
    long length(long index, long fileSize) const; // bytes of segment index
};

// Three quarters of size / threads, rounded down to 1 KiB, at least 51200 bytes.
// size must be above 0; threads below 1 count as 1.
SegmentPlan planSegments(long size, long threads);

// "%s.part%d": the destination followed by ".part" and the index.
std::wstring partPath(const std::wstring& destination, long index);

// wParam of WM_DL_SEGMENT: index x 65536 + (slot & 0xFFFF).
std::uintptr_t segmentWParam(long index, int slot);

} // namespace rk
