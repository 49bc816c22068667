#include "ui/block_layout.h"

#include <algorithm>

namespace rk {

int columnsFor(int width, int cellPixels) { return std::max(1, width / std::max(1, cellPixels)); }

BlockLayout layoutBlocks(std::int64_t fileSize, std::int64_t segmentSize, int width, int height, int cellPixels,
                         int scrollBarAllowance)
{
    cellPixels = std::max(1, cellPixels);
    BlockLayout layout;
    layout.columns = columnsFor(width, cellPixels);
    if (fileSize <= 0) {
        layout.totalBlocks = 0;
        layout.scrollHeight = cellPixels;
        return layout;
    }
    if (segmentSize <= 0)
        segmentSize = fileSize;
    const std::int64_t visible = std::max<std::int64_t>(1, std::int64_t{layout.columns} * (height / cellPixels));
    const std::int64_t units = fileSize / kBlockBytes;
    // The smallest ratio with units / ratio below the visible cells.
    std::int64_t ratio = units / visible + 1;
    std::int64_t perSegment = std::max<std::int64_t>(20, segmentSize / kBlockBytes / ratio);
    // A segment under 20 x 218 bytes would give ratio 0: a block is never
    // smaller than one unit.
    ratio = std::max<std::int64_t>(1, segmentSize / kBlockBytes / perSegment);
    const std::int64_t total = perSegment * (fileSize / segmentSize) + (fileSize % segmentSize) / kBlockBytes / ratio;
    layout.ratio = static_cast<int>(ratio);
    layout.blocksPerSegment = static_cast<int>(perSegment);
    layout.totalBlocks = static_cast<int>(total);
    // 15 below the last row at 96 DPI, in proportion to the cells at others.
    const int margin = cellPixels * 15 / kCellPixels;
    auto extent = [&] { return static_cast<int>(total / layout.columns) * cellPixels + margin; };
    const std::int64_t rows = (total + layout.columns - 1) / layout.columns;
    // The scroll bar shows whenever the extent is higher than the view, the
    // margin below the rows included: the columns then leave it room.
    if (height < cellPixels * rows || extent() > height)
        layout.columns = std::max(1, (width - scrollBarAllowance) / cellPixels);
    layout.scrollHeight = extent();
    return layout;
}

int filledBlocks(std::int64_t bytes, int ratio)
{
    if (bytes <= 0)
        return 0;
    return static_cast<int>(bytes / kBlockBytes / std::max(1, ratio));
}

BlockSpan changedBlocks(int segment, int before, int after, int blocksPerSegment)
{
    const int base = segment * blocksPerSegment;
    return {base + std::min(before, after), base + std::max(before, after)};
}

BlockCell cellOf(int index, int columns, int cellPixels)
{
    columns = std::max(1, columns);
    return {(index % columns) * cellPixels, (index / columns) * cellPixels};
}

bool isBlockFilled(int index, int blocksPerSegment, int segmentCount)
{
    if (segmentCount < 0 || blocksPerSegment <= 0)
        return false;
    return index % blocksPerSegment <= segmentCount;
}

} // namespace rk
