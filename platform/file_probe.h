#pragma once
// Existence test by directory search, the way the list comparison asks whether
// a target is there.

#include <string>

namespace rk {

// True when a find-first-file search for exactly this name finds a file or
// folder; any failure (no access, bad name) counts as not there.
bool findFirstFileMatches(const std::wstring& path);

} // namespace rk
