#pragma once
// An entry's file made from its installed file and a delta the list names: the
// choice of the delta, its address, its fetch through the normal engine, its
// application and the check of the result. Every failure is one log line and
// leaves the entry to its zipped variant and plain file. Blocks the calling
// thread; entries run on threads of their own at once.

#include "platform/window_messages.h"

#include "list/update_list.h"

#include <string>
#include <vector>

namespace rk {

// The delta that starts from a file with this SHA-256 (lower-case hex), or null.
const FileDelta* chooseDelta(const std::vector<FileDelta>& deltas, const std::wstring& baseSha256);

// The address of a delta file: an http or https address as it is, one that
// starts with "/" on the entry's server, anything else in the folder of the
// entry's own address (its query left out); "\" becomes "/".
std::wstring deltaUrl(const std::wstring& fileUrl, const std::wstring& deltaFile);

// True when destination holds the entry's file, made from the installed file
// (its first target that exists) and the delta that starts from it, and
// checked against the entry's sha256 and size. The delta is fetched as
// destination + "._.delta" with downloadFile (progress to window, slot) and
// checked against its own sha256 and size first. False leaves neither file; a
// reason is logged once the entry names deltas. One attempt per entry per run.
bool fetchByDelta(WindowHandle window, int slot, const std::wstring& url, const std::wstring& destination,
                  const updatefileinfo& entry);

// A new update run: each entry may try a delta once more.
void forgetDeltaAttempts();

} // namespace rk
