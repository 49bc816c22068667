#include "platform/file_reader.h"

#include <windows.h>

namespace rk {

bool FileReader::open(const std::wstring& path)
{
    m_file.reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    return m_file.valid();
}

bool FileReader::read(void* data, std::size_t capacity, std::size_t& got)
{
    DWORD read = 0;
    bool ok = m_file && ::ReadFile(m_file.get(), data, static_cast<DWORD>(capacity), &read, nullptr);
    got = read;
    return ok;
}

} // namespace rk
