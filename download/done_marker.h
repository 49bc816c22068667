#pragma once
// The list version a done marker was made for. A marker left by an earlier
// run may belong to an older release of the list: it is only trusted for the
// entry version recorded beside it ("<marker>.__ver"). Any thread; callers
// serialise per marker (download/destination_lock.h).

#include "list/update_list.h"

#include <string>

namespace rk {

// True when the marker was made for this entry's version. Without an entry
// (callers that name none) every marker is trusted.
bool doneMarkerIsCurrent(const std::wstring& marker, const updatefileinfo* entry);
// Writes the entry's version beside the marker; nothing without an entry.
void recordDoneMarker(const std::wstring& marker, const updatefileinfo* entry);
// Deletes the marker and its record.
void dropDoneMarker(const std::wstring& marker);

} // namespace rk
