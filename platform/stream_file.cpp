#include "platform/stream_file.h"

#include <windows.h>

namespace rk {

bool StreamFile::openRead(const std::wstring& path, bool shareRead)
{
    m_file.reset(::CreateFileW(path.c_str(), GENERIC_READ, shareRead ? FILE_SHARE_READ : 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    return m_file.valid();
}

bool StreamFile::create(const std::wstring& path)
{
    m_file.reset(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    return m_file.valid();
}

std::uint64_t StreamFile::size() const
{
    LARGE_INTEGER size{};
    if (!m_file || !::GetFileSizeEx(m_file.get(), &size))
        return 0;
    return static_cast<std::uint64_t>(size.QuadPart) + m_pending.size();
}

bool StreamFile::readAt(std::uint64_t offset, void* data, std::size_t bytes) const
{
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!m_file || !::SetFilePointerEx(m_file.get(), at, nullptr, FILE_BEGIN))
        return false;
    DWORD got = 0;
    return ::ReadFile(m_file.get(), data, static_cast<DWORD>(bytes), &got, nullptr) && got == bytes;
}

bool StreamFile::writeThrough(const void* data, std::size_t bytes)
{
    DWORD written = 0;
    return m_file && ::WriteFile(m_file.get(), data, static_cast<DWORD>(bytes), &written, nullptr) && written == bytes;
}

bool StreamFile::write(const void* data, std::size_t bytes)
{
    if (m_bufferSize == 0)
        return writeThrough(data, bytes);
    if (!m_file)
        return false;
    if (m_pending.size() + bytes > m_bufferSize && !flush())
        return false;
    if (bytes >= m_bufferSize)
        return writeThrough(data, bytes);
    m_pending.append(static_cast<const char*>(data), bytes);
    return true;
}

bool StreamFile::setNormalAttributes()
{
    FILE_BASIC_INFO info{}; // times of 0 stay as they are
    info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    return m_file && ::SetFileInformationByHandle(m_file.get(), FileBasicInfo, &info, sizeof info);
}

bool StreamFile::flush()
{
    if (m_pending.empty())
        return true;
    bool ok = writeThrough(m_pending.data(), m_pending.size());
    m_pending.clear();
    return ok;
}

bool StreamFile::flushToDisk() { return flush() && m_file && ::FlushFileBuffers(m_file.get()); }

void StreamFile::close()
{
    flush();
    m_file.reset();
}

} // namespace rk
