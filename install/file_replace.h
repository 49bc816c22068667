#pragma once
// Installing one downloaded file on its targets, with backups of targets in
// use, and the file and folder helpers of the copy stage. Driver's thread.

#include "core/path_helpers.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace rk {

// Boundaries between the steps of the copy stage, for tests that stop the
// process at each of them. `step` names the step just finished.
class CopyStepObserver {
public:
    virtual ~CopyStepObserver() = default;
    virtual void afterStep(const wchar_t* step, const std::wstring& path) = 0;
};
void setCopyStepObserver(CopyStepObserver* observer); // nullptr: none
void notifyCopyStep(const wchar_t* step, const std::wstring& path);

// Name under which the new content is written beside a target before it is
// renamed over it.
inline const wchar_t kStagingSuffix[] = L".__new";

// A staged copy as its check sees it: where it lies and, when the check asked
// for them, the size and SHA-256 (lower-case hex) of the bytes written to it,
// taken as they were copied rather than by reading the copy back.
struct StagedCopy {
    std::wstring path;
    bool hashed = false;
    std::uint64_t size = 0;
    std::string sha256;
};
// Why a staged copy must not be installed (empty to go on); wantsDigest has the
// copy hash its bytes on the way.
struct StagedCheck {
    std::function<std::wstring(const StagedCopy& copy)> problem; // empty: no check
    bool wantsDigest = false;
    explicit operator bool() const { return static_cast<bool>(problem); }
};
// The first target's staging and check as done ahead (install/staging_ahead.h).
struct StagedContent {
    bool staged = false;  // the staging copy is in place and flushed
    std::wstring problem; // the check's answer for it
};

// Installs source + "_" (the done marker) on every target: each target gets the
// new content copied under a temporary name in its own folder (so it takes that
// folder's access rights), flushed, then renamed over it in one step, so an
// interruption leaves either the old or the new file. A target in use is moved
// to ".__old" (or ".__old0" to ".__old9") first; the backup name is recorded in
// __oldfiles.lst once the new file is in place, and put back when it cannot be.
// The done marker is gone afterwards. False when the marker is missing or a
// target could not be installed.
// check, when given, sees each staged copy in the target's own folder just
// before it is renamed into place; a refused copy and the marker are deleted.
// ahead, when given, stands for the first target's staging and check.
bool replaceFile(const std::wstring& source, const std::vector<std::wstring>& targets,
                 const StagedCheck& check = StagedCheck(), const StagedContent* ahead = nullptr);

// The new content copied from the done marker to the staging name and flushed,
// hashed on the way when `hash`; a staging file left by an earlier run is
// replaced. `copy` names the staging file. Any thread.
bool stageContent(const std::wstring& marker, const std::wstring& staging, bool hash, StagedCopy& copy);

// Moves a target in use out of the way and names the backup; false after
// eleven refused names. The backup is not recorded here.
bool backupTarget(const std::wstring& target, std::wstring& backup);

// Every folder of the path from the one after the drive down to the file's own.
inline void createParentDirs(const std::wstring& filePath) { createFolderChain(filePath); }

// Moves every file below the folder to the same place under the destination
// base (never over an existing file; copied and deleted, so each takes the
// access rights of its new folder), then removes the emptied folders. A
// junction or symbolic link is removed as a link, never followed.
void moveTree(const std::wstring& folder, const std::wstring& destinationBase);

// Runs the icacls tool hidden to grant Users delete and write-DAC on the file.
void grantUsersAccess(const std::wstring& toolPath, const std::wstring& filePath);

// When the source exists: one replacing rename, else up to 20 tries 800 ms
// apart to delete the target, then up to 20 to move the source there. A
// missing source changes nothing. True when the target exists at the end.
bool robustRename(const std::wstring& source, const std::wstring& target);
// The same with the tries and the pause given (tests).
bool robustRename(const std::wstring& source, const std::wstring& target, int tries, unsigned long pauseMs);

} // namespace rk
