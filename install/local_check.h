#pragma once
// The local check before the copy: is the host application still running, can
// every target be written, does the update need administrator rights. Runs on
// the driver's thread; status texts go to `window` (none when null).

#include "core/host_link.h"

#include <string>
#include <vector>

namespace rk {

class DownLoadList;

inline const wchar_t kMarkerFile478[] = L"{2767A2C0-0767-4958-ADA9-E813DF1BC478}.xml";
inline const wchar_t kMarkerFile489[] = L"{2767A2C0-0767-4958-ADA9-E813DF1BC489}.xml";

// Full paths that failed a write test with access denied while not elevated.
// Emptied whenever the elevated flag is set; the driver relaunches elevated
// when it is not empty.
std::vector<std::wstring> adminRequiredFiles();
void clearAdminRequiredFiles();

// True: writable, or listed as needing administrator rights. False: locked.
// A missing file is created and deleted again to test its folder; an ".exe" or
// ".dll" held by a running program counts as writable when it can be renamed.
bool testWritable(const std::wstring& path);

// testWritable, then while locked and `ask` is set the retry prompt.
bool testWritableWithPrompt(const std::wstring& path, bool ask);

// True when no target of the list's entries (deletions left out) is locked.
bool checkLockedFiles(WindowHandle window, bool ask, const DownLoadList& list);

// True when no process runs [APPLICATION] Application (an empty value counts as closed).
bool isMainProgramClosed(WindowHandle window);
// Closes every process of the configured program; always true.
bool closeMainProgram(WindowHandle window);

// The whole local check without stage changes.
bool checkLocalFiles(WindowHandle window, bool ask, const DownLoadList& list);

} // namespace rk
