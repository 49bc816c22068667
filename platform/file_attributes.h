#pragma once
// File attributes; keeps GetLastError().

#include <string>

namespace rk {

// Clears read-only, hidden and the like; false when the file is missing.
bool setNormalAttributes(const std::wstring& path);

} // namespace rk
