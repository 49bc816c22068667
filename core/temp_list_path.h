#pragma once
// Where an entry's file lies in the temporary list folder while it waits for
// the copy stage. Every list path lands inside the folder: a path with a drive
// ("C:\dir\a.dll") gets a folder named after the drive ("C$\dir\a.dll"), and
// "." or ".." never leave it. Pure text; any thread.

#include <string>

namespace rk {

// folder + "\" + the path with "/" made "\", empty parts and "." dropped,
// trailing dots and blanks of each part dropped (as Windows does), a part of
// nothing but those (such as "..") made "__", and every ":" made "$": one file
// has one such path however the list spells it. Separators doubled in the
// folder are collapsed, except the leading "\\" of a network path.
std::wstring tempListFilePath(const std::wstring& folder, const std::wstring& path);

} // namespace rk
