// What the update centre shows and where its links are: painting, hover,
// the keyboard's way through the links and the queries of other programs.
#include "ui/dlg_updater_icon.h"

#include "core/config.h"
#include "core/language.h"
#include "core/text_format.h"
#include "ui/dpi.h"
#include "ui/gdi.h"

namespace rk {
namespace {

const wchar_t* const kLinkNames[] = {L"close", L"cancel", L"check", L"update"};

std::wstring applicationName() { return config::read(L"APPLICATION", L"Name"); }

// The window's font in a weight, optionally underlined; the caller owns it.
HFONT derivedFont(HFONT base, LONG weight, bool underline)
{
    LOGFONTW font{};
    if (!base || ::GetObjectW(base, sizeof font, &font) == 0)
        ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    font.lfWeight = weight;
    font.lfUnderline = underline ? TRUE : FALSE;
    return ::CreateFontIndirectW(&font);
}

SIZE textSize(HDC dc, HFONT font, const std::wstring& text)
{
    SelectGuard select(dc, font);
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size;
}

} // namespace

bool CDlgUpdaterIcon::onKey(WPARAM key)
{
    switch (key) {
    case VK_TAB: {
        const std::wstring before = m_focused;
        m_focused = nextLink(m_links, m_focused, ::GetKeyState(VK_SHIFT) < 0);
        repaintLink(before, scalePixels(4, m_dpi));
        repaintLink(m_focused, scalePixels(4, m_dpi));
        return true;
    }
    case VK_RETURN:
    case VK_SPACE:
        if (m_focused.empty() || !m_links.count(m_focused)) {
            if (key == VK_RETURN)
                hideCentre();
            return true;
        }
        activateLink(m_focused);
        return true;
    case VK_ESCAPE:
        hideCentre();
        return true;
    default:
        return false;
    }
}

void CDlgUpdaterIcon::onHover(POINT point)
{
    const std::wstring link = linkAt(m_links, point);
    if (link == m_hovered)
        return;
    const std::wstring before = m_hovered;
    m_hovered = link;
    repaintLink(before, scalePixels(3, m_dpi));
    repaintLink(link, scalePixels(3, m_dpi));
}

void CDlgUpdaterIcon::repaintLink(const std::wstring& name, int grow)
{
    auto found = m_links.find(name);
    if (found == m_links.end())
        return;
    RECT area = found->second;
    ::InflateRect(&area, grow, grow);
    ::InvalidateRect(hwnd(), &area, FALSE);
}

void CDlgUpdaterIcon::paint()
{
    PaintDc paintDc(hwnd());
    HDC dc = paintDc.get();
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    OffscreenImage image;
    if (!image.create(dc, client.right, client.bottom))
        return;
    HDC target = image.dc();
    image.fill(RGB(255, 255, 255));
    const SIZE backgroundSize = bitmapSize(m_background.get());
    if (m_background) {
        UniqueMemoryDc source(::CreateCompatibleDC(dc));
        SelectGuard select(source.get(), m_background.get());
        ::SetStretchBltMode(target, HALFTONE);
        ::SetBrushOrgEx(target, 0, 0, nullptr);
        ::StretchBlt(target, 0, 0, client.right, client.bottom, source.get(), 0, 0, backgroundSize.cx,
                     backgroundSize.cy, SRCCOPY);
    }
    ::SetBkMode(target, TRANSPARENT);
    HFONT windowFont = reinterpret_cast<HFONT>(::SendMessageW(hwnd(), WM_GETFONT, 0, 0));
    UniqueGdiObject normal(derivedFont(windowFont, FW_NORMAL, false));
    UniqueGdiObject bold(derivedFont(windowFont, FW_BOLD, false));
    UniqueGdiObject underlined(derivedFont(windowFont, FW_NORMAL, true));
    HFONT normalFont = static_cast<HFONT>(normal.get());

    const int countdown = m_schedule.countdown();
    const std::wstring countdownText = fillNumbers(trTray(L"Update after %d seconds."), {countdown});
    const std::wstring cancelText = trTray(L"Cancel");
    const std::wstring checkText = trTray(L"Check again");
    const std::wstring updateText = trTray(L"Update");
    TrayTextSizes sizes;
    sizes.countdown = textSize(target, normalFont, countdownText);
    sizes.cancel = textSize(target, normalFont, cancelText);
    sizes.check = textSize(target, normalFont, checkText);
    sizes.update = textSize(target, normalFont, updateText);
    const TrayLayout layout = trayLayout(client, sizes, countdown >= 0, m_dpi);
    m_countdownLine = layout.countdownLine;
    m_links.erase(L"cancel");
    for (const auto& [name, area] : layout.links)
        m_links[name] = area;
    const RECT closeArea = trayCloseArea(client, backgroundSize);
    m_links[L"close"] = closeArea;

    auto draw = [target](HFONT font, const std::wstring& text, RECT area, COLORREF colour) {
        SelectGuard select(target, font);
        ::SetTextColor(target, colour);
        ::DrawTextW(target, text.c_str(), static_cast<int>(text.size()), &area, DT_LEFT | DT_TOP | DT_NOPREFIX);
    };
    const int linkGrow = scalePixels(2, m_dpi);
    auto drawLink = [&](const std::wstring& name, const std::wstring& text) {
        auto found = m_links.find(name);
        if (found == m_links.end())
            return;
        const bool hovered = m_hovered == name;
        RECT area = found->second;
        area.right += linkGrow;
        draw(static_cast<HFONT>(hovered ? underlined.get() : normal.get()), text, area,
             hovered ? RGB(0, 0, 255) : RGB(0, 0, 0));
    };
    draw(static_cast<HFONT>(bold.get()), applicationName(), layout.name, RGB(0, 0, 0));
    draw(normalFont, m_messageLine, layout.message, RGB(0, 0, 0));
    if (countdown >= 0) {
        RECT area = layout.countdown;
        area.right += linkGrow;
        draw(normalFont, countdownText, area, RGB(0, 0, 0));
        drawLink(L"cancel", cancelText);
    }
    drawLink(L"check", checkText);
    drawLink(L"update", updateText);
    if (m_hovered == L"close" && m_closeHover) {
        const SIZE hoverSize = bitmapSize(m_closeHover.get());
        UniqueMemoryDc source(::CreateCompatibleDC(dc));
        SelectGuard select(source.get(), m_closeHover.get());
        ::StretchBlt(target, closeArea.left, closeArea.top, closeArea.right - closeArea.left + 1,
                     closeArea.bottom - closeArea.top + 1, source.get(), 0, 0, hoverSize.cx, hoverSize.cy, SRCCOPY);
    }
    auto focused = m_links.find(m_focused);
    if (focused != m_links.end()) {
        RECT area = focused->second;
        ::InflateRect(&area, linkGrow, linkGrow);
        ::SetTextColor(target, RGB(0, 0, 0));
        ::SetBkColor(target, RGB(255, 255, 255));
        ::DrawFocusRect(target, &area);
    }
    ::BitBlt(dc, 0, 0, client.right, client.bottom, target, 0, 0, SRCCOPY);
}

LRESULT CDlgUpdaterIcon::linkPoint(WPARAM which) const
{
    if (which >= std::size(kLinkNames))
        return -1;
    auto found = m_links.find(kLinkNames[which]);
    if (found == m_links.end())
        return -1;
    const RECT& area = found->second;
    return MAKELONG((area.left + area.right) / 2, (area.top + area.bottom) / 2);
}

LRESULT CDlgUpdaterIcon::focusedLink() const
{
    for (std::size_t i = 0; i < std::size(kLinkNames); ++i) {
        if (m_focused == kLinkNames[i] && m_links.count(m_focused))
            return static_cast<LRESULT>(i);
    }
    return -1;
}

} // namespace rk
