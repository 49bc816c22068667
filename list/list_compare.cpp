#include "list/list_compare.h"

#include "core/config.h"
#include "core/run_log.h"
#include "core/app_directory.h"
#include "list/list_loader.h"
#include "core/path_macros.h"
#include "core/path_text.h"
#include "platform/files.h"
#include "platform/named_lock.h"

#include <unordered_map>
#include <unordered_set>

namespace rk {
namespace {

bool anyTargetMissing(const updatefileinfo& entry)
{
    for (const auto& target : targetFiles(entry)) {
        if (!findFirstFileMatches(target))
            return true;
    }
    return false;
}

bool takesMissingFileRule(const updatefileinfo& entry)
{
    return entry.actions != KIND_DESCRIPTION && entry.actions != KIND_RUN && !(entry.actions & ACT_DELETE);
}

} // namespace

std::vector<std::wstring> expandNameList(const std::wstring& entryPath, const std::wstring& names)
{
    std::vector<std::wstring> result;
    if (names.empty())
        return result;
    const std::wstring own = resolvePath(entryPath);
    const size_t slash = own.rfind(L'\\');
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : own.substr(0, slash + 1);

    std::unordered_set<std::wstring> added;
    const std::wstring items = replaceAll(replaceAll(names, L",", L";"), L"|", L";");
    size_t start = 0;
    while (start <= items.size()) {
        size_t end = items.find(L';', start);
        if (end == std::wstring::npos)
            end = items.size();
        const std::wstring item = items.substr(start, end - start);
        start = end + 1;
        if (item.empty())
            continue;
        std::wstring candidate = item.find_first_of(L"\\/") != std::wstring::npos ? resolvePath(item) : folder + item;
        if (added.insert(candidate).second)
            result.push_back(std::move(candidate));
    }
    return result;
}

std::vector<std::wstring> targetFiles(const updatefileinfo& entry)
{
    std::vector<std::wstring> targets = expandNameList(entry.path, entry.dstNames);
    if (targets.empty())
        targets.push_back(resolvePath(entry.path));
    return targets;
}

std::vector<updatefileinfo> selectEntries(const DownLoadList& remote, const DownLoadList& local, bool checkLostFile)
{
    // Path to the version of the first local entry with that path: emplace
    // keeps the first, as a search in list order would find it.
    std::unordered_map<std::wstring, const std::wstring*> localVersions;
    localVersions.reserve(local.entries.size());
    for (const auto& entry : local.entries)
        localVersions.emplace(entry.path, &entry.version);

    std::vector<updatefileinfo> selected;
    for (const auto& entry : remote.entries) {
        if (entry.version.empty())
            continue;
        bool take = checkLostFile && takesMissingFileRule(entry) && anyTargetMissing(entry);
        if (!take) {
            auto found = localVersions.find(entry.path);
            take = found == localVersions.end() || *found->second != entry.version;
        }
        if (take)
            selected.push_back(entry);
    }
    return selected;
}

long compareWithLocalList(const std::wstring& remoteListPath, DownLoadList& target)
{
    DownLoadList remote;
    // A list without a guid element leaves the last one in place.
    remote.listGuid = target.listGuid;
    // A remote list that did not load completely selects nothing: entries read
    // before an error would otherwise be installed and the rest recorded as
    // installed when the list is saved.
    if (!loadList(remoteListPath, remote, true)) {
        // No file at all is the version check's case, where no list is fetched.
        if (fileExists(remoteListPath))
            logLine(L"The update list could not be read completely; nothing is selected[" + remoteListPath + L"]");
        remote.entries.clear();
    }
    return compareLoadedList(remote, target);
}

long compareLoadedList(const DownLoadList& remote, DownLoadList& target)
{
    DownLoadList local;
    loadList(collapseBackslashes(applicationDirectory() + kLocalListName), local, false);
    std::vector<updatefileinfo> selected =
        selectEntries(remote, local, config::readFlag(L"RenewKit", L"CheckLostFile", L"0"));

    // Other threads (the windows) read the shared list: every change is made
    // under its lock. The file URLs of the selected entries are built from the
    // remote list's template, so it travels with them.
    NamedLockGuard guard(locks::kAddListEntry);
    target.listGuid = remote.listGuid;
    target.fileUrlTemplate = remote.fileUrlTemplate;
    target.entries.insert(target.entries.end(), std::make_move_iterator(selected.begin()),
                          std::make_move_iterator(selected.end()));
    target.splitOutDescriptionsAndRuns();
    return target.count();
}

} // namespace rk
