#include "install/file_digest.h"

#include "core/config.h"
#include "core/release_signature.h"
#include "platform/hash.h"
#include "platform/sleep.h"
#include "platform/files.h"
#include "platform/stream_file.h"

#include <algorithm>

namespace rk {

std::wstring fileIntegrityProblem(const std::wstring& path, const updatefileinfo& entry)
{
    if (!hasFileDigest(entry)) {
        if (!signedReleasesRequired())
            return std::wstring();
        return L"its entry in the signed list names no sha256 and size";
    }
    StreamFile file;
    // A file just renamed or flushed can be held for a moment by the system:
    // a good file must not be refused for that.
    for (int attempt = 0; attempt < 20 && !file.openRead(path); ++attempt)
        sleepFor(100);
    if (!file.isOpen())
        return L"it cannot be read (error " + std::to_wstring(lastError()) + L")";
    const std::uint64_t size = file.size();
    if (size != static_cast<std::uint64_t>(entry.size))
        return L"it has " + std::to_wstring(size) + L" bytes, the list names " + std::to_wstring(entry.size);
    Hasher hasher(HashAlgorithm::Sha256);
    std::string block(1 << 20, '\0');
    for (std::uint64_t at = 0; at < size;) {
        const size_t n = static_cast<size_t>(std::min<std::uint64_t>(block.size(), size - at));
        if (!file.readAt(at, block.data(), n))
            return L"it cannot be read";
        hasher.update(block.data(), n);
        at += n;
    }
    const std::string digest = toHex(hasher.finish());
    if (digest.empty())
        return L"its SHA-256 could not be computed";
    if (std::wstring(digest.begin(), digest.end()) != entry.sha256)
        return L"its SHA-256 " + std::wstring(digest.begin(), digest.end()) + L" differs from the list's " +
               entry.sha256;
    return std::wstring();
}

std::wstring fileSha256(const std::wstring& path)
{
    StreamFile file;
    if (!file.openRead(path))
        return std::wstring();
    Hasher hasher(HashAlgorithm::Sha256);
    std::string block(1 << 20, '\0');
    const std::uint64_t size = file.size();
    for (std::uint64_t at = 0; at < size;) {
        const size_t n = static_cast<size_t>(std::min<std::uint64_t>(block.size(), size - at));
        if (!file.readAt(at, block.data(), n))
            return std::wstring();
        hasher.update(block.data(), n);
        at += n;
    }
    const std::string digest = toHex(hasher.finish());
    return std::wstring(digest.begin(), digest.end());
}

bool unzipDownloads() { return config::readFlag(L"RenewKit", L"UnZip", L"1") || signedReleasesRequired(); }

} // namespace rk
