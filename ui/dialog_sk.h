#pragma once
// The skinned dialog base: a borderless dialog moved by dragging any point of
// its client area that is not a control. Derived dialogs call
// CDialogSK::onInitDialog first in their own.

#include "ui/dialog.h"

namespace rk {

class CDialogSK : public Dialog {
public:
    CDialogSK(int templateId, HWND parent);

protected:
    BOOL onInitDialog() override;
    // WM_LBUTTONDOWN starts a caption drag, then continues with the default handling.
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    // No background bitmap is ever set, so painting and sizing stay the dialog's own.
    HBITMAP m_backgroundBitmap = nullptr;
    int m_drag = 1;
    int m_backgroundWidth = 0;
    int m_backgroundHeight = 0;
    int m_backgroundStyle = 0;
};

} // namespace rk
