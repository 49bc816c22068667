#pragma once
// A file read from start to end, one block after the other.

#include "platform/handles.h"

#include <cstddef>
#include <string>

namespace rk {

class FileReader {
public:
    bool open(const std::wstring& path); // shared for reading
    // Up to capacity bytes; got is 0 at the end of the file. False when a read failed.
    bool read(void* data, std::size_t capacity, std::size_t& got);
    // Small reads are served from one system read of `bytes`.
    void bufferReads(std::size_t bytes) { m_bufferSize = bytes; }

private:
    UniqueFile m_file;
    std::size_t m_bufferSize = 0;
    std::string m_buffer;
    std::size_t m_offset = 0;
};

} // namespace rk
