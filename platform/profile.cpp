#include "platform/profile.h"

#include <windows.h>
#include <vector>

namespace rk {

std::wstring readProfileString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                               size_t capacity)
{
    if (capacity < 1)
        return {};
    std::vector<wchar_t> buffer(capacity, L'\0');
    DWORD n = ::GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", buffer.data(), static_cast<DWORD>(capacity),
                                         file.c_str());
    return std::wstring(buffer.data(), n);
}

bool writeProfileString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                        const std::wstring& value, unsigned long* error)
{
    ::SetLastError(ERROR_SUCCESS);
    BOOL ok = ::WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), file.c_str());
    if (error)
        *error = ok ? ERROR_SUCCESS : ::GetLastError();
    return ok != FALSE;
}

bool deleteProfileKey(const std::wstring& file, const std::wstring& section, const std::wstring& key)
{
    return ::WritePrivateProfileStringW(section.c_str(), key.c_str(), nullptr, file.c_str()) != FALSE;
}

} // namespace rk
