#pragma once
// The download stage of the update run: one pass of the download scheduler over
// the shared update list, with its stage changes reported to the host windows.
// Runs on the driver's thread.

#include "core/host_link.h"

namespace rk {

// Stage 4, then 6 when every entry is done or 5 when some failed (they are
// tried again by the next call). Always true. window must not belong to the
// calling thread: entry threads send to it while this thread waits.
bool runDownloadPass(WindowHandle window);

// Entries finished in this run (all passes); the driver tries again only while it is not 0.
long downloadDoneCount();

// A new update list: forget the done count, the failed entries and the delta
// attempts of the last run.
void resetDownloadRun();

} // namespace rk
