#pragma once
// How the download block view lays out one file: blocks of ratio x 218 bytes,
// a whole number of blocks per segment, as many columns as the view is wide.
// Cells are 10 pixels and the scroll bar's allowance 18 at 96 DPI; the view
// passes both scaled to its DPI. Pure arithmetic; no result ever comes from a
// division by zero.

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

constexpr int kScrollBarAllowance = 18;

// File size and segment size in bytes, view size, cell size and scroll-bar
// allowance in pixels. A segment size of 0 or less counts as one segment for
// the whole file. The scroll height ends 15 pixels (scaled like the cells) below the last row.
BlockLayout layoutBlocks(std::int64_t fileSize, std::int64_t segmentSize, int width, int height,
                         int cellPixels = kCellPixels, int scrollBarAllowance = kScrollBarAllowance);

// Columns that fit the width (at least one).
int columnsFor(int width, int cellPixels = kCellPixels);

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
BlockCell cellOf(int index, int columns, int cellPixels = kCellPixels);

// Whether block `index` is drawn filled, given its segment's stored count
// (negative: the segment has no count yet).
bool isBlockFilled(int index, int blocksPerSegment, int segmentCount);

} // namespace rk
