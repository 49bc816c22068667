#include "ui/gdi.h"

namespace rk {

SIZE bitmapSize(HGDIOBJ bitmap)
{
    BITMAP info{};
    if (!bitmap || !::GetObjectW(bitmap, sizeof info, &info))
        return SIZE{0, 0};
    return SIZE{info.bmWidth, info.bmHeight};
}

bool OffscreenImage::create(HDC reference, int width, int height)
{
    reset();
    if (width <= 0 || height <= 0)
        return false;
    m_dc.reset(::CreateCompatibleDC(reference));
    if (!m_dc)
        return false;
    m_bitmap.reset(::CreateCompatibleBitmap(reference, width, height));
    if (!m_bitmap) {
        m_dc.reset();
        return false;
    }
    m_oldBitmap = ::SelectObject(m_dc.get(), m_bitmap.get());
    m_width = width;
    m_height = height;
    return true;
}

void OffscreenImage::reset()
{
    if (m_dc && m_oldBitmap)
        ::SelectObject(m_dc.get(), m_oldBitmap);
    m_oldBitmap = nullptr;
    m_bitmap.reset();
    m_dc.reset();
    m_width = m_height = 0;
}

void OffscreenImage::fill(COLORREF colour) const { fill(RECT{0, 0, m_width, m_height}, colour); }

void OffscreenImage::fill(const RECT& area, COLORREF colour) const
{
    if (!m_dc)
        return;
    UniqueGdiObject brush(::CreateSolidBrush(colour));
    if (brush)
        ::FillRect(m_dc.get(), &area, static_cast<HBRUSH>(brush.get()));
}

} // namespace rk
