#pragma once
// The process-wide counter table of the download engine: 64-bit keys (category in
// the high half, downloader id in the low half) to 32-bit values. Every operation
// takes the named event "threadValueEvent", so updater processes that share it
// serialise against each other. A missing key reads 0; storing 0 removes it.

#include <cstddef>
#include <cstdint>

namespace rk::counters {

constexpr std::uint32_t kNextId = 0xE0000;          // CTR_NEXT_ID, object 0: last id handed out
constexpr std::uint32_t kFailed = 0xE0001;          // CTR_FAILED: kFailMark once a segment failed
constexpr std::uint32_t kFileBytes = 0xE0002;       // CTR_FILE_BYTES: bytes received for the file
constexpr std::uint32_t kRunning = 0xE0003;         // CTR_RUNNING: segment threads counted as running
constexpr std::uint32_t kSegmentBytes = 0xD0000000; // CTR_SEGMENT_BYTES + segment index
constexpr std::uint32_t kFailMark = 9999;           // FAIL_MARK

constexpr std::uint64_t key(std::uint32_t category, std::uint32_t object)
{
    return (static_cast<std::uint64_t>(category) << 32) | object;
}

std::uint32_t get(std::uint64_t key);
void set(std::uint64_t key, std::uint32_t value);
// Adds (wrapping) to the value, a missing key counting as 0; returns the new value.
std::uint32_t add(std::uint64_t key, std::int32_t delta);
// old + delta clamped to [0, upper], stored and returned, as one operation.
std::uint32_t addClamped(std::uint64_t key, std::int64_t delta, std::uint32_t upper);
// addClamped on two keys as one operation: one wait for the lock instead of two.
struct ClampedPair {
    std::uint32_t first = 0;
    std::uint32_t second = 0;
};
ClampedPair addClampedBoth(std::uint64_t first, std::uint64_t second, std::int64_t delta, std::uint32_t upper);

// Keys held right now; exposed for tests.
std::size_t size();

} // namespace rk::counters
