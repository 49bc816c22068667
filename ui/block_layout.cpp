#include "ui/block_layout.h"

#include <algorithm>

namespace rk {

int columnsFor(int width) { return std::max(1, width / kCellPixels); }

BlockLayout layoutBlocks(std::int64_t fileSize, std::int64_t segmentSize, int width, int height)
{
    BlockLayout layout;
    layout.columns = columnsFor(width);
    if (fileSize <= 0) {
        layout.totalBlocks = 0;
        layout.scrollHeight = 10;
        return layout;
    }
    if (segmentSize <= 0)
        segmentSize = fileSize;
    const std::int64_t visible = std::max<std::int64_t>(1, std::int64_t{layout.columns} * (height / kCellPixels));
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
    const std::int64_t rows = (total + layout.columns - 1) / layout.columns;
    if (height < kCellPixels * rows)
        layout.columns = std::max(1, (width - 18) / kCellPixels);
    layout.scrollHeight = static_cast<int>(total / layout.columns) * kCellPixels + 15;
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

BlockCell cellOf(int index, int columns)
{
    columns = std::max(1, columns);
    return {(index % columns) * kCellPixels, (index / columns) * kCellPixels};
}

bool isBlockFilled(int index, int blocksPerSegment, int segmentCount)
{
    if (segmentCount < 0 || blocksPerSegment <= 0)
        return false;
    return index % blocksPerSegment <= segmentCount;
}

} // namespace rk
