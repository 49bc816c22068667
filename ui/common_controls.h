#pragma once
// The common-controls library, loaded when the first window of ours needs it.
// A run without windows (silent, the hidden refresh) then never loads it: under
// the manifest's version 6 its start-up brings in the display driver and the
// theme engine, which cost more than the rest of a no-op run's start.

#include <windows.h>

#include <commctrl.h>

namespace rk {

// The subclassing functions of the library's version 6.
struct SubclassFunctions {
    BOOL(WINAPI* set)(HWND, SUBCLASSPROC, UINT_PTR, DWORD_PTR) = nullptr;
    BOOL(WINAPI* remove)(HWND, SUBCLASSPROC, UINT_PTR) = nullptr;
    LRESULT(WINAPI* defaultProcedure)(HWND, UINT, WPARAM, LPARAM) = nullptr;
};

// Loads the library once per process (kept loaded until the end) and returns
// its functions; null members when it could not be loaded. Call it before the
// first dialog is made, so that its controls take the library's classes.
const SubclassFunctions& commonControls();

} // namespace rk
