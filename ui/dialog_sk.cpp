#include "ui/dialog_sk.h"

#include <windowsx.h>

namespace rk {

CDialogSK::CDialogSK(int templateId, HWND parent) : Dialog(templateId, parent) {}

BOOL CDialogSK::onInitDialog() { return Dialog::onInitDialog(); }

bool CDialogSK::onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (message == WM_LBUTTONDOWN && m_drag) {
        // The system moves the window as if its caption had been grabbed. The
        // non-client message carries screen coordinates: a client point would
        // make the window jump by its own offset when the move begins.
        POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ::ClientToScreen(hwnd(), &point);
        ::PostMessageW(hwnd(), WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(point.x, point.y));
    }
    return Dialog::onMessage(message, wParam, lParam, result);
}

} // namespace rk
