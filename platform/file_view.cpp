#include "platform/file_view.h"

namespace rk {

bool FileView::open(const std::wstring& path)
{
    close();
    m_file.reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!m_file.valid())
        return false;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(m_file.get(), &size))
        return false;
    m_size = static_cast<std::uint64_t>(size.QuadPart);
    // A mapping of an empty file is refused by the system; there is nothing to map.
    if (m_size == 0)
        return true;
    m_mapping.reset(::CreateFileMappingW(m_file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!m_mapping.valid())
        return false;
    m_data = static_cast<const char*>(::MapViewOfFile(m_mapping.get(), FILE_MAP_READ, 0, 0, 0));
    return m_data != nullptr;
}

void FileView::close()
{
    if (m_data)
        ::UnmapViewOfFile(m_data);
    m_data = nullptr;
    m_size = 0;
    m_mapping.reset();
    m_file.reset();
}

} // namespace rk
