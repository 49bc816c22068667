#include "install/unzip.h"

#include "core/language.h"
#include "core/path_helpers.h"
#include "core/run_log.h"
#include "core/text_format.h"
#include "platform/files.h"
#include "platform/hash.h"
#include "platform/stream_file.h"
#include "platform/zip_io.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace rk {
namespace {

enum class Extract { Ok, Failed, Refused };

void logRefused(const std::wstring& archive)
{
    logLine(
        fillText(tr(L"unzip refused[%s]: the entry inflates beyond 4 GiB or 1000 times its packed size"), {archive}));
}

Extract extractFirstEntry(const std::wstring& archive, const std::wstring& destination, UnpackedDigest* digest)
{
    ZipReader reader;
    if (!reader.open(archive))
        return Extract::Failed;
    ZipReader::EntryInfo info;
    if (!reader.openFirstEntry(info))
        return Extract::Failed;
    const std::uint64_t limit = std::min(unpackLimit(info.packedSize), info.size);
    if (info.size > unpackLimit(info.packedSize))
        return Extract::Refused;
    StreamFile out;
    if (!out.create(destination))
        return Extract::Failed;
    out.bufferWrites(256 * 1024);
    std::vector<char> block(64 * 1024);
    std::optional<Hasher> hasher;
    if (digest)
        hasher.emplace(HashAlgorithm::Sha256);
    std::uint64_t written = 0;
    for (;;) {
        long n = reader.read(block.data(), block.size());
        if (n < 0)
            return Extract::Failed;
        if (n == 0)
            break;
        written += static_cast<std::uint64_t>(n);
        // The sizes in the directory are the archive's word: stop at them, not at the data's end.
        if (written > limit)
            return Extract::Refused;
        if (!out.write(block.data(), static_cast<std::size_t>(n)))
            return Extract::Failed;
        if (hasher)
            hasher->update(block.data(), static_cast<std::size_t>(n));
    }
    if (!out.flush() || written != info.size || !reader.closeEntry())
        return Extract::Failed;
    out.setNormalAttributes();
    if (digest) {
        digest->size = written;
        digest->sha256 = toHex(hasher->finish());
    }
    return Extract::Ok;
}

} // namespace

std::uint64_t unpackLimit(std::uint64_t packedSize)
{
    if (packedSize > kMaxUnpackedBytes / kMaxInflateRatio)
        return kMaxUnpackedBytes;
    return std::min(packedSize * kMaxInflateRatio, kMaxUnpackedBytes);
}

bool unzipSingleFile(const std::wstring& archive, const std::wstring& destination, UnpackedDigest* digest)
{
    if (pathExists(destination) && !deleteFile(destination)) {
        logLine(L"unzip error[" + destination + L"]: the file in place cannot be deleted");
        return false;
    }
    Extract result = extractFirstEntry(archive, destination, digest);
    if (result == Extract::Ok)
        return true;
    deleteFileForced(destination);
    if (result == Extract::Refused)
        logRefused(archive);
    return false;
}

} // namespace rk
