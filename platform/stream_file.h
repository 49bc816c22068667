#pragma once
// A file opened for positioned reads or sequential writes.

#include "platform/handles.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace rk {

class StreamFile {
public:
    // shareRead false denies other readers while open.
    bool openRead(const std::wstring& path, bool shareRead = true);
    bool create(const std::wstring& path); // create always, for writing
    std::uint64_t size() const;
    bool readAt(std::uint64_t offset, void* data, std::size_t bytes) const;
    bool write(const void* data, std::size_t bytes);
    void close() { m_file.reset(); }
    bool isOpen() const { return m_file.valid(); }

private:
    UniqueFile m_file;
};

} // namespace rk
