#include "ui/dpi.h"

#include "ui/gdi.h"

namespace rk {
namespace {

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);

// Looked up once: linking to it would keep the program from starting on
// Windows 7 and 8.1, which lack it.
GetDpiForWindowFunction getDpiForWindow()
{
    static const GetDpiForWindowFunction function = [] {
        HMODULE user = ::GetModuleHandleW(L"user32.dll");
        return user ? reinterpret_cast<GetDpiForWindowFunction>(
                          reinterpret_cast<void*>(::GetProcAddress(user, "GetDpiForWindow")))
                    : nullptr;
    }();
    return function;
}

int sane(int dpi) { return dpi >= kBaseDpi / 4 ? dpi : kBaseDpi; }

// Floor and ceiling of value x dpi / 96 for the edges of a covering rectangle.
LONG scaledDown(LONG value, int dpi)
{
    const long long product = static_cast<long long>(value) * dpi;
    return static_cast<LONG>(product >= 0 ? product / kBaseDpi : -((-product + kBaseDpi - 1) / kBaseDpi));
}
LONG scaledUp(LONG value, int dpi) { return -scaledDown(-value, dpi); }

} // namespace

int systemDpi()
{
    WindowDc screen(nullptr);
    return sane(screen.get() ? ::GetDeviceCaps(screen.get(), LOGPIXELSX) : kBaseDpi);
}

int windowDpi(HWND window)
{
    if (window) {
        if (GetDpiForWindowFunction function = getDpiForWindow()) {
            const UINT dpi = function(window);
            if (dpi > 0)
                return sane(static_cast<int>(dpi));
        }
    }
    return systemDpi();
}

RECT scaleRect(const RECT& area, int dpi)
{
    return RECT{scalePixels(area.left, dpi), scalePixels(area.top, dpi), scalePixels(area.right, dpi),
                scalePixels(area.bottom, dpi)};
}

RECT coveringRect(const RECT& area, int dpi)
{
    return RECT{scaledDown(area.left, dpi), scaledDown(area.top, dpi), scaledUp(area.right, dpi),
                scaledUp(area.bottom, dpi)};
}

} // namespace rk
