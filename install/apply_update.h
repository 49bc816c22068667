#pragma once
// The body of the copy stage: every downloaded file put in place, the upgrade
// tasks, the clean-up and the saving of the list as the new local list.
// Driver's thread, with COM initialised.

#include "core/host_link.h"

#include <functional>
#include <string>

namespace rk {

class DownLoadList;

// Fetches the list document again into the given path; true when it is there.
using ListRefetch = std::function<bool(const std::wstring& destination)>;

struct CopyStageInput {
    std::wstring tempListFolder; // where the done markers are
    std::wstring listFile;       // the downloaded list that becomes renewkit.xml
    ListRefetch refetchList;     // last resort when the list file has gone; may be empty
};

// "{sys}\icacls.exe" when [RenewKit] icacls is set and the tool exists; else empty.
std::wstring icaclsToolPath();

// Saves the list file as renewkit.xml: the file itself, its ".xml"/".xml.xml"
// twin, or a fresh download of it. False when none of them worked.
bool saveLocalList(const CopyStageInput& input);

// The whole stage body. False when a file could not be put in place: the
// other files, the tasks and the clean-up still ran, but the local list is
// kept as it was, so the next check offers the failed files again.
bool applyUpdate(WindowHandle window, DownLoadList& list, const CopyStageInput& input);

} // namespace rk
