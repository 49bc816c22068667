#include "platform/file_reader.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace rk {

bool FileReader::open(const std::wstring& path)
{
    m_file.reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    return m_file.valid();
}

bool FileReader::read(void* data, std::size_t capacity, std::size_t& got)
{
    if (m_bufferSize > capacity) {
        if (m_offset == m_buffer.size()) {
            m_buffer.resize(m_bufferSize);
            DWORD read = 0;
            bool ok =
                m_file && ::ReadFile(m_file.get(), m_buffer.data(), static_cast<DWORD>(m_bufferSize), &read, nullptr);
            m_buffer.resize(ok ? read : 0);
            m_offset = 0;
            if (!ok) {
                got = 0;
                return false;
            }
        }
        got = std::min(capacity, m_buffer.size() - m_offset);
        std::memcpy(data, m_buffer.data() + m_offset, got);
        m_offset += got;
        return true;
    }
    DWORD read = 0;
    bool ok = m_file && ::ReadFile(m_file.get(), data, static_cast<DWORD>(capacity), &read, nullptr);
    got = read;
    return ok;
}

} // namespace rk
