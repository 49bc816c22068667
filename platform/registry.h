#pragma once
// Reading values of the system registry. Any thread.

#include <cstdint>
#include <optional>
#include <string>

namespace rk {

// A REG_DWORD value under HKEY_LOCAL_MACHINE\<path> in the machine's own view
// (the 64-bit one on 64-bit Windows); nothing when the key or the value is
// missing or the value is not a DWORD.
std::optional<std::uint32_t> machineDword(const std::wstring& path, const std::wstring& name);

} // namespace rk
