#pragma once
// The update run: the check (list address, quick or full fetch, sub-lists,
// version probe), the full run of the progress window's worker, the entry,
// silent and uninstall runs, the launch of the host program and the hidden
// refresh. Stage changes go through reportStage; every step logs a line.

#include "platform/window_messages.h"
#include "run/host_watch.h"

#include <functional>
#include <string>

namespace rk {

// Commands the full run sends to the progress window (as button clicks).
namespace command {
constexpr unsigned kCheckDone = 1066;  // posted to the window's parent (or the window) after a check
constexpr unsigned kUpdateDone = 4323; // the update is complete
constexpr unsigned kRunOver = 4380;    // the run is over
} // namespace command

// What the runs below need from the windows, which live above this layer.
// Unset members log that the window is not available in this build.
struct RunWindows {
    // The full update in the progress window (the default mode), modal.
    std::function<void()> fullUpdate;
    // The progress window for an entry run (run kind 2), owned by the host, modal.
    std::function<void()> entryProgress;
};

// Empties the update list and its description and sets its stage to 0, so
// that the next full run starts with a check.
void resetUpdateList();
// Fills the update list; reports 1, then 3 or 2. W may be null.
void checkForUpdates(WindowHandle window);
// The version probe when [APPLICATION] CheckVerNumber is set, else the check.
void versionAwareCheck(WindowHandle window);
// True when ListURL is set; otherwise logs why (and may offer the sample).
bool ensureListAddress(WindowHandle window, bool mayOfferSample);
// Downloads and parses the remote list, compares, fills the update list.
bool fetchAndCompare(WindowHandle window);

// The progress window's worker: check, download passes, local check, copy.
// 0 when a full run is already going on in this process, else 1.
int fullRun(WindowHandle window);
// "appenter" / "appenternoprompt": 0 when no Application is configured.
int entryRun(const std::wstring& mode, const RunWindows& windows);
// After the entry run's check: asks whether to upgrade (Yes without asking for
// "appenternoprompt") when the check found updates; Yes runs windows.fullUpdate,
// No starts the host program, Cancel nothing. Without updates, starts the host program.
void entryQuestion(const std::wstring& mode, const RunWindows& windows);
// The run without a window for host window H (may be null). Returns 1.
int silentRun(WindowHandle host);
// Removes the installed files of the local list and the list itself.
void uninstallRun();

// Starts [APPLICATION] Application; with showMessages a missing file is shown.
void launchHostProgram(bool showMessages);
// Records the refresh time and starts this program hidden with "downparam0/1".
void hiddenRefresh();
// "downparam1" when the server mark is 1 (a server of our own answered), else "downparam0".
std::wstring hiddenRefreshArgument(int serverMark);

// The polls of a wait of TimeOut or MultCheckTimeOut seconds, 100 a second:
// counted in 64 bits, none for 0 or less, at most kMostWaitPolls.
constexpr long long kMostWaitPolls = 0x7FFFFFFF;
long long waitPolls(long long seconds);

// The version the server published differs from the installed one.
bool remoteVersionDiffers();

} // namespace rk
