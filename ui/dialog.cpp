#include "ui/dialog.h"

#include "ui/common_controls.h"
#include "ui/control.h"

namespace rk {
namespace {

// Messages whose value the dialog procedure returns itself instead of through
// DWLP_MSGRESULT.
bool returnsDirectly(UINT message)
{
    switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
        return true;
    default:
        return false;
    }
}

} // namespace

Dialog::Dialog(int templateId, HWND parent) : m_templateId(templateId), m_parent(parent) {}

Dialog::~Dialog() { destroy(); }

bool Dialog::create()
{
    if (m_hwnd)
        return false;
    m_ended = false;
    commonControls();
    HWND created = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), m_parent,
                                        &Dialog::procedure, reinterpret_cast<LPARAM>(this));
    return created != nullptr && m_hwnd == created;
}

void Dialog::destroy()
{
    if (m_hwnd)
        ::DestroyWindow(m_hwnd);
    m_hwnd = nullptr;
}

INT_PTR Dialog::doModal()
{
    if (!create()) {
        destroy();
        return kFailedResult;
    }
    // Our own loop rather than the system's: it ends on WM_QUIT the same way on
    // every system, and it never posts the message again.
    const bool parentWasEnabled = m_parent && ::IsWindowEnabled(m_parent);
    if (parentWasEnabled)
        ::EnableWindow(m_parent, FALSE);
    ::ShowWindow(m_hwnd, SW_SHOW);
    m_result = 0;
    MSG msg{};
    while (!m_ended && m_hwnd) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            m_result = kQuitResult;
            break;
        }
        if (got == -1) {
            m_result = kFailedResult;
            break;
        }
        if (!m_hwnd || !::IsDialogMessageW(m_hwnd, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    if (parentWasEnabled) {
        ::EnableWindow(m_parent, TRUE);
        ::SetActiveWindow(m_parent);
    }
    destroy();
    return m_result;
}

void Dialog::endDialog(INT_PTR result)
{
    m_result = result;
    m_ended = true;
    // Wakes the loop when no message is waiting.
    if (m_hwnd)
        ::PostMessageW(m_hwnd, WM_NULL, 0, 0);
}

void Dialog::onCommand(int id, int, HWND)
{
    if (id == IDOK || id == IDCANCEL)
        endDialog(id);
}

bool Dialog::onMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

INT_PTR CALLBACK Dialog::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Dialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        if (self)
            self->m_hwnd = window;
    } else {
        self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(window, DWLP_USER));
    }
    if (!self)
        return FALSE;
    try {
        return self->dispatch(message, wParam, lParam);
    } catch (...) {
        return FALSE;
    }
}

INT_PTR Dialog::dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (onMessage(message, wParam, lParam, result)) {
        if (returnsDirectly(message))
            return static_cast<INT_PTR>(result);
        ::SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog();
    case WM_COMMAND:
        onCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return TRUE;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        Control* control = item ? Control::fromHandle(item->hwndItem) : nullptr;
        return control && control->onDrawItem(*item) ? TRUE : FALSE;
    }
    case WM_DESTROY:
        onDestroy();
        return FALSE;
    case WM_NCDESTROY:
        ::SetWindowLongPtrW(m_hwnd, DWLP_USER, 0);
        m_hwnd = nullptr;
        // A modal loop waiting in GetMessage must see that its window is gone.
        ::PostMessageW(nullptr, WM_NULL, 0, 0);
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace rk
