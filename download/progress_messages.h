#pragma once
// The progress messages of a file download, sent with SendMessageW to the window
// the caller names (none: they are dropped), and the counter updates behind them.

#include "platform/window_messages.h"

#include <cstdint>

namespace rk {

constexpr unsigned WM_DL_FILESIZE = 0x414; // wParam slot, lParam file size
constexpr unsigned WM_DL_RECEIVED = 0x415; // wParam slot, lParam bytes of the file so far
constexpr unsigned WM_DL_THREADS = 0x416;  // wParam slot, lParam running segment threads
constexpr unsigned WM_DL_SEGMENT = 0x42C;  // wParam index x 65536 + slot, lParam bytes of the segment
constexpr unsigned WM_DL_SEGSIZE = 0x42D;  // wParam slot, lParam segment size

// Sends when window is not null; wParam is the slot (-1 for a file outside the list).
void sendProgress(WindowHandle window, unsigned message, int slot, std::intptr_t value);

// Adds bytes (negative takes them back) to the file and segment counters, each
// clamped to [0, fileSize], and sends WM_DL_RECEIVED and WM_DL_SEGMENT.
void addProgress(long bytes, std::int32_t downloaderId, long fileSize, int slot, long index, WindowHandle window);

} // namespace rk
