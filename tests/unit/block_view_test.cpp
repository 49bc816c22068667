// The download block view: the layout arithmetic, and the real view window
// fed with the downloader's progress messages.
#include "download/progress_messages.h"
#include "ui/block_layout.h"
#include "ui/download_block_view.h"

#include <gtest/gtest.h>
#include <windows.h>

using namespace rk;

TEST(BlockLayout, MegabyteInFiftyKilobyteSegments)
{
    const BlockLayout layout = layoutBlocks(1000000, 51200, 300, 100);
    EXPECT_EQ(layout.blocksPerSegment, 20);
    EXPECT_EQ(layout.ratio, 11);
    EXPECT_EQ(layout.totalBlocks, 391);
    // 14 rows do not fit 100 pixels: room is left for the scroll bar.
    EXPECT_EQ(layout.columns, 28);
    EXPECT_EQ(layout.scrollHeight, 145);
}

TEST(BlockLayout, KeepsAllColumnsWhenTheBlocksFit)
{
    // 600 visible cells: ratio 8, 29 blocks per segment, 551 + 15 blocks in 19 rows.
    const BlockLayout layout = layoutBlocks(1000000, 51200, 300, 200);
    EXPECT_EQ(layout.ratio, 8);
    EXPECT_EQ(layout.blocksPerSegment, 29);
    EXPECT_EQ(layout.totalBlocks, 566);
    EXPECT_EQ(layout.columns, 30);
}

TEST(BlockLayout, AtOneAndAHalfTheCellsAndTheScrollBarAllowanceGrowAlike)
{
    // The view of the case above at 150 %: 450 x 150 pixels, cells of 15, the
    // scroll bar's allowance 27. The same blocks in the same columns.
    const BlockLayout layout = layoutBlocks(1000000, 51200, 450, 150, 15, 27);
    EXPECT_EQ(layout.totalBlocks, 391);
    EXPECT_EQ(layout.columns, 28);
    EXPECT_EQ(layout.scrollHeight, 13 * 15 + 22);
    // Whatever the width, when the blocks need the scroll bar (17 pixels at 96
    // DPI, 26 at 144) the last column ends before it.
    for (int width = 200; width < 700; width += 7) {
        const BlockLayout wide = layoutBlocks(1000000, 51200, width, 150, 15, 27);
        if (wide.scrollHeight > 150) {
            EXPECT_LE(wide.columns * 15, width - 26) << width;
        }
    }
    EXPECT_EQ(cellOf(30, 28, 15).x, 30);
    EXPECT_EQ(cellOf(30, 28, 15).y, 15);
}

TEST(BlockLayout, TinyOrEmptyInputsNeverDivideByZero)
{
    // A 100-byte file reported as one segment of its own size.
    BlockLayout tiny = layoutBlocks(100, 100, 300, 100);
    EXPECT_GE(tiny.ratio, 1);
    EXPECT_EQ(tiny.blocksPerSegment, 20);
    EXPECT_EQ(tiny.totalBlocks, 20);
    // Segments smaller than one block, no segment size, a view too small for a cell.
    EXPECT_GE(layoutBlocks(5000, 100, 300, 100).ratio, 1);
    EXPECT_GE(layoutBlocks(5000, 0, 300, 100).totalBlocks, 1);
    const BlockLayout narrow = layoutBlocks(1000000, 51200, 5, 5);
    EXPECT_GE(narrow.columns, 1);
    EXPECT_GT(narrow.scrollHeight, 0);
    EXPECT_EQ(layoutBlocks(0, 0, 300, 100).totalBlocks, 0);
    EXPECT_EQ(filledBlocks(100000, 0), 100000 / 218);
    EXPECT_EQ(cellOf(5, 0).x, 0);
}

