#include "platform/zip_io.h"

// iowin32.h needs the declarations of the other two first.
#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <minizip/iowin32.h>

#include <climits>
#include <cstring>

namespace rk {

bool ZipReader::open(const std::wstring& path)
{
    close();
    zlib_filefunc64_def io;
    fill_win32_filefunc64W(&io);
    m_archive = unzOpen2_64(path.c_str(), &io);
    return m_archive != nullptr;
}

void ZipReader::close()
{
    if (!m_archive)
        return;
    if (m_entryOpen)
        unzCloseCurrentFile(m_archive);
    unzClose(m_archive);
    m_archive = nullptr;
    m_entryOpen = false;
}

bool ZipReader::openFirstEntry(EntryInfo& info)
{
    if (!m_archive || unzGoToFirstFile(m_archive) != UNZ_OK)
        return false;
    unz_file_info64 raw;
    char name[512];
    if (unzGetCurrentFileInfo64(m_archive, &raw, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK)
        return false;
    info.name.assign(name, strnlen(name, sizeof name));
    info.packedSize = raw.compressed_size;
    info.size = raw.uncompressed_size;
    if (unzOpenCurrentFile(m_archive) != UNZ_OK)
        return false;
    m_entryOpen = true;
    return true;
}

long ZipReader::read(void* data, std::size_t capacity)
{
    if (!m_entryOpen)
        return -1;
    unsigned chunk = capacity > INT_MAX ? INT_MAX : static_cast<unsigned>(capacity);
    int n = unzReadCurrentFile(m_archive, data, chunk);
    return n < 0 ? -1 : n;
}

bool ZipReader::closeEntry()
{
    if (!m_entryOpen)
        return false;
    m_entryOpen = false;
    return unzCloseCurrentFile(m_archive) == UNZ_OK;
}

bool ZipWriter::create(const std::wstring& path)
{
    close();
    zlib_filefunc64_def io;
    fill_win32_filefunc64W(&io);
    m_archive = zipOpen2_64(path.c_str(), APPEND_STATUS_CREATE, nullptr, &io);
    return m_archive != nullptr;
}

bool ZipWriter::beginEntry(const std::string& name, bool large)
{
    if (!m_archive || m_entryOpen)
        return false;
    // A zero time stamp keeps the archive the same for the same content.
    zip_fileinfo info;
    std::memset(&info, 0, sizeof info);
    int rc = zipOpenNewFileInZip64(m_archive, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                   Z_BEST_COMPRESSION, large ? 1 : 0);
    m_entryOpen = rc == ZIP_OK;
    return m_entryOpen;
}

bool ZipWriter::write(const void* data, std::size_t bytes)
{
    const char* at = static_cast<const char*>(data);
    while (bytes > 0) {
        unsigned chunk = bytes > (1u << 30) ? (1u << 30) : static_cast<unsigned>(bytes);
        if (zipWriteInFileInZip(m_archive, at, chunk) != ZIP_OK)
            return false;
        at += chunk;
        bytes -= chunk;
    }
    return true;
}

bool ZipWriter::endEntry()
{
    if (!m_entryOpen)
        return false;
    m_entryOpen = false;
    return zipCloseFileInZip(m_archive) == ZIP_OK;
}

bool ZipWriter::close()
{
    if (!m_archive)
        return false;
    bool ok = true;
    if (m_entryOpen)
        ok = endEntry() && ok;
    ok = zipClose(m_archive, nullptr) == ZIP_OK && ok;
    m_archive = nullptr;
    return ok;
}

} // namespace rk
