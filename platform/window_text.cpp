#include "platform/window_text.h"

#include <windows.h>

namespace rk {
namespace {

BOOL CALLBACK collectChild(HWND child, LPARAM param)
{
    reinterpret_cast<std::vector<void*>*>(param)->push_back(child);
    return TRUE;
}

} // namespace

bool windowExists(void* window) { return window && ::IsWindow(static_cast<HWND>(window)); }

std::wstring windowText(void* window)
{
    int n = ::GetWindowTextLengthW(static_cast<HWND>(window));
    if (n <= 0)
        return {};
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    n = ::GetWindowTextW(static_cast<HWND>(window), text.data(), n + 1);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
}

void setWindowText(void* window, const std::wstring& text)
{
    ::SetWindowTextW(static_cast<HWND>(window), text.c_str());
}

std::vector<void*> childWindows(void* window)
{
    std::vector<void*> children;
    ::EnumChildWindows(static_cast<HWND>(window), collectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

} // namespace rk
