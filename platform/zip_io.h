#pragma once
// ZIP archives through minizip, opened by wide path names with its Win32 file
// layer. A reader or writer belongs to one thread at a time.

#include <cstddef>
#include <cstdint>
#include <string>

namespace rk {

class ZipReader {
public:
    ZipReader() = default;
    ~ZipReader() { close(); }
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    bool open(const std::wstring& path); // false when it is no archive
    void close();

    struct EntryInfo {
        std::string name; // as stored: never trusted as a path
        std::uint64_t packedSize = 0;
        std::uint64_t size = 0;
    };
    // Moves to the first entry and opens it for reading.
    bool openFirstEntry(EntryInfo& info);
    // Up to capacity bytes of the entry's inflated data; 0 at its end, -1 on an error.
    long read(void* data, std::size_t capacity);
    // False when the data did not match the entry's checksum.
    bool closeEntry();

private:
    void* m_archive = nullptr;
    bool m_entryOpen = false;
};

class ZipWriter {
public:
    ZipWriter() = default;
    ~ZipWriter() { close(); }
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    bool create(const std::wstring& path); // replaces an existing file
    // A deflated entry; large marks one that may pass 4 GiB (ZIP64 fields).
    bool beginEntry(const std::string& name, bool large);
    bool write(const void* data, std::size_t bytes);
    bool endEntry();
    // Writes the central directory; false when that failed.
    bool close();

private:
    void* m_archive = nullptr;
    bool m_entryOpen = false;
};

} // namespace rk