TEST(BlockLayout, RepaintSpanAndFilledBlocks)
{
    // Segment 2 of 20 blocks each moving from 3 to 7 filled blocks.
    const BlockSpan grown = changedBlocks(2, 3, 7, 20);
    EXPECT_EQ(grown.first, 43);
    EXPECT_EQ(grown.last, 47);
    // Bytes taken back after a failed range shrink the count: the span is the same.
    const BlockSpan shrunk = changedBlocks(2, 7, 3, 20);
    EXPECT_EQ(shrunk.first, 43);
    EXPECT_EQ(shrunk.last, 47);
    EXPECT_EQ(filledBlocks(218 * 11 * 5 + 217, 11), 5);
    // A segment without a count is all empty; with one, blocks up to the count are drawn filled.
    EXPECT_FALSE(isBlockFilled(40, 20, -1));
    EXPECT_TRUE(isBlockFilled(45, 20, 5));
    EXPECT_FALSE(isBlockFilled(46, 20, 5));
    EXPECT_EQ(cellOf(30, 28).x, 20);
    EXPECT_EQ(cellOf(30, 28).y, 10);
}

namespace {

// A parent window of this thread that records the commands the view passes on.
class ViewHost {
public:
    ViewHost()
    {
        WNDCLASSW cls{};
        cls.lpfnWndProc = &ViewHost::procedure;
        cls.hInstance = ::GetModuleHandleW(nullptr);
        cls.lpszClassName = L"RkBlockViewHost";
        ::RegisterClassW(&cls);
        m_window = ::CreateWindowExW(0, L"RkBlockViewHost", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
                                     nullptr, ::GetModuleHandleW(nullptr), nullptr);
        s_lastCommand = 0;
    }
    ~ViewHost() { ::DestroyWindow(m_window); }
    HWND get() const { return m_window; }
    static int lastCommand() { return s_lastCommand; }

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_COMMAND)
            s_lastCommand = LOWORD(wParam);
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    static inline int s_lastCommand = 0;
    HWND m_window = nullptr;
};

// The client area is 300 x 100 once the client edge is added around it (the
// scroll bar shows only when the content is higher than the view).
RECT viewArea(DWORD exStyle)
{
    RECT area{0, 0, 300, 100};
    ::AdjustWindowRectEx(&area, WS_CHILD | WS_VSCROLL, FALSE, exStyle);
    ::OffsetRect(&area, -area.left, -area.top);
    return area;
}

WPARAM slotWord(int slot, int segment = 0)
{
    return (static_cast<WPARAM>(segment) << 16) | static_cast<WPARAM>(static_cast<unsigned short>(slot));
}

} // namespace

TEST(BlockView, LaysOutFromTheDownloadersMessages)
{
    ViewHost host;
    ASSERT_NE(host.get(), nullptr);
    CMyDownloadBlockView view;
    ASSERT_TRUE(view.create(host.get(), viewArea(WS_EX_CLIENTEDGE), 151));
    RECT client{};
    ::GetClientRect(view.hwnd(), &client);
    ASSERT_EQ(client.right, 300);
    ASSERT_EQ(client.bottom, 100);

    ::SendMessageW(view.hwnd(), WM_DL_FILESIZE, slotWord(-1), 1000000);
    ::SendMessageW(view.hwnd(), WM_DL_SEGSIZE, slotWord(-1), 51200);
    EXPECT_EQ(view.layout().totalBlocks, 391);
    EXPECT_EQ(view.layout().columns, 28);
    EXPECT_EQ(view.scrollHeight(), 145);

    // 5 blocks of segment 3 arrive: blocks 60 to 65 are repainted.
    ::SendMessageW(view.hwnd(), WM_DL_SEGMENT, slotWord(-1, 3), 218 * 11 * 5);
    EXPECT_EQ(view.repaintedBlocks(), 6);
    // The same count again repaints nothing.
    ::SendMessageW(view.hwnd(), WM_DL_SEGMENT, slotWord(-1, 3), 218 * 11 * 5 + 100);
    EXPECT_EQ(view.repaintedBlocks(), 6);
    // Messages of another slot change nothing.
    ::SendMessageW(view.hwnd(), WM_DL_SEGMENT, slotWord(2, 3), 218 * 11 * 15);
    ::SendMessageW(view.hwnd(), WM_DL_SEGSIZE, slotWord(2), 1000);
    ::SendMessageW(view.hwnd(), WM_DL_FILESIZE, slotWord(0), 5);
    EXPECT_EQ(view.repaintedBlocks(), 6);
    EXPECT_EQ(view.layout().totalBlocks, 391);
    ::UpdateWindow(view.hwnd());
}

