#pragma once
// Pixel measures of the windows at their DPI. The program declares itself
// aware of each monitor's DPI, so Windows draws nothing larger for it: every
// measure given in pixels at 96 DPI (100 %) is scaled here. Any thread.

#include <windows.h>

namespace rk {

constexpr int kBaseDpi = 96;

// GetDpiForWindow where the system has it (Windows 10 1607 and later), else
// the system DPI; never below 96 / 4 nor 0.
int windowDpi(HWND window);
int systemDpi();

// `pixels` at 96 DPI, at `dpi` (rounded to the nearest pixel).
inline int scalePixels(int pixels, int dpi) { return ::MulDiv(pixels, dpi, kBaseDpi); }
// Each edge scaled on its own, so that rectangles that touch at 96 DPI still touch.
RECT scaleRect(const RECT& area, int dpi);
// The smallest rectangle at `dpi` that covers `area` of an image drawn at
// dpi / 96 of its size (edges rounded outwards).
RECT coveringRect(const RECT& area, int dpi);

} // namespace rk
