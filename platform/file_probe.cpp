#include "platform/file_probe.h"

#include "platform/handles.h"

namespace rk {

bool findFirstFileMatches(const std::wstring& path)
{
    WIN32_FIND_DATAW data{};
    UniqueFindHandle search(::FindFirstFileW(path.c_str(), &data));
    return search.valid();
}

} // namespace rk
