#include "platform/registry.h"

#include "platform/handles.h"

namespace rk {

std::optional<std::uint32_t> machineDword(const std::wstring& path, const std::wstring& name)
{
    HKEY opened = nullptr;
    // KEY_WOW64_64KEY: a 32-bit build would otherwise read the redirected view.
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &opened) !=
        ERROR_SUCCESS)
        return std::nullopt;
    UniqueHKey key(opened);
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return std::nullopt;
    return value;
}

} // namespace rk
