#pragma once
// Owners for device contexts, selections, global memory and off-screen images.
// Each one gives back exactly what it took, on every path.

#include "platform/handles.h"

#include <windows.h>

namespace rk {

struct MemoryDcTraits {
    using Type = HDC;
    static Type empty() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::DeleteDC(h); }
};
using UniqueMemoryDc = UniqueAny<MemoryDcTraits>;

struct GlobalMemoryTraits {
    using Type = HGLOBAL;
    static Type empty() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::GlobalFree(h); }
};
using UniqueGlobal = UniqueAny<GlobalMemoryTraits>;

// A bitmap's size in pixels; 0 x 0 for none.
SIZE bitmapSize(HGDIOBJ bitmap);

// GetDC / ReleaseDC for one window (null: the screen).
class WindowDc {
public:
    explicit WindowDc(HWND window) : m_window(window), m_dc(::GetDC(window)) {}
    ~WindowDc()
    {
        if (m_dc)
            ::ReleaseDC(m_window, m_dc);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return m_dc; }

private:
    HWND m_window;
    HDC m_dc;
};

// BeginPaint / EndPaint inside WM_PAINT.
class PaintDc {
public:
    explicit PaintDc(HWND window) : m_window(window) { m_dc = ::BeginPaint(window, &m_paint); }
    ~PaintDc() { ::EndPaint(m_window, &m_paint); }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    HDC get() const { return m_dc; }
    const RECT& area() const { return m_paint.rcPaint; }

private:
    HWND m_window;
    PAINTSTRUCT m_paint{};
    HDC m_dc = nullptr;
};

// SelectObject that puts the previous object back.
class SelectGuard {
public:
    SelectGuard(HDC dc, HGDIOBJ object) : m_dc(dc), m_old(object ? ::SelectObject(dc, object) : nullptr) {}
    ~SelectGuard()
    {
        if (m_old)
            ::SelectObject(m_dc, m_old);
    }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

// A memory DC with a bitmap compatible with `reference` selected into it; the
// bitmap is deselected before either is deleted. Empty after a failed create.
class OffscreenImage {
public:
    OffscreenImage() = default;
    ~OffscreenImage() { reset(); }
    OffscreenImage(const OffscreenImage&) = delete;
    OffscreenImage& operator=(const OffscreenImage&) = delete;

    bool create(HDC reference, int width, int height);
    void reset();

    HDC dc() const { return m_dc.get(); }
    HBITMAP bitmap() const { return static_cast<HBITMAP>(m_bitmap.get()); }
    int width() const { return m_width; }
    int height() const { return m_height; }
    explicit operator bool() const { return m_dc.valid() && m_bitmap.valid(); }

    void fill(COLORREF colour) const;
    void fill(const RECT& area, COLORREF colour) const;

private:
    UniqueMemoryDc m_dc;
    UniqueGdiObject m_bitmap;
    HGDIOBJ m_oldBitmap = nullptr;
    int m_width = 0;
    int m_height = 0;
};

} // namespace rk
