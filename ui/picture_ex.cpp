#include "ui/picture_ex.h"

#include "platform/handles.h"
#include "ui/dpi.h"
#include "ui/gif_frames.h"

#include <algorithm>
#include <atomic>
#include <mutex>

namespace rk {

// Everything the animation thread touches. The thread holds its own reference,
// so when it has not ended within the stop wait (a picture loader stuck in a
// render, a starved machine) the control lets go of it and starts afresh: the
// thread finishes its current step into images that are still alive, sees the
// stop flag and frees them with its last reference. It never reaches the
// control object or its window after the wait, because `window` is cleared
// under the lock before the control moves on.
struct PictureAnimation {
    std::mutex lock;      // guards image, saved, window, origin and dpi
    OffscreenImage image; // at the picture's own size
    OffscreenImage saved;
    HWND window = nullptr;
    POINT origin{0, 0}; // where the image sits in the control
    int dpi = kBaseDpi; // the image is shown at dpi / 96 of its size
    COLORREF background = 0;
    std::vector<CPictureEx::Frame> frames;
    std::atomic<bool> stop{false};
    std::atomic<unsigned long> shown{0};
    UniqueHandle stopEvent{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle thread;
};

namespace {

constexpr DWORD kStopWaitMs = 5000;

// Repaints only what changed, so that a large animated background does not
// paint over the controls in front of it more often than its frames need.
// Called with the lock held.
void invalidate(const PictureAnimation& state, RECT area)
{
    if (!state.window)
        return;
    area = coveringRect(area, state.dpi);
    ::OffsetRect(&area, state.origin.x, state.origin.y);
    ::InvalidateRect(state.window, &area, FALSE);
}

void drawFrame(PictureAnimation& state, const CPictureEx::Frame& frame)
{
    std::lock_guard<std::mutex> hold(state.lock);
    if (frame.disposal == 3 && state.saved)
        ::BitBlt(state.saved.dc(), 0, 0, frame.width, frame.height, state.image.dc(), frame.left, frame.top, SRCCOPY);
    renderPicture(frame.picture.get(), state.image.dc(), frame.left, frame.top, frame.width, frame.height);
    ++state.shown;
    invalidate(state, RECT{frame.left, frame.top, frame.left + frame.width, frame.top + frame.height});
}

void disposeFrame(PictureAnimation& state, const CPictureEx::Frame& frame)
{
    std::lock_guard<std::mutex> hold(state.lock);
    const RECT area{frame.left, frame.top, frame.left + frame.width, frame.top + frame.height};
    if (frame.disposal == 2) {
        state.image.fill(area, state.background);
        invalidate(state, area);
    } else if (frame.disposal == 3 && state.saved) {
        ::BitBlt(state.image.dc(), frame.left, frame.top, frame.width, frame.height, state.saved.dc(), 0, 0, SRCCOPY);
        invalidate(state, area);
    }
}

void animate(PictureAnimation& state)
{
    std::size_t index = 0;
    while (!state.stop && !state.frames.empty()) {
        const CPictureEx::Frame& frame = state.frames[index];
        drawFrame(state, frame);
        if (::WaitForSingleObject(state.stopEvent.get(), static_cast<DWORD>(frameDelayMs(frame.delay))) !=
                WAIT_TIMEOUT ||
            state.stop)
            break;
        disposeFrame(state, frame);
        if (++index >= state.frames.size()) {
            index = 0;
            std::lock_guard<std::mutex> hold(state.lock);
            state.image.fill(state.background);
            invalidate(state, RECT{0, 0, state.image.width(), state.image.height()});
        }
    }
}

DWORD WINAPI animationThread(void* parameter)
{
    auto* held = static_cast<std::shared_ptr<PictureAnimation>*>(parameter);
    try {
        animate(**held);
    } catch (...) {
    }
    delete held;
    return 0;
}

} // namespace

CPictureEx::CPictureEx() : m_background(::GetSysColor(COLOR_3DFACE)), m_state(std::make_shared<PictureAnimation>()) {}

CPictureEx::~CPictureEx() { stop(); }

bool CPictureEx::load(int id, const wchar_t* type)
{
    std::vector<std::uint8_t> bytes = resourceBytes(id, type);
    return !bytes.empty() && load(bytes.data(), bytes.size());
}

bool CPictureEx::load(const std::uint8_t* data, std::size_t size)
{
    unload();
    GifImage gif;
    if (splitGif(data, size, gif) && gif.frames.size() > 1) {
        for (const GifFrame& part : gif.frames) {
            Frame frame;
            frame.picture = loadPicture(part.stream.data(), part.stream.size());
            if (!frame.picture)
                continue;
            const SIZE pixels = pictureSizePixels(frame.picture.get());
            frame.width = pixels.cx > 0 ? pixels.cx : part.width;
            frame.height = pixels.cy > 0 ? pixels.cy : part.height;
            frame.left = part.left;
            frame.top = part.top;
            frame.delay = part.delay;
            frame.disposal = part.disposal;
            m_frames.push_back(std::move(frame));
        }
        m_width = gif.screenWidth;
        m_height = gif.screenHeight;
        const std::size_t bg = static_cast<std::size_t>(gif.backgroundIndex) * 3;
        if (bg + 2 < gif.globalColours.size())
            m_background = RGB(gif.globalColours[bg], gif.globalColours[bg + 1], gif.globalColours[bg + 2]);
        if (!m_frames.empty())
            return true;
    }
    // Not a GIF of several images (or none of them loaded): one static picture.
    Frame frame;
    frame.picture = loadPicture(data, size);
    if (!frame.picture)
        return false;
    const SIZE pixels = pictureSizePixels(frame.picture.get());
    frame.width = m_width = pixels.cx;
    frame.height = m_height = pixels.cy;
    m_frames.push_back(std::move(frame));
    return true;
}

void CPictureEx::setBackgroundColour(COLORREF colour)
{
    m_background = colour;
    if (hwnd())
        ::InvalidateRect(hwnd(), nullptr, FALSE);
}

int CPictureEx::dpi() const { return m_dpi > 0 ? m_dpi : windowDpi(hwnd()); }

SIZE CPictureEx::shownSize() const
{
    const int at = dpi();
    return SIZE{scalePixels(m_width, at), scalePixels(m_height, at)};
}

void CPictureEx::setDpi(int dpi)
{
    m_dpi = dpi;
    const bool shown = static_cast<bool>(m_state->image);
    if (shown && hwnd())
        draw();
}

bool CPictureEx::prepareImage()
{
    // Each start gets images of its own: a thread left behind by an earlier
    // stop still draws into the old ones.
    if (m_state->thread || m_state.use_count() > 1)
        m_state = std::make_shared<PictureAnimation>();
    PictureAnimation& state = *m_state;
    WindowDc screen(hwnd());
    std::lock_guard<std::mutex> hold(state.lock);
    if (!state.image.create(screen.get(), std::max(1, m_width), std::max(1, m_height)))
        return false;
    if (animated())
        state.saved.create(screen.get(), std::max(1, m_width), std::max(1, m_height));
    state.background = m_background;
    state.image.fill(m_background);
    state.window = hwnd();
    state.dpi = dpi();
    state.origin = imageOrigin();
    return true;
}

bool CPictureEx::draw()
{
    if (m_frames.empty() || !hwnd())
        return false;
    stop();
    if (!prepareImage())
        return false;
    if (!animated()) {
        {
            std::lock_guard<std::mutex> hold(m_state->lock);
            const Frame& frame = m_frames.front();
            renderPicture(frame.picture.get(), m_state->image.dc(), 0, 0, frame.width, frame.height);
        }
        ::InvalidateRect(hwnd(), nullptr, FALSE);
        return true;
    }
    m_state->frames = m_frames;
    m_state->stop = false;
    if (!m_state->stopEvent)
        return false;
    auto* held = new std::shared_ptr<PictureAnimation>(m_state);
    HANDLE thread = ::CreateThread(nullptr, 0, &animationThread, held, CREATE_SUSPENDED, nullptr);
    if (!thread) {
        delete held;
        return false;
    }
    m_state->thread.reset(thread);
    m_animating = true;
    ::InvalidateRect(hwnd(), nullptr, FALSE);
    ::ResumeThread(thread);
    return true;
}

void CPictureEx::stop()
{
    PictureAnimation& state = *m_state;
    if (!state.thread) {
        m_animating = false;
        return;
    }
    state.stop = true;
    ::SetEvent(state.stopEvent.get());
    const bool ended = ::WaitForSingleObject(state.thread.get(), kStopWaitMs) == WAIT_OBJECT_0;
    state.thread.reset();
    if (ended) {
        ::ResetEvent(state.stopEvent.get());
    } else {
        std::lock_guard<std::mutex> hold(state.lock);
        state.window = nullptr;
    }
    m_animating = false;
}

void CPictureEx::unload()
{
    stop();
    {
        std::lock_guard<std::mutex> hold(m_state->lock);
        m_state->window = nullptr;
    }
    m_state = std::make_shared<PictureAnimation>();
    m_frames.clear();
    m_currentFrame = 0;
    m_width = m_height = 0;
}

bool CPictureEx::playing() const { return m_animating && m_state->thread.valid(); }

unsigned long CPictureEx::framesShown() const { return m_state->shown; }

std::vector<std::uint32_t> CPictureEx::snapshot() const
{
    std::lock_guard<std::mutex> hold(m_state->lock);
    const OffscreenImage& image = m_state->image;
    if (!image)
        return {};
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = image.width();
    info.bmiHeader.biHeight = -image.height();
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    // Copied into a DIB section so the pixels can be read without taking the
    // bitmap out of the context the animation draws into.
    void* bits = nullptr;
    UniqueGdiObject section(::CreateDIBSection(image.dc(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    UniqueMemoryDc copy(::CreateCompatibleDC(image.dc()));
    if (!section || !copy || !bits)
        return {};
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(image.width()) * image.height());
    {
        SelectGuard select(copy.get(), section.get());
        ::BitBlt(copy.get(), 0, 0, image.width(), image.height(), image.dc(), 0, 0, SRCCOPY);
        ::GdiFlush();
        const auto* first = static_cast<const std::uint32_t*>(bits);
        std::copy(first, first + pixels.size(), pixels.begin());
    }
    return pixels;
}

POINT CPictureEx::imageOrigin() const
{
    // A control with the centred-image style gets the picture in its middle
    // (it is smaller than the control at high scaling); others at the top left.
    POINT at{0, 0};
    if (hwnd() && (::GetWindowLongPtrW(hwnd(), GWL_STYLE) & SS_CENTERIMAGE)) {
        RECT client{};
        ::GetClientRect(hwnd(), &client);
        const SIZE shown = shownSize();
        at.x = (client.right - shown.cx) / 2;
        at.y = (client.bottom - shown.cy) / 2;
    }
    return at;
}

void CPictureEx::placeImage()
{
    // The dialog manager moves and sizes the controls after a DPI change: a
    // centred picture follows its control's new middle.
    {
        std::lock_guard<std::mutex> hold(m_state->lock);
        m_state->origin = imageOrigin();
    }
    ::InvalidateRect(hwnd(), nullptr, FALSE);
}

void CPictureEx::paint(HDC dc)
{
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    std::lock_guard<std::mutex> hold(m_state->lock);
    const OffscreenImage& image = m_state->image;
    const POINT at = m_state->origin;
    if (image) {
        const int width = scalePixels(image.width(), m_state->dpi);
        const int height = scalePixels(image.height(), m_state->dpi);
        if (width == image.width() && height == image.height()) {
            ::BitBlt(dc, at.x, at.y, width, height, image.dc(), 0, 0, SRCCOPY);
        } else {
            // Halftone smooths the enlarged picture; it needs the brush origin set after it.
            const int oldMode = ::SetStretchBltMode(dc, HALFTONE);
            POINT oldOrigin{};
            ::SetBrushOrgEx(dc, 0, 0, &oldOrigin);
            ::StretchBlt(dc, at.x, at.y, width, height, image.dc(), 0, 0, image.width(), image.height(), SRCCOPY);
            ::SetBrushOrgEx(dc, oldOrigin.x, oldOrigin.y, nullptr);
            ::SetStretchBltMode(dc, oldMode);
        }
        ::ExcludeClipRect(dc, at.x, at.y, at.x + width, at.y + height);
    }
    // What the picture does not cover gets its background colour, not whatever
    // the screen held there.
    UniqueGdiObject brush(::CreateSolidBrush(m_background));
    if (brush)
        ::FillRect(dc, &client, static_cast<HBRUSH>(brush.get()));
}

void CPictureEx::repaintSiblingsInFront(const RECT& painted) const
{
    // Sibling controls do not clip each other, so a picture behind other
    // controls (a background) has just painted over them: they paint again,
    // after it. Only those in front are asked, so two overlapping pictures
    // cannot keep asking each other.
    HWND parent = ::GetParent(hwnd());
    if (!parent || ::IsRectEmpty(&painted))
        return;
    RECT area = painted;
    ::MapWindowPoints(hwnd(), parent, reinterpret_cast<POINT*>(&area), 2);
    for (HWND sibling = ::GetWindow(hwnd(), GW_HWNDPREV); sibling; sibling = ::GetWindow(sibling, GW_HWNDPREV)) {
        if (!::IsWindowVisible(sibling))
            continue;
        RECT bounds{};
        ::GetWindowRect(sibling, &bounds);
        ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&bounds), 2);
        RECT overlap{};
        if (!::IntersectRect(&overlap, &bounds, &area))
            continue;
        ::MapWindowPoints(parent, sibling, reinterpret_cast<POINT*>(&overlap), 2);
        ::RedrawWindow(sibling, &overlap, nullptr, RDW_INVALIDATE);
    }
}

bool CPictureEx::onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_PAINT: {
        RECT painted{};
        {
            PaintDc dc(hwnd());
            painted = dc.area();
            paint(dc.get());
        }
        repaintSiblingsInFront(painted);
        result = 0;
        return true;
    }
    case WM_ERASEBKGND:
        if (m_state->image) {
            result = 1;
            return true;
        }
        break;
    case WM_SIZE:
        if (m_state->image)
            placeImage();
        break;
    case WM_DESTROY:
        stop();
        break;
    default:
        break;
    }
    return StaticControl::onMessage(message, wParam, lParam, result);
}

} // namespace rk
