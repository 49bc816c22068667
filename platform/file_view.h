#pragma once
// A whole file mapped read-only into memory, so that a large file is read
// through the system's file cache instead of being copied. Writers are denied
// while the view lives: the bytes cannot change under the reader.

#include "platform/handles.h"

#include <cstdint>
#include <string>

namespace rk {

class FileView {
public:
    FileView() = default;
    ~FileView() { close(); }
    FileView(const FileView&) = delete;
    FileView& operator=(const FileView&) = delete;

    // False when the file cannot be opened or mapped (GetLastError kept). An
    // empty file opens with no data.
    bool open(const std::wstring& path);
    void close();

    const char* data() const { return m_data; }
    std::uint64_t size() const { return m_size; }

private:
    UniqueFile m_file;
    UniqueHandle m_mapping;
    const char* m_data = nullptr;
    std::uint64_t m_size = 0;
};

} // namespace rk
