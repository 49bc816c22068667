#include "install/file_digest.h"

#include "core/config.h"
#include "core/release_signature.h"
#include "platform/hash.h"
#include "platform/sleep.h"
#include "platform/files.h"
#include "platform/stream_file.h"

#include <algorithm>
#include <memory>

namespace rk {
namespace {

// Every file of an update is hashed through a block of this size, each on a
// thread of its own: the block stays below the size at which the heap maps
// fresh pages for each allocation, and is not cleared first (both cost more
// than the hashing of a small file under Wine).
constexpr std::size_t kHashBlock = 256 * 1024;

// The hex SHA-256 of the file's first `size` bytes, each block also written to
// `copy` when given; empty when the digest failed. `ok` turns false when a read
// or a write failed.
std::string sha256Of(const StreamFile& file, std::uint64_t size, bool& ok, StreamFile* copy = nullptr)
{
    std::unique_ptr<char[]> block(new char[kHashBlock]);
    Hasher hasher(HashAlgorithm::Sha256);
    for (std::uint64_t at = 0; at < size;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kHashBlock, size - at));
        if (!file.readAt(at, block.get(), n) || (copy && !copy->write(block.get(), n))) {
            ok = false;
            return std::string();
        }
        hasher.update(block.get(), n);
        at += n;
    }
    return toHex(hasher.finish());
}

} // namespace

std::wstring fileIntegrityProblem(const std::wstring& path, const updatefileinfo& entry)
{
    if (!hasFileDigest(entry))
        return digestProblem(0, std::string(), entry);
    StreamFile file;
    // A file just renamed or flushed can be held for a moment by the system:
    // a good file must not be refused for that.
    for (int attempt = 0; attempt < 20 && !file.openRead(path); ++attempt)
        sleepFor(100);
    if (!file.isOpen())
        return L"it cannot be read (error " + std::to_wstring(lastError()) + L")";
    const std::uint64_t size = file.size();
    if (size != static_cast<std::uint64_t>(entry.size))
        return digestProblem(size, std::string(), entry);
    bool readable = true;
    const std::string digest = sha256Of(file, size, readable);
    if (!readable)
        return L"it cannot be read";
    return digestProblem(size, digest, entry);
}

std::wstring digestProblem(std::uint64_t size, const std::string& sha256, const updatefileinfo& entry)
{
    if (!hasFileDigest(entry)) {
        if (!signedReleasesRequired())
            return std::wstring();
        return L"its entry in the signed list names no sha256 and size";
    }
    if (size != static_cast<std::uint64_t>(entry.size))
        return L"it has " + std::to_wstring(size) + L" bytes, the list names " + std::to_wstring(entry.size);
    if (sha256.empty())
        return L"its SHA-256 could not be computed";
    if (std::wstring(sha256.begin(), sha256.end()) != entry.sha256)
        return L"its SHA-256 " + std::wstring(sha256.begin(), sha256.end()) + L" differs from the list's " +
               entry.sha256;
    return std::wstring();
}

bool copyWithSha256(const std::wstring& from, const std::wstring& to, std::uint64_t& size, std::string& sha256)
{
    StreamFile source;
    StreamFile target;
    if (!source.openRead(from) || !target.create(to))
        return false;
    size = source.size();
    bool ok = true;
    sha256 = sha256Of(source, size, ok, &target);
    return ok && target.flushToDisk();
}

std::wstring fileSha256(const std::wstring& path)
{
    StreamFile file;
    if (!file.openRead(path))
        return std::wstring();
    bool readable = true;
    const std::string digest = sha256Of(file, file.size(), readable);
    if (!readable)
        return std::wstring();
    return std::wstring(digest.begin(), digest.end());
}

bool unzipDownloads() { return config::readFlag(L"RenewKit", L"UnZip", L"1") || signedReleasesRequired(); }

} // namespace rk
