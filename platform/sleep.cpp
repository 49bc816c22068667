#include "platform/sleep.h"

#include "platform/handles.h"

#include <windows.h>

namespace rk {
namespace {

// CREATE_WAITABLE_TIMER_HIGH_RESOLUTION (Windows 10 1803), missing from older headers.
constexpr DWORD kHighResolutionTimer = 0x00000002;

// A Sleep lasts at least one tick of the system clock: 15.6 ms unless some
// program asked for finer ticks. The pause per file of the copy stage and its
// checks would then cost a second for every 64 files instead of 64 ms. Measured
// once, on the second of two sleeps (the first one ends on a tick, so the second
// lasts a whole one): where a short Sleep is short already, it stays. A busy
// moment that stretches it only costs the timer's few calls per pause.
bool sleepIsCoarse()
{
    static const bool coarse = [] {
        LARGE_INTEGER frequency{}, before{}, after{};
        if (!::QueryPerformanceFrequency(&frequency))
            return false;
        ::Sleep(1);
        ::QueryPerformanceCounter(&before);
        ::Sleep(1);
        ::QueryPerformanceCounter(&after);
        return (after.QuadPart - before.QuadPart) * 1000 > 8 * frequency.QuadPart;
    }();
    return coarse;
}

// A pause of the asked length on a high-resolution timer; false where the
// system has none.
bool preciseSleep(unsigned long milliseconds)
{
    UniqueHandle timer(::CreateWaitableTimerExW(nullptr, nullptr, kHighResolutionTimer, TIMER_ALL_ACCESS));
    if (!timer)
        return false;
    LARGE_INTEGER due{};
    due.QuadPart = -static_cast<LONGLONG>(milliseconds) * 10000; // relative, in 100 ns
    if (!::SetWaitableTimer(timer.get(), &due, 0, nullptr, nullptr, FALSE))
        return false;
    return ::WaitForSingleObject(timer.get(), INFINITE) == WAIT_OBJECT_0;
}

} // namespace

void sleepFor(unsigned long milliseconds)
{
    if (milliseconds > 0 && milliseconds < 16 && sleepIsCoarse() && preciseSleep(milliseconds))
        return;
    ::Sleep(milliseconds);
}

} // namespace rk
