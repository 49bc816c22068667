#pragma once
// A child window of its own class that scrolls its content vertically. The
// content is as high as setScrollHeight says; derived views paint it in
// onPaint with the scroll offset applied. It is a tab stop of its dialog and
// scrolls with the arrow, page, Home and End keys once it has the focus.
// Used on the thread that created it.

#include <windows.h>

namespace rk {

class ScrollView {
public:
    ScrollView() = default;
    virtual ~ScrollView();
    ScrollView(const ScrollView&) = delete;
    ScrollView& operator=(const ScrollView&) = delete;

    // A visible child of `parent` at `area` (client coordinates of the parent).
    bool create(HWND parent, const RECT& area, int id);
    // Takes the place of the dialog item `id`: same rectangle, the item hidden.
    bool createOver(HWND dialog, int id);
    void destroy();

    HWND hwnd() const { return m_hwnd; }

    // Height of the whole content in pixels; the scroll range follows.
    void setScrollHeight(int height);
    int scrollHeight() const { return m_scrollHeight; }
    // Top of the visible part in content pixels (0 .. height - client height).
    int scrollPosition() const { return m_position; }
    void scrollTo(int position);
    // Pixels one line of WM_VSCROLL moves; 10 by default.
    void setLineHeight(int pixels) { m_lineHeight = pixels > 0 ? pixels : 1; }
    bool hasFocus() const { return m_hwnd && ::GetFocus() == m_hwnd; }

protected:
    // Paints the content. The DC's origin is already moved by the scroll
    // position, so content coordinates are used; `visible` is the part of the
    // content on screen, in content coordinates.
    virtual void onPaint(HDC dc, const RECT& visible);
    // Messages of the view before its own handling; true when handled.
    virtual bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    virtual void onCreate() {}

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void updateScrollBar();
    void onVScroll(int request);
    bool onKey(WPARAM key);
    void paint();
    int clientHeight() const;

    HWND m_hwnd = nullptr;
    int m_scrollHeight = 0;
    int m_position = 0;
    int m_lineHeight = 10;
};

} // namespace rk
