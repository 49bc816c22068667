#pragma once
// An owner-drawn button showing one of four GIF images for its state (normal,
// pressed, hover, disabled), at the button's DPI, in the middle of the button;
// the margins take the colour of the image's top-left pixel, so that an image
// on a flat ground fills the whole button. A dotted rectangle shows the
// keyboard focus. Used on the thread that owns the button.

#include "ui/button_rules.h"
#include "ui/control.h"
#include "ui/picture.h"

namespace rk {

class CPictureButton : public Button {
public:
    // Resource ids of type "GIF"; 0 means none. Returns whether a normal image
    // exists afterwards (see normalImageSource for the fallback).
    bool loadImages(int normal, int pressed, int hover, int disabled);

    bool onDrawItem(const DRAWITEMSTRUCT& item) override;

    bool hovering() const { return m_hover; }
    // The image the last WM_DRAWITEM drew; None before the first.
    ButtonImage lastDrawn() const { return m_lastDrawn; }
    // Whether the last WM_DRAWITEM drew the focus rectangle.
    bool focusDrawn() const { return m_focusDrawn; }
    // Draws at this DPI from now on (after WM_DPICHANGED); 0 goes back to the button's own.
    void setDpi(int dpi);

protected:
    // Makes the button owner-drawn.
    void onAttached() override;
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    ButtonImageSet available() const;

    bool m_tracking = false;
    bool m_pressedDrawn = false;
    bool m_hover = false;
    bool m_drawnState = false;
    PicturePtr m_normal;
    PicturePtr m_pressed;
    PicturePtr m_hoverImage;
    PicturePtr m_disabled;
    ButtonImage m_lastDrawn = ButtonImage::None;
    bool m_focusDrawn = false;
    int m_dpi = 0;
};

} // namespace rk
