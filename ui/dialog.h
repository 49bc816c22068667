#pragma once
// A dialog built from a template in this program's resources, with its
// messages dispatched to virtual handlers. Used on the thread that created it.
//
// WM_QUIT: a WM_QUIT taken from the queue by the modal loop ends that loop
// (doModal returns kQuitResult) and is not posted again, so each posted
// WM_QUIT ends exactly one loop: code that must also end the application's
// loop after a modal dialog posts it twice.

#include <windows.h>

namespace rk {

class Control;

class Dialog {
public:
    Dialog(int templateId, HWND parent);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    static constexpr INT_PTR kQuitResult = -1;
    static constexpr INT_PTR kFailedResult = -2;

    // Creates the dialog, shows it with the parent disabled and runs its own
    // loop until endDialog or WM_QUIT; the window is destroyed before it
    // returns. kFailedResult when the template could not be loaded.
    INT_PTR doModal();
    // Creates the dialog without a loop of its own (modeless); false on failure.
    // The window is destroyed with the object or by destroy().
    bool create();
    void destroy();

    // Ends the modal loop with this result (from any handler of this dialog).
    void endDialog(INT_PTR result);

    HWND hwnd() const { return m_hwnd; }
    int templateId() const { return m_templateId; }
    HWND parent() const { return m_parent; }
    HWND item(int id) const { return ::GetDlgItem(m_hwnd, id); }

protected:
    // WM_INITDIALOG; return FALSE when focus was set by the handler.
    virtual BOOL onInitDialog() { return TRUE; }
    // WM_COMMAND from a control, menu or accelerator; id 1/2 end the dialog by default.
    virtual void onCommand(int id, int code, HWND control);
    // Every message first comes here; return true when handled and set result.
    // For WM_CTLCOLOR* and other messages that the dialog procedure returns
    // directly, result is that value (e.g. the brush).
    virtual bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // WM_DESTROY, before the window is gone.
    virtual void onDestroy() {}

private:
    static INT_PTR CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    int m_templateId;
    HWND m_parent;
    HWND m_hwnd = nullptr;
    bool m_ended = false;
    INT_PTR m_result = 0;
};

} // namespace rk
