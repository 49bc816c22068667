#include "platform/clock.h"

#include <windows.h>

namespace rk {

LocalTime localTimeNow()
{
    SYSTEMTIME st{};
    ::GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

std::int64_t hoursSince2011()
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    SYSTEMTIME base{};
    base.wYear = 2011;
    base.wMonth = 1;
    base.wDay = 1;
    FILETIME a{}, b{};
    ::SystemTimeToFileTime(&now, &a);
    ::SystemTimeToFileTime(&base, &b);
    auto ticks = [](const FILETIME& f) {
        return static_cast<std::int64_t>((static_cast<std::uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime);
    };
    return (ticks(a) - ticks(b)) / 10000000 / 3600;
}

std::int64_t utcSecondsNow()
{
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const auto ticks =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
    // 100 ns ticks since 1601; 11644473600 s lie between 1601 and 1970.
    return ticks / 10000000 - 11644473600LL;
}

} // namespace rk
