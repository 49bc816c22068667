#pragma once
// Message pumping for window tests: conditions are awaited in counted steps
// with a generous bound, never judged by how long they took.

#include <cstdint>
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

// Dispatches what is queued as a dialog's modal loop does: keys go through
// IsDialogMessage first (Tab, arrows, Enter).
inline void pumpDialog(HWND dialog)
{
    MSG msg{};
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT)
            return;
        if (!::IsDialogMessageW(dialog, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

// A pixel of what a window shows, as 0x00RRGGBB.
inline std::uint32_t windowPixel(HWND window, int x, int y)
{
    HDC dc = ::GetDC(window);
    const COLORREF colour = ::GetPixel(dc, x, y);
    ::ReleaseDC(window, dc);
    return (static_cast<std::uint32_t>(GetRValue(colour)) << 16) |
           (static_cast<std::uint32_t>(GetGValue(colour)) << 8) | GetBValue(colour);
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
