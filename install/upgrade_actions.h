#pragma once
// The upgrade actions of an update: per-entry register, delete, run and restart
// bits, the entries' shortcuts and the list's run commands. Driver's thread,
// with COM initialised for shortcuts and task files.

#include "core/host_link.h"

#include <string>
#include <vector>

namespace rk {

class DownLoadList;

// A packed run command: file "9" parameters "9" wait "9" key, macros expanded.
struct RunCommand {
    std::wstring file;
    std::wstring parameters;
    std::wstring wait;
};
RunCommand parseRunCommand(const std::wstring& packed);
// Lower case, "y", "t" and "o" made "1": waits when a "1" is left.
bool runCommandWaits(const std::wstring& waitText);
// "Run[file][parameters][wait|nowait]" with every "[]" removed.
std::wstring runCommandStatus(const RunCommand& command, bool wait);

// The name a link is saved under: ".lnk" added unless the path holds it (any case).
std::wstring linkFileName(const std::wstring& linkPath);

// Loads the library and calls its DllRegisterServer; true when it was called.
bool registerServer(const std::wstring& library);

// Saves a shell link to target (working folder, optional icon); false when the
// target does not exist or the link cannot be made.
bool createShortcut(const std::wstring& target, const std::wstring& workingFolder, const std::wstring& linkPath,
                    const std::wstring& iconFile, int iconIndex);

// The shortcuts of one entry on its first target.
void makeShortcuts(const std::wstring& target, const std::wstring& iconFile, int iconIndex,
                   const std::vector<std::wstring>& linkPaths, WindowHandle window);

// Register, delete, run and restart bits of every entry, in list order.
void runEntryActions(WindowHandle window, DownLoadList& list);

// Every packed run command of the list, in order.
void runCommands(WindowHandle window, const DownLoadList& list);

} // namespace rk
