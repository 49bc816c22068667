#include "download/delta_fetch.h"

#include "core/language.h"
#include "core/path_text.h"
#include "core/run_log.h"
#include "core/text_format.h"
#include "download/entry_fetch.h"
#include "download/segmented_downloader.h"
#include "download/transfer_slots.h"
#include "install/file_delta.h"
#include "install/file_digest.h"
#include "list/list_compare.h"
#include "platform/files.h"
#include "platform/stream_file.h"

#include <mutex>
#include <set>

namespace rk {
namespace {

std::mutex g_attemptLock; // guards g_attempted
std::set<std::wstring> g_attempted;

// True the first time an entry's destination asks in this run.
bool firstAttempt(const std::wstring& destination)
{
    std::lock_guard<std::mutex> guard(g_attemptLock);
    return g_attempted.insert(toLower(destination)).second;
}

std::wstring installedBase(const updatefileinfo& entry)
{
    for (const std::wstring& target : targetFiles(entry)) {
        if (fileExists(target))
            return target;
    }
    return std::wstring();
}

unsigned long long fileSizeOf(const std::wstring& path)
{
    StreamFile file;
    return file.openRead(path) ? file.size() : 0;
}

bool startsWith(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

} // namespace

const FileDelta* chooseDelta(const std::vector<FileDelta>& deltas, const std::wstring& baseSha256)
{
    if (baseSha256.empty())
        return nullptr;
    for (const FileDelta& delta : deltas) {
        if (delta.from == baseSha256)
            return &delta;
    }
    return nullptr;
}

std::wstring deltaUrl(const std::wstring& fileUrl, const std::wstring& deltaFile)
{
    const std::wstring file = replaceAll(deltaFile, L"\\", L"/");
    const std::wstring lower = toLower(file);
    if (startsWith(lower, L"http://") || startsWith(lower, L"https://"))
        return file;
    const std::wstring address = fileUrl.substr(0, fileUrl.find_first_of(L"?#"));
    if (startsWith(file, L"/")) {
        const size_t scheme = address.find(L"://");
        const size_t path = scheme == std::wstring::npos ? std::wstring::npos : address.find(L'/', scheme + 3);
        return (path == std::wstring::npos ? address : address.substr(0, path)) + file;
    }
    const size_t slash = address.rfind(L'/');
    return (slash == std::wstring::npos ? std::wstring() : address.substr(0, slash + 1)) + file;
}

void forgetDeltaAttempts()
{
    std::lock_guard<std::mutex> guard(g_attemptLock);
    g_attempted.clear();
}

bool fetchByDelta(WindowHandle window, int slot, const std::wstring& url, const std::wstring& destination,
                  const updatefileinfo& entry)
{
    if (entry.deltas.empty() || slot < 0 || !firstAttempt(destination))
        return false;
    auto notUsed = [&](const std::wstring& reason) {
        logLine(L"The delta of [" + entry.path + L"] is not used: " + reason + L"; the full file is fetched.");
        return false;
    };
    if (!hasFileDigest(entry))
        return notUsed(L"its entry names no sha256 and size");
    if (static_cast<unsigned long long>(entry.size) > kMaxDeltaWindow)
        return notUsed(L"the file of " + std::to_wstring(entry.size) + L" bytes is beyond the bound of " +
                       std::to_wstring(kMaxDeltaWindow >> 20) + L" MiB");
    const std::wstring base = installedBase(entry);
    if (base.empty())
        return notUsed(L"there is no installed file to start from");
    if (const unsigned long long baseSize = fileSizeOf(base); baseSize > kMaxDeltaWindow)
        return notUsed(L"the installed file of " + std::to_wstring(baseSize) + L" bytes is beyond the bound of " +
                       std::to_wstring(kMaxDeltaWindow >> 20) + L" MiB");
    const std::wstring digest = fileSha256(base);
    if (digest.empty())
        return notUsed(L"the installed file cannot be read (error " + std::to_wstring(lastError()) + L")");
    const FileDelta* delta = chooseDelta(entry.deltas, digest);
    if (!delta)
        return notUsed(L"none starts from the installed file (SHA-256 " + digest + L")");

    const std::wstring address = deltaUrl(url, delta->file);
    const std::wstring fetched = destination + L"._.delta";
    if (!downloadFile(address, fetched, slot, window)) {
        appendEntryNote(slot, fillText(tr(L"error[%s]"), {address}));
        deleteFileForced(fetched);
        return notUsed(L"it could not be fetched from [" + address + L"]");
    }
    appendEntryNote(slot, fillText(tr(L"done[%s]"), {address}));
    // Checking and applying need no place of the pass: the next entry's
    // transfer runs meanwhile (a fallback takes a place again).
    giveBackTransferSlot();
    updatefileinfo pinned;
    pinned.sha256 = delta->sha256;
    pinned.size = delta->size;
    std::wstring problem = fileIntegrityProblem(fetched, pinned);
    if (!problem.empty()) {
        deleteFileForced(fetched);
        return notUsed(L"the file [" + address + L"] is refused: " + problem);
    }
    problem = applyDelta(base, fetched, destination, static_cast<unsigned long long>(entry.size));
    deleteFileForced(fetched);
    if (!problem.empty())
        return notUsed(problem);
    problem = fileIntegrityProblem(destination, entry);
    if (!problem.empty()) {
        deleteFileForced(destination);
        return notUsed(L"its result is refused: " + problem);
    }
    logLine(L"The file [" + entry.path + L"] was made from the installed file and the delta [" + address + L"] of " +
            std::to_wstring(delta->size) + L" bytes.");
    return true;
}

} // namespace rk
