#include "ui/download_block_view.h"

#include "download/progress_messages.h"
#include "ui/dpi.h"
#include "ui/gdi.h"

#include <algorithm>

namespace rk {
namespace {

constexpr int kEmptyBlockBitmap = 1062;
constexpr int kFilledBlockBitmap = 1063;

RECT shrunk(RECT area, int by)
{
    ::InflateRect(&area, -by, -by);
    return area;
}

void drawBitmap(HDC dc, HBITMAP bitmap, int x, int y, int cell)
{
    UniqueMemoryDc source(::CreateCompatibleDC(dc));
    if (!source || !bitmap)
        return;
    SelectGuard select(source.get(), bitmap);
    if (cell == kCellPixels) {
        ::BitBlt(dc, x, y, cell, cell, source.get(), 0, 0, SRCCOPY);
        return;
    }
    // Pixels repeated, not blended: the cells keep their sharp edges.
    ::SetStretchBltMode(dc, COLORONCOLOR);
    ::StretchBlt(dc, x, y, cell, cell, source.get(), 0, 0, kCellPixels, kCellPixels, SRCCOPY);
}

} // namespace

CMyDownloadBlockView::CMyDownloadBlockView()
    : m_emptyBitmap(::LoadBitmapW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kEmptyBlockBitmap))),
      m_filledBitmap(::LoadBitmapW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kFilledBlockBitmap)))
{
}

void CMyDownloadBlockView::setTexts(const std::wstring& title, const std::wstring& message,
                                    const std::wstring& doneText, const std::wstring& failedText)
{
    m_title = title;
    m_message = message;
    m_doneText = doneText;
    m_failedText = failedText;
    if (hwnd())
        ::InvalidateRect(hwnd(), nullptr, TRUE);
}

void CMyDownloadBlockView::onCreate()
{
    setLineHeight(cellPixels());
    setScrollHeight(cellPixels());
}

int CMyDownloadBlockView::cellPixels() const { return scalePixels(kCellPixels, m_dpi > 0 ? m_dpi : windowDpi(hwnd())); }

void CMyDownloadBlockView::setDpi(int dpi)
{
    m_dpi = dpi;
    setLineHeight(cellPixels());
    // What the segments received so far stays: only the cells change size.
    if (m_layout.totalBlocks > 0 && m_state == 0)
        layOut();
    else
        ::InvalidateRect(hwnd(), nullptr, TRUE);
}

bool CMyDownloadBlockView::isOurSlot(WPARAM wParam) const { return static_cast<short>(LOWORD(wParam)) == m_slot; }

bool CMyDownloadBlockView::onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    result = 0;
    switch (message) {
    case WM_DL_FILESIZE:
        if (isOurSlot(wParam)) {
            m_state = 0;
            m_fileSize = static_cast<long>(lParam);
        }
        return true;
    case WM_DL_SEGSIZE:
        if (isOurSlot(wParam)) {
            m_state = 0;
            onSegmentSize(static_cast<long>(lParam));
        }
        return true;
    case WM_DL_SEGMENT:
        if (isOurSlot(wParam))
            onSegmentBytes(static_cast<int>(wParam >> 16), static_cast<long>(lParam));
        return true;
    case WM_COMMAND:
        if (LOWORD(wParam) == kDownloadFinishedCommand || LOWORD(wParam) == kDownloadFailedCommand) {
            onEnd(LOWORD(wParam));
            return true;
        }
        return false;
    case WM_LBUTTONDOWN:
        result = ::DefWindowProcW(hwnd(), message, wParam, lParam);
        ::SetFocus(hwnd());
        return true;
    default:
        return false;
    }
}

void CMyDownloadBlockView::onSegmentSize(long segmentSize)
{
    m_segmentSize = segmentSize;
    m_segmentBlocks.clear();
    m_segmentBytes.clear();
    layOut();
}

void CMyDownloadBlockView::layOut()
{
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    const int dpi = m_dpi > 0 ? m_dpi : windowDpi(hwnd());
    m_layout = layoutBlocks(m_fileSize, m_segmentSize, client.right, client.bottom, cellPixels(),
                            scalePixels(kScrollBarAllowance, dpi));
    // Laid out again at another size, a block may stand for other bytes.
    for (const auto& [segment, bytes] : m_segmentBytes)
        m_segmentBlocks[segment] = filledBlocks(bytes, m_layout.ratio);
    setScrollHeight(m_layout.scrollHeight);
    ::InvalidateRect(hwnd(), nullptr, TRUE);
}

