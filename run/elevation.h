#pragma once
// Relaunching this program as administrator and the hand-over of the update
// list to the elevated copy through a file in the temporary directory.
// Everything here runs on the calling thread.

#include "list/update_list.h"

#include <string>

namespace rk {

inline const wchar_t kRunAsAdminParameter[] = L"/___runas_admin___";

// What the relaunch needs from the system, replaceable by tests.
class ElevationSystem {
public:
    virtual ~ElevationSystem() = default;
    // ShellExecuteExW with "runas", SW_SHOW; the process is not tracked.
    virtual bool startElevated(const std::wstring& program, const std::wstring& parameters,
                               const std::wstring& workingFolder) = 0;
    // Ends this process after a relaunch: the main window when there is one
    // (query-end-session with a 100 ms time-out, then close and quit), else at once.
    virtual void endProcess(void* mainWindow) = 0;
};

ElevationSystem& elevationSystem();
void setElevationSystem(ElevationSystem* replacement); // nullptr restores the system's

// The normalised command line followed by " /___runas_admin___", or the marker alone.
std::wstring relaunchParameters(const std::wstring& commandLine);

// Temporary directory + list key + ".lst".
std::wstring handOverFilePath();

// Writes the hand-over file (when saveList) and starts this program elevated
// with the normalised command line and the marker. The caller ends its run.
// False when the start failed or the user declined it.
bool relaunchAsAdministrator(bool saveList);

// A configuration write to `path` was refused for lack of rights: asks whether
// to restart as administrator and, on Yes, relaunches and ends this process.
// In an elevated copy nothing is asked.
void writeRefusedPrompt(const std::wstring& path);

// Reads a hand-over file into `list`. False (and `list` untouched) when the
// file is missing, larger than any list, truncated or holds anything past the
// snapshot. The file lies in a folder any program of the user may write and is
// not authenticated: the elevated copy trusts what it names.
bool loadHandOverFile(const std::wstring& path, DownLoadList& list);

// Temporary directory + list key + ".lst.signed": the signed documents the
// check accepted, written beside the hand-over file when release keys are set.
std::wstring signedHandOverPath();

// Start-up of an elevated copy: loads the hand-over file into the update list,
// reports UpdateDownloadOk when it names at least one file, deletes the file.
// With release keys, the list handed over counts only after the signed
// documents beside it verify again here, and its entries are then chosen anew
// from them; otherwise the update starts from the check.
void continueElevatedRun();

} // namespace rk
