#pragma once
// The local wall clock.

#include <cstdint>

namespace rk {

struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

LocalTime localTimeNow();

// Whole hours since 2011-01-01 00:00 local time.
std::int64_t hoursSince2011();

// Seconds since 1970-01-01 00:00 UTC.
std::int64_t utcSecondsNow();

} // namespace rk
