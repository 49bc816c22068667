#pragma once
// File deltas: one zstd frame that turns one version of a file (the base) into
// the next. The base is the frame's prefix, long-distance matching is on and the
// window covers the base ("patch-from"), so `zstd --patch-from=BASE` makes and
// applies the same frames. Any thread; applies run one at a time, so that a
// pass holds one base and one result in memory at most.

#include <cstddef>
#include <cstdint>
#include <string>

namespace rk {

// Applying holds the base and the result in memory: a delta whose window, base
// or result is larger than this is refused.
constexpr std::uint64_t kMaxDeltaWindow = 256ull << 20;
// zstd -19, the strongest level whose frames any decoder applies with a window
// of its own choosing.
constexpr int kDeltaLevel = 19;

struct DeltaFrameInfo {
    bool valid = false;   // one whole zstd frame and nothing after it
    std::wstring problem; // why not, for the log line
    std::uint64_t window = 0;
    bool contentSizeKnown = false;
    std::uint64_t contentSize = 0;
};

// What the frame header of a delta held in memory says.
DeltaFrameInfo inspectDeltaFrame(const void* data, std::size_t bytes);

// The window log of a delta from a base of baseBytes to a file of targetBytes:
// one more than the highest bit of the larger, as zstd --patch-from chooses it.
unsigned deltaWindowLog(std::uint64_t baseBytes, std::uint64_t targetBytes);

// Writes the base changed by the delta to output. Empty when output holds
// exactly expectedSize bytes made that way; otherwise the reason, and output is
// deleted. Refuses a window, base or result beyond bound before allocating.
std::wstring applyDelta(const std::wstring& base, const std::wstring& delta, const std::wstring& output,
                        std::uint64_t expectedSize, std::uint64_t bound = kMaxDeltaWindow);

// Writes the delta from base to target. Empty on success; otherwise the reason,
// and no delta file is left.
std::wstring makeDelta(const std::wstring& base, const std::wstring& target, const std::wstring& delta,
                       int level = kDeltaLevel);

} // namespace rk
