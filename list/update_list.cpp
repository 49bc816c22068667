#include "list/update_list.h"

#include "core/path_text.h"
#include "platform/named_lock.h"

namespace rk {

DownLoadList& DownLoadList::shared()
{
    static DownLoadList list;
    return list;
}

updatefileinfo normalizeEntry(updatefileinfo entry)
{
    entry.version = trimBlanks(toLower(entry.version));
    entry.sha256 = trimBlanks(toLower(entry.sha256));
    for (FileDelta& delta : entry.deltas) {
        delta.from = trimBlanks(toLower(delta.from));
        delta.sha256 = trimBlanks(toLower(delta.sha256));
    }
    entry.path = trimBlanks(replaceAll(replaceAll(entry.path, L"|", L"\\"), L"._.zip", L""));
    return entry;
}

bool hasFileDigest(const updatefileinfo& entry) { return entry.sha256.size() == 64 && entry.size >= 0; }

void DownLoadList::addEntry(updatefileinfo entry)
{
    updatefileinfo normalized = normalizeEntry(std::move(entry));
    NamedLockGuard guard(locks::kAddListEntry);
    entries.push_back(std::move(normalized));
}

void DownLoadList::addEntries(std::vector<updatefileinfo> batch)
{
    for (auto& entry : batch)
        entry = normalizeEntry(std::move(entry));
    NamedLockGuard guard(locks::kAddListEntry);
    entries.insert(entries.end(), std::make_move_iterator(batch.begin()), std::make_move_iterator(batch.end()));
}

void DownLoadList::splitOutDescriptionsAndRuns()
{
    // The scan runs from the last entry, so the notes are collected last-first
    // and joined the other way round.
    std::vector<const std::wstring*> notes;
    std::vector<updatefileinfo> kept;
    kept.reserve(entries.size());
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->actions == KIND_DESCRIPTION)
            notes.push_back(&it->dstNames);
        else if (it->actions == KIND_RUN)
            runCommands.push_back(it->path);
        else
            kept.push_back(std::move(*it));
    }
    std::wstring gathered;
    for (auto it = notes.rbegin(); it != notes.rend(); ++it)
        gathered += **it + L"\r\n";
    entries.assign(std::make_move_iterator(kept.rbegin()), std::make_move_iterator(kept.rend()));
    description = replaceAll(replaceAll(gathered, L"\\r\\n", L"\r\n"), L"\\n", L"\r\n");
}

} // namespace rk
