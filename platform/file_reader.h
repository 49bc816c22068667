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

private:
    UniqueFile m_file;
};

} // namespace rk
