// Shows the progress window's pictures in its layout until the background has
// gone round a few times, for a screenshot; prints the window's size in pixels.
// Not a test: run it by hand under Xvfb (see tests/ui/preview.sh).

#include "ui/dialog_sk.h"
#include "ui/picture_button.h"
#include "ui/picture_ex.h"
#include "resource_ids.h"
#include "ui_test_ids.h"

#include <cstdio>

namespace rk {
namespace {

class PreviewDialog : public CDialogSK {
public:
    PreviewDialog() : CDialogSK(IDD_UI_PREVIEW, nullptr) {}

protected:
    BOOL onInitDialog() override
    {
        CDialogSK::onInitDialog();
        RECT size{0, 0, 285, 148};
        ::MapDialogRect(hwnd(), &size);
        std::printf("window %ld x %ld px\n", size.right, size.bottom);
        std::fflush(stdout);
        m_background.attach(hwnd(), IDC_PREVIEW_BACKGROUND);
        m_background.sendToBack();
        m_background.load(IDG_BACKGROUND);
        m_background.draw();
        m_strip.attach(hwnd(), IDC_PREVIEW_STRIP);
        m_strip.load(IDG_PROGRESS);
        m_strip.draw();
        m_minimize.attach(hwnd(), IDC_PREVIEW_MINIMIZE);
        m_minimize.loadImages(IDG_MINIMIZE_NORMAL, IDG_MINIMIZE_PRESSED, IDG_MINIMIZE_HOVER, IDG_MINIMIZE_DISABLED);
        m_second.attach(hwnd(), IDC_PREVIEW_SECOND);
        m_second.loadImages(IDG_SECOND_NORMAL, IDG_SECOND_PRESSED, IDG_SECOND_HOVER, IDG_SECOND_DISABLED);
        ::SendMessageW(m_second.hwnd(), WM_MOUSEHOVER, 0, 0);
        ::SetDlgItemTextW(hwnd(), IDC_PREVIEW_PERCENT, L"40%");
        ::SetTimer(hwnd(), 1, 100, nullptr);
        return TRUE;
    }

    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override
    {
        if (message == WM_CTLCOLORSTATIC) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            ::SetTextColor(dc, RGB(255, 255, 255));
            ::SetBkMode(dc, TRANSPARENT);
            result = reinterpret_cast<LRESULT>(::GetStockObject(HOLLOW_BRUSH));
            return true;
        }
        if (message == WM_TIMER && m_background.framesShown() >= 60)
            endDialog(0);
        return CDialogSK::onMessage(message, wParam, lParam, result);
    }

private:
    CPictureEx m_background;
    CPictureEx m_strip;
    CPictureButton m_minimize;
    CPictureButton m_second;
};

} // namespace
} // namespace rk

int main()
{
    rk::PreviewDialog dialog;
    return static_cast<int>(dialog.doModal());
}
