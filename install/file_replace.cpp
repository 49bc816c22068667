#include "install/file_replace.h"

#include "core/text_format.h"
#include "core/path_text.h"
#include "core/run_log.h"
#include "install/file_digest.h"
#include "install/old_files.h"
#include "platform/file_probe.h"
#include "platform/files.h"
#include "platform/shell_run.h"
#include "platform/sleep.h"

#include <atomic>

namespace rk {
namespace {

std::atomic<CopyStepObserver*> g_observer{nullptr};

constexpr int kHiddenWindow = 0; // SW_HIDE
constexpr int kRenameTries = 20;
constexpr unsigned long kRenamePauseMs = 800;

void logPair(const wchar_t* format, const std::wstring& a, const std::wstring& b) { logLine(fillText(format, {a, b})); }

// After the new file could not be moved in: the old one goes back to its name.
// When even that fails, the backup is recorded, so the next start puts it back
// (its target is missing) instead of leaving the program without the file.
void putBack(const std::wstring& target, const std::wstring& backup)
{
    if (renameFile(backup, target))
        return;
    logPair(L"The old file [%s] could not be put back to [%s]; the next start restores it.", backup, target);
    appendOldFile(backup);
}

// Backup names beside a target that was missing: a run ended between moving
// the target aside and moving the new file in leaves its backup unrecorded.
// Recorded once the new file is in place, they go at the next start.
void recordLeftBackups(const std::wstring& target)
{
    const std::wstring first = target + L".__old";
    if (fileExists(first))
        appendOldFile(first);
    for (int j = 0; j < 10; ++j) {
        const std::wstring name = first + std::to_wstring(j);
        if (fileExists(name))
            appendOldFile(name);
    }
}

} // namespace

// Puts the new content beside the target. Always a copy, also for the last
// target: a copy is a new file, made with the access rights that the target's
// folder gives, where a rename would carry those of the temporary folder into
// the installation (and, after an elevated copy, leave a protected file
// writable by the user who downloaded it).
bool stageContent(const std::wstring& marker, const std::wstring& staging, bool hash, StagedCopy& copy)
{
    copy = StagedCopy();
    copy.path = staging;
    if (pathExists(staging))
        deleteFileForced(staging);
    if (hash) {
        copy.hashed = copyWithSha256(marker, staging, copy.size, copy.sha256);
        if (copy.hashed)
            return true;
    } else if (copyFileReplacing(marker, staging) && flushFile(staging)) {
        return true;
    }
    deleteFileForced(staging);
    return false;
}

void setCopyStepObserver(CopyStepObserver* observer) { g_observer.store(observer); }

void notifyCopyStep(const wchar_t* step, const std::wstring& path)
{
    if (CopyStepObserver* observer = g_observer.load())
        observer->afterStep(step, path);
}

bool backupTarget(const std::wstring& target, std::wstring& backup)
{
    backup = target + L".__old";
    if (renameFile(target, backup))
        return true;
    logPair(L"backup file error[%s]to[%s]", target, backup);
    const std::wstring first = backup;
    for (int j = 0; j < 10; ++j) {
        backup = first + std::to_wstring(j);
        if (renameFile(target, backup))
            return true;
        logPair(L"backup file error[%s]to[%s]", target, backup);
    }
    backup.clear();
    return false;
}

bool replaceFile(const std::wstring& source, const std::vector<std::wstring>& targets, const StagedCheck& check,
                 const StagedContent* ahead)
{
    const std::wstring marker = source + L"_";
    if (!fileExists(marker))
        return false;
    for (size_t k = 0; k < targets.size(); ++k) {
        const std::wstring& target = targets[k];
        const bool last = k + 1 == targets.size();
        const wchar_t* failure = last ? L"move file error[%s]to[%s]" : L"copy file error[%s]to[%s]";
        createParentDirs(target);
        const bool wasMissing = !pathExists(target);
        const std::wstring staging = target + kStagingSuffix;
        const StagedContent* done = k == 0 ? ahead : nullptr;
        StagedCopy copy;
        if (!(done ? done->staged : stageContent(marker, staging, check.wantsDigest, copy))) {
            logPair(failure, source, target);
            return false;
        }
        notifyCopyStep(L"staged", target);
        if (check) {
            const std::wstring problem = done ? done->problem : check.problem(copy);
            if (!problem.empty()) {
                logLine(L"The file [" + source + L"] is not installed to [" + target + L"] and is deleted: " + problem +
                        L".");
                deleteFileForced(staging);
                deleteFileForced(marker);
                return false;
            }
        }
        if (pathExists(target))
            setNormalAttributes(target);
        bool installed = moveFileReplacing(staging, target);
        std::wstring backup;
        if (!installed && fileExists(target)) {
            // In use: the old file cannot be replaced, but a running program
            // can usually be renamed out of the way.
            if (!backupTarget(target, backup)) {
                deleteFileForced(staging);
                return false;
            }
            notifyCopyStep(L"backed up", target);
            installed = moveFileReplacing(staging, target);
            if (!installed)
                putBack(target, backup);
        }
        if (!installed) {
            deleteFileForced(staging);
            logPair(failure, source, target);
            return false;
        }
        // Recorded only now: the start-up purge deletes what the list names, and
        // until this point the backup was the only copy of the target.
        if (!backup.empty())
            appendOldFile(backup);
        else if (wasMissing)
            recordLeftBackups(target);
        if (last)
            deleteFileForced(marker);
        notifyCopyStep(L"installed", target);
        logLine(fillText(L"update file[%s]", {target}));
    }
    return true;
}

void moveTree(const std::wstring& folder, const std::wstring& destinationBase)
{
    std::wstring base = folder;
    while (base.size() > 3 && base.back() == L'\\')
        base.pop_back();
    if (isLink(base)) {
        removeLink(base, directoryExists(base));
        return;
    }
    std::wstring destination = destinationBase;
    while (destination.size() > 3 && destination.back() == L'\\')
        destination.pop_back();
    for (const auto& entry : listDirectory(base)) {
        const std::wstring child = base + L"\\" + entry.name;
        const std::wstring moved = destination + L"\\" + entry.name;
        if (entry.isLink)
            removeLink(child, entry.isDirectory);
        else if (entry.isDirectory)
            moveTree(child, moved);
        else if (copyFileNew(child, moved))
            // Copied, not renamed: the file takes the access rights of its new folder.
            deleteFileForced(child);
    }
    removeDirectory(base);
}

void grantUsersAccess(const std::wstring& toolPath, const std::wstring& filePath)
{
    if (toolPath.empty() || filePath.empty())
        return;
    const std::wstring parameters = replaceAll(fillText(L"'%s' /grant Users:(D,WDAC)", {filePath}), L"'", L"\"");
    shellStart(toolPath, parameters, L"", kHiddenWindow, L"open");
}

bool robustRename(const std::wstring& source, const std::wstring& target, int tries, unsigned long pauseMs)
{
    if (!fileExists(source))
        return pathExists(target);
    // One rename over the old file first: there is then no moment without one.
    if (moveFileReplacing(source, target))
        return true;
    // A scanner or indexer may hold either file for a moment: wait it out.
    for (int i = 0; i < tries; ++i) {
        deleteFileForced(target);
        if (!pathExists(target))
            break;
        sleepFor(pauseMs);
    }
    for (int i = 0; i < tries; ++i) {
        moveFile(source, target);
        if (pathExists(target))
            break;
        sleepFor(pauseMs);
    }
    return pathExists(target);
}

bool robustRename(const std::wstring& source, const std::wstring& target)
{
    return robustRename(source, target, kRenameTries, kRenamePauseMs);
}

} // namespace rk
