#pragma once
// The name hash that names the per-list files: ten upper-case hexadecimal
// digits with a "-" after the fourth ("XXXX-XXXXXX").

#include <string>

namespace rk {

std::wstring nameHash(const std::wstring& text);

} // namespace rk
