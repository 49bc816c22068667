#pragma once
// How the download block view lays out one file: blocks of ratio x 218 bytes,
// a whole number of blocks per segment, as many columns as the view is wide.
// Pure arithmetic; no result ever comes from a division by zero.

#include <cstdint>

namespace rk {

constexpr int kBlockBytes = 218;
constexpr int kCellPixels = 10;

struct BlockLayout {
    int columns = 1;
    int blocksPerSegment = 10;
    int ratio = 1;       // units of kBlockBytes per block, at least 1
    int totalBlocks = 0; // 0: nothing laid out (the view shows its text)
    int scrollHeight = 10;
};

// File size and segment size in bytes, view size in pixels. A segment size of
// 0 or less counts as one segment for the whole file.
BlockLayout layoutBlocks(std::int64_t fileSize, std::int64_t segmentSize, int width, int height);

// Columns that fit the width (at least one).
int columnsFor(int width);

// Blocks a segment has filled after `bytes`.
int filledBlocks(std::int64_t bytes, int ratio);

// The blocks to repaint when a segment's count moves from `before` to `after`:
// first .. last inclusive, in file order.
struct BlockSpan {
    int first = 0;
    int last = -1;
};
BlockSpan changedBlocks(int segment, int before, int after, int blocksPerSegment);

// Top-left pixel of block `index` in content coordinates.
struct BlockCell {
    int x = 0;
    int y = 0;
};
BlockCell cellOf(int index, int columns);

// Whether block `index` is drawn filled, given its segment's stored count
// (negative: the segment has no count yet).
bool isBlockFilled(int index, int blocksPerSegment, int segmentCount);

} // namespace rk
