#pragma once
// Message pumping for window tests: conditions are awaited in counted steps
// with a generous bound, never judged by how long they took.

#include <functional>

#include <windows.h>

namespace rk {

// Dispatches what is queued; returns false when a WM_QUIT was taken.
inline bool pumpPending()
{
    MSG msg{};
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT)
            return false;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return true;
}

// Pumps in 10 ms steps until the condition holds; at most `steps` steps.
inline bool pumpUntil(const std::function<bool()>& condition, int steps = 3000)
{
    for (int i = 0; i < steps; ++i) {
        pumpPending();
        if (condition())
            return true;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return condition();
}

} // namespace rk
