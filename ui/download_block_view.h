#pragma once
// A scrolling view that pictures one file download as a grid of blocks filled
// segment by segment from the downloader's progress messages; before the
// download it shows a title and a message, after it a framed text saying
// that the download finished or failed. Commands 1070 (finished) and 1071
// (failed) sent to it are passed on to its parent. Cells and margins follow
// the view's DPI; a dotted frame shows when it has the keyboard focus. Used on
// its window's thread; the downloader reaches it by SendMessageW.

#include "ui/block_layout.h"
#include "ui/scroll_view.h"

#include "platform/handles.h"

#include <map>
#include <string>

namespace rk {

constexpr int kDownloadFinishedCommand = 1070;
constexpr int kDownloadFailedCommand = 1071;

class CMyDownloadBlockView : public ScrollView {
public:
    CMyDownloadBlockView();

    void setTexts(const std::wstring& title, const std::wstring& message, const std::wstring& doneText,
                  const std::wstring& failedText);
    int state() const { return m_state; }
    const BlockLayout& layout() const { return m_layout; }
    // Blocks repainted by segment messages since creation (for tests and tools).
    int repaintedBlocks() const { return m_repaintedBlocks; }
    // A cell's side in pixels at the view's DPI.
    int cellPixels() const;
    // Lays out again at this DPI (after WM_DPICHANGED of its dialog).
    void setDpi(int dpi);

protected:
    void onCreate() override;
    void onPaint(HDC dc, const RECT& visible) override;
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    bool isOurSlot(WPARAM wParam) const;
    void onSegmentSize(long segmentSize);
    void layOut();
    void onSegmentBytes(int segment, long bytes);
    void onEnd(int command);
    void paintText(HDC dc, const RECT& area, bool withEndText);
    void paintBlocks(HDC dc, const RECT& visible);

    long m_fileSize = 0;
    BlockLayout m_layout;
    std::map<int, int> m_segmentBlocks; // segment index -> blocks filled
    std::map<int, long> m_segmentBytes; // segment index -> bytes received, for a new layout
    UniqueGdiObject m_emptyBitmap;
    UniqueGdiObject m_filledBitmap;
    int m_slot = -1;
    std::wstring m_title;
    std::wstring m_message;
    std::wstring m_doneText;
    std::wstring m_failedText;
    int m_state = 0; // 0 running, 1 finished, 2 failed
    int m_repaintedBlocks = 0;
    long m_segmentSize = 0;
    int m_dpi = 0; // 0: the window's own
};

} // namespace rk
