#include "ui/scroll_view.h"

#include "ui/gdi.h"

#include <algorithm>

namespace rk {
namespace {

constexpr wchar_t kClassName[] = L"RenewKitScrollView";

bool registerClass()
{
    static const bool registered = [] {
        WNDCLASSEXW cls{};
        cls.cbSize = sizeof cls;
        cls.style = CS_HREDRAW | CS_VREDRAW;
        cls.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
            return ::DefWindowProcW(window, message, wParam, lParam);
        };
        cls.hInstance = ::GetModuleHandleW(nullptr);
        cls.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        cls.lpszClassName = kClassName;
        return ::RegisterClassExW(&cls) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

} // namespace

ScrollView::~ScrollView() { destroy(); }

bool ScrollView::create(HWND parent, const RECT& area, int id)
{
    if (m_hwnd || !registerClass())
        return false;
    HWND window =
        ::CreateWindowExW(WS_EX_CLIENTEDGE, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP, area.left,
                          area.top, area.right - area.left, area.bottom - area.top, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
    if (!window)
        return false;
    // The class procedure is a plain default one; the object's procedure is set
    // per window so that the object pointer is there before any of our handling.
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ScrollView::procedure));
    m_hwnd = window;
    updateScrollBar();
    onCreate();
    return true;
}

bool ScrollView::createOver(HWND dialog, int id)
{
    HWND item = ::GetDlgItem(dialog, id);
    if (!item)
        return false;
    RECT area{};
    ::GetWindowRect(item, &area);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&area), 2);
    ::ShowWindow(item, SW_HIDE);
    if (!create(dialog, area, id))
        return false;
    // In the item's place in the tab order too.
    ::SetWindowPos(m_hwnd, item, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return true;
}

void ScrollView::destroy()
{
    if (m_hwnd) {
        HWND window = m_hwnd;
        m_hwnd = nullptr;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        ::DestroyWindow(window);
    }
}

void ScrollView::setScrollHeight(int height)
{
    m_scrollHeight = std::max(0, height);
    updateScrollBar();
    scrollTo(m_position);
}

int ScrollView::clientHeight() const
{
    RECT client{};
    if (m_hwnd)
        ::GetClientRect(m_hwnd, &client);
    return client.bottom - client.top;
}

void ScrollView::scrollTo(int position)
{
    const int limit = std::max(0, m_scrollHeight - clientHeight());
    position = std::clamp(position, 0, limit);
    if (position == m_position)
        return;
    m_position = position;
    if (m_hwnd) {
        ::SetScrollPos(m_hwnd, SB_VERT, m_position, TRUE);
        ::InvalidateRect(m_hwnd, nullptr, TRUE);
    }
}

void ScrollView::updateScrollBar()
{
    if (!m_hwnd)
        return;
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 0;
    info.nMax = std::max(0, m_scrollHeight - 1);
    info.nPage = static_cast<UINT>(clientHeight());
    info.nPos = m_position;
    ::SetScrollInfo(m_hwnd, SB_VERT, &info, TRUE);
}

void ScrollView::onVScroll(int request)
{
    const int page = std::max(1, clientHeight());
    int target = m_position;
    switch (request) {
    case SB_LINEUP:
        target -= m_lineHeight;
        break;
    case SB_LINEDOWN:
        target += m_lineHeight;
        break;
    case SB_PAGEUP:
        target -= page;
        break;
    case SB_PAGEDOWN:
        target += page;
        break;
    case SB_TOP:
        target = 0;
        break;
    case SB_BOTTOM:
        target = m_scrollHeight;
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_TRACKPOS;
        ::GetScrollInfo(m_hwnd, SB_VERT, &info);
        target = info.nTrackPos;
        break;
    }
    default:
        return;
    }
    scrollTo(target);
}

bool ScrollView::onKey(WPARAM key)
{
    switch (key) {
    case VK_UP:
        onVScroll(SB_LINEUP);
        return true;
    case VK_DOWN:
        onVScroll(SB_LINEDOWN);
        return true;
    case VK_PRIOR:
        onVScroll(SB_PAGEUP);
        return true;
    case VK_NEXT:
        onVScroll(SB_PAGEDOWN);
        return true;
    case VK_HOME:
        onVScroll(SB_TOP);
        return true;
    case VK_END:
        onVScroll(SB_BOTTOM);
        return true;
    default:
        return false;
    }
}

void ScrollView::onPaint(HDC, const RECT&) {}

bool ScrollView::onMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

void ScrollView::paint()
{
    PaintDc dc(m_hwnd);
    POINT oldOrigin{};
    ::SetViewportOrgEx(dc.get(), 0, -m_position, &oldOrigin);
    RECT visible = dc.area();
    ::OffsetRect(&visible, 0, m_position);
    onPaint(dc.get(), visible);
    ::SetViewportOrgEx(dc.get(), oldOrigin.x, oldOrigin.y, nullptr);
}

LRESULT ScrollView::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (onMessage(message, wParam, lParam, result))
        return result;
    switch (message) {
    case WM_PAINT:
        paint();
        return 0;
    case WM_VSCROLL:
        onVScroll(LOWORD(wParam));
        return 0;
    case WM_GETDLGCODE:
        // Without this the dialog takes the arrow keys to move between its controls.
        return DLGC_WANTARROWS;
    case WM_KEYDOWN:
        if (onKey(wParam))
            return 0;
        break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        // Views draw a focus cue of their own.
        ::InvalidateRect(m_hwnd, nullptr, FALSE);
        break;
    case WM_MOUSEWHEEL:
        scrollTo(m_position - GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA * 3 * m_lineHeight);
        return 0;
    case WM_SIZE:
        updateScrollBar();
        scrollTo(m_position);
        break;
    default:
        break;
    }
    return ::DefWindowProcW(m_hwnd, message, wParam, lParam);
}

LRESULT CALLBACK ScrollView::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<ScrollView*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCDESTROY && self) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->m_hwnd = nullptr;
        self = nullptr;
    }
    if (!self || self->m_hwnd != window)
        return ::DefWindowProcW(window, message, wParam, lParam);
    try {
        return self->handle(message, wParam, lParam);
    } catch (...) {
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace rk