void CMyDownloadBlockView::onSegmentBytes(int segment, long bytes)
{
    m_segmentBytes[segment] = bytes;
    const int filled = filledBlocks(bytes, m_layout.ratio);
    auto found = m_segmentBlocks.find(segment);
    const int before = found == m_segmentBlocks.end() ? 0 : found->second;
    if (found != m_segmentBlocks.end() && found->second == filled)
        return;
    m_segmentBlocks[segment] = filled;
    const BlockSpan span = changedBlocks(segment, before, filled, m_layout.blocksPerSegment);
    const int size = cellPixels();
    for (int i = span.first; i <= span.last; ++i) {
        const BlockCell cell = cellOf(i, m_layout.columns, size);
        RECT area{cell.x, cell.y - scrollPosition(), cell.x + size, cell.y + size - scrollPosition()};
        ::InvalidateRect(hwnd(), &area, FALSE);
        ++m_repaintedBlocks;
    }
}

void CMyDownloadBlockView::onEnd(int command)
{
    m_state = command == kDownloadFinishedCommand ? 1 : 2;
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    m_layout.columns = columnsFor(client.right, cellPixels());
    setScrollHeight(cellPixels());
    ::InvalidateRect(hwnd(), nullptr, TRUE);
    ::SendMessageW(::GetParent(hwnd()), WM_COMMAND, MAKEWPARAM(command, 0), reinterpret_cast<LPARAM>(hwnd()));
}

void CMyDownloadBlockView::paintText(HDC dc, const RECT& area, bool withEndText)
{
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(::GetParent(hwnd()), WM_GETFONT, 0, 0));
    SelectGuard select(dc, font);
    ::SetBkMode(dc, TRANSPARENT);
    RECT titleArea = area;
    ::DrawTextW(dc, m_title.c_str(), static_cast<int>(m_title.size()), &titleArea, DT_LEFT | DT_WORDBREAK);
    RECT messageArea = area;
    messageArea.top += scalePixels(40, m_dpi > 0 ? m_dpi : windowDpi(hwnd()));
    std::wstring text = m_message;
    if (withEndText)
        text += L"\n" + (m_state == 1 ? m_doneText : m_failedText);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &messageArea, DT_LEFT | DT_WORDBREAK);
}

void CMyDownloadBlockView::paintBlocks(HDC dc, const RECT& visible)
{
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    const int size = cellPixels();
    RECT area{0, 0, std::max<LONG>(client.right, size), std::max<int>(m_layout.scrollHeight, client.bottom)};
    ::UnionRect(&area, &area, &visible);
    ::FillRect(dc, &area, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    for (int i = 0; i < m_layout.totalBlocks; ++i) {
        const BlockCell cell = cellOf(i, m_layout.columns, size);
        if (cell.y + size < visible.top || cell.y > visible.bottom)
            continue;
        const int segment = i / std::max(1, m_layout.blocksPerSegment);
        auto found = m_segmentBlocks.find(segment);
        const int count = found == m_segmentBlocks.end() ? -1 : found->second;
        HBITMAP bitmap = static_cast<HBITMAP>(isBlockFilled(i, m_layout.blocksPerSegment, count) ? m_filledBitmap.get()
                                                                                                 : m_emptyBitmap.get());
        drawBitmap(dc, bitmap, cell.x, cell.y, size);
    }
}

void CMyDownloadBlockView::onPaint(HDC dc, const RECT& visible)
{
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    // The DC is moved by the scroll position; the texts stay on the visible part.
    ::OffsetRect(&client, 0, scrollPosition());
    const int dpi = m_dpi > 0 ? m_dpi : windowDpi(hwnd());
    if (m_layout.totalBlocks == 0 && m_state == 0) {
        ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
        paintText(dc, shrunk(client, scalePixels(40, dpi)), false);
    } else {
        paintBlocks(dc, visible);
        if (m_state == 1 || m_state == 2) {
            const RECT frame = shrunk(client, scalePixels(30, dpi));
            ::Rectangle(dc, frame.left, frame.top, frame.right, frame.bottom);
            paintText(dc, shrunk(frame, scalePixels(10, dpi)), true);
        }
    }
    if (hasFocus()) {
        RECT cue = shrunk(client, scalePixels(2, dpi));
        ::SetTextColor(dc, RGB(0, 0, 0));
        ::SetBkColor(dc, RGB(255, 255, 255));
        ::DrawFocusRect(dc, &cue);
    }
}

} // namespace rk
