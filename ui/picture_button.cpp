#include "ui/picture_button.h"

#include "ui/dpi.h"
#include "ui/gdi.h"

#include <algorithm>

namespace rk {

bool CPictureButton::loadImages(int normal, int pressed, int hover, int disabled)
{
    auto load = [](int id) -> PicturePtr {
        if (id == 0)
            return {};
        std::vector<std::uint8_t> bytes = resourceBytes(id, L"GIF");
        return loadPicture(bytes.data(), bytes.size());
    };
    m_normal = load(normal);
    m_pressed = load(pressed);
    m_hoverImage = load(hover);
    m_disabled = load(disabled);
    switch (normalImageSource(available())) {
    case ButtonImage::Pressed:
        m_normal = m_pressed;
        break;
    case ButtonImage::Hover:
        m_normal = m_hoverImage;
        break;
    case ButtonImage::Disabled:
        m_normal = m_disabled;
        break;
    default:
        break;
    }
    if (hwnd())
        ::InvalidateRect(hwnd(), nullptr, FALSE);
    return static_cast<bool>(m_normal);
}

ButtonImageSet CPictureButton::available() const
{
    return {static_cast<bool>(m_normal), static_cast<bool>(m_pressed), static_cast<bool>(m_hoverImage),
            static_cast<bool>(m_disabled)};
}

void CPictureButton::onAttached()
{
    LONG_PTR style = ::GetWindowLongPtrW(hwnd(), GWL_STYLE);
    style = (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW;
    ::SetWindowLongPtrW(hwnd(), GWL_STYLE, style);
    ::InvalidateRect(hwnd(), nullptr, FALSE);
}

void CPictureButton::setDpi(int dpi)
{
    m_dpi = dpi;
    if (hwnd())
        ::InvalidateRect(hwnd(), nullptr, FALSE);
}

bool CPictureButton::onDrawItem(const DRAWITEMSTRUCT& item)
{
    ButtonState state;
    state.selected = (item.itemState & ODS_SELECTED) != 0;
    state.disabled = (item.itemState & ODS_DISABLED) != 0;
    state.hover = m_hover;
    const ButtonImage chosen = imageForState(state, available());
    if (chosen == ButtonImage::None)
        return true;
    const PicturePtr* pictures[] = {&m_normal, &m_pressed, &m_hoverImage, &m_disabled};
    IPicture* picture = pictures[static_cast<int>(chosen)]->get();
    const SIZE size = pictureSizePixels(picture);
    const RECT& area = item.rcItem;
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    const int dpi = m_dpi > 0 ? m_dpi : windowDpi(hwnd());

    // Drawn off-screen first so that the button never shows a half-drawn
    // image; the image itself at its own size first, then enlarged.
    OffscreenImage natural;
    OffscreenImage image;
    if (!natural.create(item.hDC, std::max<LONG>(1, size.cx), std::max<LONG>(1, size.cy)) ||
        !image.create(item.hDC, width, height))
        return true;
    renderPicture(picture, natural.dc(), 0, 0, size.cx, size.cy);
    image.fill(::GetPixel(natural.dc(), 0, 0));
    const int shownWidth = scalePixels(size.cx, dpi);
    const int shownHeight = scalePixels(size.cy, dpi);
    const int left = (width - shownWidth) / 2;
    const int top = (height - shownHeight) / 2;
    if (shownWidth == size.cx && shownHeight == size.cy) {
        ::BitBlt(image.dc(), left, top, size.cx, size.cy, natural.dc(), 0, 0, SRCCOPY);
    } else {
        ::SetStretchBltMode(image.dc(), HALFTONE);
        ::SetBrushOrgEx(image.dc(), 0, 0, nullptr);
        ::StretchBlt(image.dc(), left, top, shownWidth, shownHeight, natural.dc(), 0, 0, size.cx, size.cy, SRCCOPY);
    }
    // The system hides focus cues until the keyboard is used (ODS_NOFOCUSRECT,
    // which not every system sets for owner-drawn buttons: the state is asked too).
    const bool cuesHidden = (item.itemState & ODS_NOFOCUSRECT) != 0 ||
                            (::SendMessageW(hwnd(), WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS) != 0;
    m_focusDrawn = (item.itemState & ODS_FOCUS) != 0 && !cuesHidden;
    if (m_focusDrawn) {
        RECT focus{0, 0, width, height};
        const int inset = scalePixels(2, dpi);
        ::InflateRect(&focus, -inset, -inset);
        ::DrawFocusRect(image.dc(), &focus);
    }
    ::BitBlt(item.hDC, area.left, area.top, width, height, image.dc(), 0, 0, SRCCOPY);
    m_pressedDrawn = state.selected;
    m_drawnState = true;
    m_lastDrawn = chosen;
    return true;
}

bool CPictureButton::onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_MOUSEMOVE:
        if (!m_tracking) {
            TRACKMOUSEEVENT track{};
            track.cbSize = sizeof track;
            track.dwFlags = TME_HOVER | TME_LEAVE;
            track.hwndTrack = hwnd();
            track.dwHoverTime = 1;
            m_tracking = ::TrackMouseEvent(&track) != FALSE;
        }
        break;
    case WM_MOUSEHOVER:
        m_hover = true;
        ::InvalidateRect(hwnd(), nullptr, FALSE);
        result = 0;
        return true;
    case WM_MOUSELEAVE:
        m_hover = false;
        m_tracking = false;
        ::InvalidateRect(hwnd(), nullptr, FALSE);
        result = 0;
        return true;
    default:
        break;
    }
    return Button::onMessage(message, wParam, lParam, result);
}

} // namespace rk
