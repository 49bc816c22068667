#pragma once
// Window objects attached to existing controls by subclassing. Messages go to
// onMessage first and then to the control's own procedure. WM_DRAWITEM is
// reflected by the owning Dialog to onDrawItem of the control it names.
// Used on the thread that owns the control.

#include <windows.h>

namespace rk {

class Control {
public:
    Control() = default;
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    // Subclasses the item `id` of `dialog`; false when there is no such item
    // or the object is attached already.
    bool attach(HWND dialog, int id);
    bool attach(HWND control);
    // Gives the control its own procedure back; also done on WM_NCDESTROY.
    void detach();

    HWND hwnd() const { return m_hwnd; }
    // Puts the control behind all its siblings (for a background picture).
    void sendToBack() const;
    // The object attached to this window, or null.
    static Control* fromHandle(HWND window);

    // WM_DRAWITEM reflected from the parent; true when drawn.
    virtual bool onDrawItem(const DRAWITEMSTRUCT&) { return false; }

protected:
    // Called once right after attaching.
    virtual void onAttached() {}
    // Return true when handled (result is then returned); false passes the
    // message on to the control's own procedure.
    virtual bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // The control's own procedure, for handlers that need it before adding to it.
    LRESULT defaultProcedure(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                      DWORD_PTR self);
    HWND m_hwnd = nullptr;
};

// A push button (owner-drawn ones draw in onDrawItem).
class Button : public Control {};

// A static control: text, frame or picture.
class StaticControl : public Control {};

} // namespace rk
