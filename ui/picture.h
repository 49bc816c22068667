#pragma once
// Pictures through the system picture loader (OleLoadPicture), from bytes or
// from a resource of this program. Callable from any thread with COM or without.

#include "platform/com_ptr.h"

#include <cstddef>
#include <cstdint>
#include <vector>

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

namespace rk {

using PicturePtr = ComPtr<IPicture>;

// The bytes of resource `id` of `type` in this program; empty when missing.
std::vector<std::uint8_t> resourceBytes(int id, const wchar_t* type);

// Copies the bytes into movable global memory and loads them; empty on failure.
PicturePtr loadPicture(const std::uint8_t* data, std::size_t size);

// HIMETRIC (0.01 mm) to pixels at `pixelsPerInch`, rounded as MulDiv does.
int himetricToPixels(long himetric, int pixelsPerInch);

// The picture's size in screen pixels (logical pixels per inch of the screen).
SIZE pictureSizePixels(IPicture* picture);

// Draws the whole picture at (x, y) with the given size; false on failure.
bool renderPicture(IPicture* picture, HDC dc, int x, int y, int width, int height);

} // namespace rk
