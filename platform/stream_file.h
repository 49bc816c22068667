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
    // Gathers small writes into one system call per `bytes`; size() counts what
    // is gathered. flush() reports a failed write (a full disk) that the
    // destructor would only drop.
    void bufferWrites(std::size_t bytes) { m_bufferSize = bytes; }
    bool flush();
    // flush() and then the system's buffers to the disk, through the handle.
    bool flushToDisk();
    // FILE_ATTRIBUTE_NORMAL through the handle: no second open of the file.
    bool setNormalAttributes();
    void close();
    bool isOpen() const { return m_file.valid(); }

    StreamFile() = default;
    ~StreamFile() { close(); }
    StreamFile(const StreamFile&) = delete;
    StreamFile& operator=(const StreamFile&) = delete;

private:
    bool writeThrough(const void* data, std::size_t bytes);

    UniqueFile m_file;
    std::size_t m_bufferSize = 0;
    std::string m_pending;
};

} // namespace rk
