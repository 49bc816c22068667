#pragma once
// A static control that shows a GIF: animated ones are played by a thread of
// their own into an off-screen image that WM_PAINT copies to the control, at
// the top left or, with SS_CENTERIMAGE, centred, at the control's DPI (a
// picture of 100 x 50 pixels covers 150 x 75 at 144 DPI). After painting, the sibling
// controls in front of it that it painted over paint again: a background
// picture belongs at the bottom of the Z order (sendToBack).
// Load, draw and stop are called on the thread that owns the control.

#include "ui/control.h"
#include "ui/gdi.h"
#include "ui/picture.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace rk {

struct PictureAnimation; // shared by the control and its animation thread

class CPictureEx : public StaticControl {
public:
    struct Frame {
        PicturePtr picture;
        int width = 0;
        int height = 0;
        int left = 0;
        int top = 0;
        int delay = 0; // hundredths of a second
        int disposal = 0;
    };

    CPictureEx();
    ~CPictureEx() override;

    // Resource `id` of `type` in this program; false when missing or unreadable.
    bool load(int id, const wchar_t* type = L"GIF");
    // A GIF with several images is split into frames; anything else the
    // picture loader takes is one static picture. False when nothing loaded.
    bool load(const std::uint8_t* data, std::size_t size);
    // Starts the animation, or renders a static picture once; false when
    // nothing is loaded or the control is not attached.
    bool draw();
    // Ends the animation: stop flag, event, up to 5000 ms wait for the thread.
    void stop();
    // Stops and drops the pictures.
    void unload();

    // The colour of what the picture does not cover (the GIF's background
    // colour until set).
    void setBackgroundColour(COLORREF colour);
    // Draws at this DPI from now on (after WM_DPICHANGED); 0 goes back to the
    // control's own. Restarts a picture that is shown.
    void setDpi(int dpi);
    int dpi() const;
    // The picture's size on the screen: its own size at the DPI.
    SIZE shownSize() const;
    bool animated() const { return m_frames.size() > 1; }
    bool playing() const;
    std::size_t frameCount() const { return m_frames.size(); }
    SIZE imageSize() const { return SIZE{m_width, m_height}; }
    // Frames drawn so far by the animation (for watching it progress).
    unsigned long framesShown() const;
    // A copy of the off-screen image's pixels as 32-bit BGRX rows, top first.
    std::vector<std::uint32_t> snapshot() const;

protected:
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    bool prepareImage();
    POINT imageOrigin() const;
    void placeImage();
    void paint(HDC dc);
    void repaintSiblingsInFront(const RECT& painted) const;

    std::vector<Frame> m_frames;
    std::size_t m_currentFrame = 0;
    COLORREF m_background;
    int m_width = 0;
    int m_height = 0;
    int m_dpi = 0; // 0: the control's own
    bool m_animating = false;
    // The stop flag, both off-screen contexts, the thread and its stop event
    // live in the shared state so that a thread outliving stop() never
    // touches freed objects.
    std::shared_ptr<PictureAnimation> m_state;
};

} // namespace rk
