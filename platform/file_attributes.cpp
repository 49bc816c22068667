#include "platform/file_attributes.h"

#include <windows.h>

namespace rk {

bool setNormalAttributes(const std::wstring& path)
{
    return ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL) != FALSE;
}

} // namespace rk
