#include "download/list_verification.h"

#include "core/run_log.h"
#include "download/http_session.h"
#include "platform/clock.h"
#include "platform/files.h"

#include <atomic>

namespace rk {
namespace {

constexpr std::size_t kMaxSignatureBytes = 4096;
constexpr unsigned long long kMaxListBytes = 64ull << 20;

std::atomic<bool> g_unsignedNoticeGiven{false};
std::atomic<bool> g_keyErrorsGiven{false};

} // namespace

bool verifyFetchedList(const std::wstring& url, const std::wstring& path, ListRole role, VerifiedDocument* out)
{
    const ReleaseKeys keys = releaseKeys();
    if (!keys.configured) {
        if (!g_unsignedNoticeGiven.exchange(true))
            logLine(L"The list is not signed: no [Security] PublicKey is configured, so lists and files are used "
                    L"without a signature check.");
        return true;
    }
    if (!g_keyErrorsGiven.exchange(true)) {
        for (const std::wstring& error : keys.errors)
            logLine(error);
    }
    std::string bytes;
    if (!readFileBytesLimited(path, bytes, kMaxListBytes)) {
        logLine(L"The list [" + url + L"] could not be read for its signature check; the list is not used.");
        deleteFileForced(path);
        return false;
    }
    std::string signature;
    const bool fetched = fetchToSink(signatureUrl(url), signature, kMaxSignatureBytes);
    const ListCheck check =
        checkSignedList(bytes, fetched ? &signature : nullptr, keys, installedSerial(), utcSecondsNow(), role, url);
    logLine(check.logLine);
    if (!check.accepted) {
        deleteFileForced(path);
        return false;
    }
    if (out) {
        out->bytes = std::move(bytes);
        out->signature = std::move(signature);
        out->serial = check.serial;
    }
    return true;
}

} // namespace rk
