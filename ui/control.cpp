#include "ui/control.h"

#include "ui/common_controls.h"

namespace rk {
namespace {

// The subclass id names our procedure's slot in the control's subclass chain.
constexpr UINT_PTR kSubclassId = 0x524B; // "RK"
// The object is also kept as a window property: the import library of this
// toolchain lacks GetWindowSubclass, which would otherwise look it up.
constexpr wchar_t kObjectProperty[] = L"RenewKit.Control";

} // namespace

Control::~Control() { detach(); }

bool Control::attach(HWND dialog, int id) { return attach(::GetDlgItem(dialog, id)); }

bool Control::attach(HWND control)
{
    if (!control || m_hwnd || fromHandle(control))
        return false;
    const SubclassFunctions& library = commonControls();
    if (!library.set)
        return false;
    if (!::SetPropW(control, kObjectProperty, this))
        return false;
    if (!library.set(control, &Control::procedure, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
        ::RemovePropW(control, kObjectProperty);
        return false;
    }
    m_hwnd = control;
    onAttached();
    return true;
}

void Control::detach()
{
    if (m_hwnd) {
        commonControls().remove(m_hwnd, &Control::procedure, kSubclassId);
        ::RemovePropW(m_hwnd, kObjectProperty);
    }
    m_hwnd = nullptr;
}

Control* Control::fromHandle(HWND window)
{
    return window ? static_cast<Control*>(::GetPropW(window, kObjectProperty)) : nullptr;
}

void Control::sendToBack() const
{
    if (m_hwnd)
        ::SetWindowPos(m_hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

bool Control::onMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

LRESULT Control::defaultProcedure(UINT message, WPARAM wParam, LPARAM lParam)
{
    return commonControls().defaultProcedure(m_hwnd, message, wParam, lParam);
}

LRESULT CALLBACK Control::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                    DWORD_PTR selfData)
{
    auto* self = reinterpret_cast<Control*>(selfData);
    if (message == WM_NCDESTROY) {
        const SubclassFunctions& library = commonControls();
        LRESULT result = library.defaultProcedure(window, message, wParam, lParam);
        library.remove(window, &Control::procedure, kSubclassId);
        ::RemovePropW(window, kObjectProperty);
        if (self && self->m_hwnd == window)
            self->m_hwnd = nullptr;
        return result;
    }
    try {
        LRESULT result = 0;
        if (self && self->onMessage(message, wParam, lParam, result))
            return result;
    } catch (...) {
    }
    return commonControls().defaultProcedure(window, message, wParam, lParam);
}

} // namespace rk
