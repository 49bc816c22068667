#pragma once
// Window captions and children, for translating dialogs in place.

#include <string>
#include <vector>

namespace rk {

bool windowExists(void* window);
std::wstring windowText(void* window);
void setWindowText(void* window, const std::wstring& text);
std::vector<void*> childWindows(void* window); // direct and nested children, in order

} // namespace rk