TEST(BlockView, TinyFileAndTheEndCommands)
{
    ViewHost host;
    CMyDownloadBlockView view;
    ASSERT_TRUE(view.create(host.get(), RECT{0, 0, 300, 100}, 151));
    view.setTexts(L"title", L"message", L"done", L"failed");
    ::SendMessageW(view.hwnd(), WM_DL_FILESIZE, slotWord(-1), 100);
    ::SendMessageW(view.hwnd(), WM_DL_SEGSIZE, slotWord(-1), 100);
    ::SendMessageW(view.hwnd(), WM_DL_SEGMENT, slotWord(-1, 0), 100);
    EXPECT_GE(view.layout().ratio, 1);
    ::UpdateWindow(view.hwnd());

    ::SendMessageW(view.hwnd(), WM_COMMAND, kDownloadFinishedCommand, 0);
    EXPECT_EQ(view.state(), 1);
    EXPECT_EQ(ViewHost::lastCommand(), kDownloadFinishedCommand);
    EXPECT_EQ(view.scrollHeight(), 10);
    ::UpdateWindow(view.hwnd());
    ::SendMessageW(view.hwnd(), WM_COMMAND, kDownloadFailedCommand, 0);
    EXPECT_EQ(view.state(), 2);
    EXPECT_EQ(ViewHost::lastCommand(), kDownloadFailedCommand);
    // A new download starts over in the running state.
    ::SendMessageW(view.hwnd(), WM_DL_FILESIZE, slotWord(-1), 100);
    EXPECT_EQ(view.state(), 0);
}

TEST(BlockView, At150PercentTheCellsAreLargerAndTheKeysScrollByOne)
{
    ViewHost host;
    CMyDownloadBlockView view;
    RECT area{0, 0, 450, 150};
    ::AdjustWindowRectEx(&area, WS_CHILD | WS_VSCROLL, FALSE, WS_EX_CLIENTEDGE);
    ::OffsetRect(&area, -area.left, -area.top);
    ASSERT_TRUE(view.create(host.get(), area, 151));
    view.setDpi(144);
    EXPECT_EQ(view.cellPixels(), 15);
    ::SendMessageW(view.hwnd(), WM_DL_FILESIZE, slotWord(-1), 1000000);
    ::SendMessageW(view.hwnd(), WM_DL_SEGSIZE, slotWord(-1), 51200);
    EXPECT_EQ(view.layout().totalBlocks, 391);
    EXPECT_EQ(view.layout().columns, 28);
    EXPECT_EQ(view.scrollHeight(), 13 * 15 + 22);
    ::SendMessageW(view.hwnd(), WM_DL_SEGMENT, slotWord(-1, 3), 218 * 11 * 5);
    ::UpdateWindow(view.hwnd());

    ::SendMessageW(view.hwnd(), WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(view.scrollPosition(), 15) << "a line is a row of cells";
    ::SendMessageW(view.hwnd(), WM_KEYDOWN, VK_END, 0);
    RECT client{};
    ::GetClientRect(view.hwnd(), &client);
    EXPECT_EQ(view.scrollPosition(), view.scrollHeight() - client.bottom);
    ::SendMessageW(view.hwnd(), WM_KEYDOWN, VK_HOME, 0);
    EXPECT_EQ(view.scrollPosition(), 0);

    // Back at 100 % (moved to another monitor): the cells shrink, the counts stay.
    const int repainted = view.repaintedBlocks();
    view.setDpi(96);
    EXPECT_EQ(view.cellPixels(), 10);
    EXPECT_LT(view.scrollHeight(), 13 * 15 + 22);
    ::SendMessageW(view.hwnd(), WM_DL_SEGMENT, slotWord(-1, 3), 218 * 11 * 5 + 100);
    EXPECT_EQ(view.repaintedBlocks(), repainted) << "the segment's count was lost";
}
