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

} // namespace rk
